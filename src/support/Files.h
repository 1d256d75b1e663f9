#pragma once
// File helpers shared by everything that stores the user's data.
#include <sys/types.h>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mirvo {

// What reading a whole file found: its text, no file at all, or a file (or
// something else) that is there but could not be read to the end.
struct FileRead {
    enum Status { Read, Missing, Failed };
    Status status = Failed;
    std::string text;
};
FileRead ReadFileText(const std::string& path);

// The whole file, or nothing when it cannot be read (missing, a folder, no access).
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes a temporary file in the same folder, flushes it and renames it over
// `path`, then flushes the folder, so a crash never leaves half a file. A new
// file gets `newFileMode`; an existing one keeps its permissions. When `path`
// is a symbolic link, the file it points to is replaced and the link stays.
bool WriteFileAtomically(const std::string& path, std::string_view data, mode_t newFileMode = 0644);
// The same with the content written by `write` into the open temporary file
// (false: it failed, with errno set). The mode is applied where the file system
// can hold it; the content is all that counts.
bool WriteFileAtomically(const std::string& path, const std::function<bool(int fd)>& write,
                         mode_t newFileMode = 0644);

// For tests: called at each step of every atomic write with the path being
// replaced, so that a test can stop or slow a save at a known point. Any thread.
enum class SaveStep { Created, Written, Flushed, Renamed };
using SaveStepHook = void (*)(SaveStep step, const std::string& path);
void SetSaveStepHook(SaveStepHook hook);

// Writes all of `data` to `fd`, going on after interrupted writes.
bool WriteAll(int fd, std::string_view data);

// Removes from `folder` the temporary files of saves that were killed before
// they finished; a save still running in another process is left alone.
void RemoveStaleTemporaryFiles(const std::string& folder);

// True when the file exists and is not writable: the owner's write bit is off
// (what the user sets to freeze a file, honoured even for root) or access is denied.
bool IsReadOnlyFile(const std::string& path);

// Renames `from` to `to` only when no file of that name exists: a taken name
// fails (errno EEXIST) instead of being replaced, as rename() would. A change
// of letter case on a file system that ignores case is allowed.
bool RenameNoReplace(const std::string& from, const std::string& to);

// A folder, or a link to one.
bool IsFolder(const std::string& path);

// The folder part of a path, without the trailing "/"; "" when there is none.
std::string FolderOf(const std::string& path);

// `folder` + "/" + `name`, without doubling the separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace mirvo

namespace mirvo {

// Where settings, the automatic playlist and schemes live: $MIRVO_HOME when
// set (a relative one from the folder the program started in); else the
// executable's folder when it is writable (portable use) and not an installed
// bin/ (one beside share/applications/mirvo.desktop); else
// $XDG_CONFIG_HOME/mirvo (default ~/.config/mirvo, the home from the user
// database when $HOME is not set), and without any home PrivateTempFolder().
// The last two are created owner-only and must pass UsePrivateFolder; empty,
// with `error` saying why, when they do not.
std::string ResolveProgramFolder(const std::string& executableFolder, std::string& error);

// Creates `folder` owner-only, or checks the one there: a folder (not a link)
// of this user's that nobody else may write to. Empty when it may be used,
// else why not.
std::string UsePrivateFolder(const std::string& folder);

// This user's folder in the temporary folder ($TMPDIR or /tmp): "mirvo-" and
// the user id; to be checked with UsePrivateFolder, since anyone may make it first.
std::string PrivateTempFolder();

}  // namespace mirvo
