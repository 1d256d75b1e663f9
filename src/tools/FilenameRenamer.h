#pragma once
// The multiple filename renamer: new names by find and replace, a prefix or
// capitals, and renaming the selected files to them.
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

class MainView;
struct PlaylistContext;
struct PlaylistState;

// The folder of `path` with its trailing "/"; empty when there is none.
std::string FolderPart(std::string_view path);

// A capital after the start and after every character that is neither an
// ASCII letter, "." nor "'": "don't stop.mp3" becomes "Don't Stop.mp3".
// Names of two characters or fewer stay as they are.
std::string CapitaliseWords(std::string_view name);

// The new name of `fileName` (no folder): "[case]" as `replace` capitalises;
// otherwise `find` is replaced by `replace` ignoring case, or, with no `find`,
// `replace` goes in front.
std::string RenamedFileName(std::string_view fileName, std::string_view find,
                            std::string_view replace);

// A name that renames within its folder: not empty, "?", "." or "..", and
// without "/" (which would move the file into another folder).
bool IsPlainFileName(std::string_view name);
// "You want to rename ... That's not possible." for such a name.
std::string ImpossibleNameText(std::string_view oldName, std::string_view newName);

// The selected entries in list order, taken when the dialog opens.
struct RenameSources {
    std::vector<int> Rows;
    std::vector<std::string> Paths;
};
RenameSources CollectRenameSources(const PlaylistState& pl, const MainView& view);

// The new file names (no folders), one per source.
std::vector<std::string> PreviewFileNames(const RenameSources& sources, std::string_view find,
                                          std::string_view replace);

// Renames every source to its new name, never over another file, and gives
// each renamed entry its new path; says how many went. False, with a warning
// and nothing renamed, when a new name is impossible.
bool RenameAll(const PlaylistContext& ctx, const RenameSources& sources, std::string_view find,
               std::string_view replace);

}  // namespace mirvo
