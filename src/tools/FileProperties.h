#pragma once
// The properties command: which dialog it opens, the report of one file, and
// renaming that file.
#include <cstdint>
#include <string>
#include <string_view>

namespace mirvo {

struct PlaylistContext;
class Engine;

// What the properties command shows for the selection.
enum class PropertiesTarget { Nothing, Station, File, Renamer };
// Shows the messages of the command itself: a missing file, a selection of
// files and stations.
PropertiesTarget ChoosePropertiesTarget(const PlaylistContext& ctx);

// The tags of `fileName` as the report lists them; empty for a type without
// tags or a file without them.
std::string TagReport(const std::string& fileName);

struct FileReport {
    std::string Text;  // lines end with "\r\n"
    // Empty, or why the file could not be opened (the report then ends early).
    std::string Error;
};
// Folder, size, format, length and tags of `fileName`.
FileReport BuildFileReport(const std::string& fileName, std::string_view thousandsSeparator);

// The "&R" clean-up: "_" and "%20" become blanks, runs of blanks shrink.
std::string CleanUpFileName(std::string_view name);

enum class RenameOutcome { Unchanged, NoExtension, ImpossibleName, Failed, Renamed };
// Renames the file of entry `index` to `newName` in its folder, never over
// another file and never into another folder; says why not when it cannot. A
// playing entry goes on at the same place under its new name. NoExtension and
// ImpossibleName keep the dialog open.
RenameOutcome RenameEntryFile(const PlaylistContext& ctx, Engine& engine, int index,
                              const std::string& newName);

}  // namespace mirvo
