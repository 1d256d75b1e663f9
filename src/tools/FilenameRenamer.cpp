#include "tools/FilenameRenamer.h"

#include <sys/stat.h>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "support/FastStrings.h"
#include "support/Files.h"

namespace mirvo {
namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string FolderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string CapitaliseWords(std::string_view name) {
    std::string out(name);
    if (out.size() <= 2) {
        return out;
    }
    out[0] = Upper(out[0]);
    for (std::size_t i = 1; i + 1 < out.size(); ++i) {
        const char c = out[i];
        if (!IsAsciiLetter(c) && c != '.' && c != '\'') {
            out[i + 1] = Upper(out[i + 1]);
        }
    }
    return out;
}

std::string RenamedFileName(std::string_view fileName, std::string_view find,
                            std::string_view replace) {
    if (replace == "[case]") {
        return CapitaliseWords(fileName);
    }
    if (!find.empty()) {
        int count = 0;
        return FastStrings::ReplaceAllText(fileName, find, replace, count, false);
    }
    return std::string(replace) + std::string(fileName);
}

bool IsPlainFileName(std::string_view name) {
    return !name.empty() && name != "?" && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos;
}

std::string ImpossibleNameText(std::string_view oldName, std::string_view newName) {
    return "You want to rename\r" + std::string(oldName) + "\rto '" + std::string(newName) +
           "'.\rThat's not possible.";
}

RenameSources CollectRenameSources(const PlaylistState& pl, const MainView& view) {
    RenameSources sources;
    const auto& entries = pl.PlaylistEntries;
    for (const int row : view.ListSelectedRows()) {
        if (row >= 0 && row < static_cast<int>(entries.size())) {
            sources.Rows.push_back(row);
            sources.Paths.push_back(entries[static_cast<std::size_t>(row)]);
        }
    }
    return sources;
}

std::vector<std::string> PreviewFileNames(const RenameSources& sources, std::string_view find,
                                          std::string_view replace) {
    std::vector<std::string> names;
    names.reserve(sources.Paths.size());
    for (const std::string& path : sources.Paths) {
        names.push_back(RenamedFileName(FileNamePart(path), find, replace));
    }
    return names;
}

bool RenameAll(const PlaylistContext& ctx, const RenameSources& sources, std::string_view find,
               std::string_view replace) {
    const std::vector<std::string> names = PreviewFileNames(sources, find, replace);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!IsPlainFileName(names[i])) {
            ctx.dialogs.ShowNotice(NoticeKind::Warning,
                                   ImpossibleNameText(FileNamePart(sources.Paths[i]), names[i]));
            return false;
        }
    }
    PlaylistState& pl = ctx.playlist;
    int renamed = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& oldPath = sources.Paths[i];
        const std::string newPath = FolderPart(oldPath) + names[i];
        if (newPath == oldPath || !IsFile(oldPath)) {
            continue;
        }
        const bool playing = oldPath == pl.PlayingEntry;
        if (playing && ctx.playback != nullptr) {
            ctx.playback->StopPlayback(true);  // the file is not in use while it is renamed
        }
        // A failed rename keeps the entry on its file: the new name may be another's.
        if (!RenameNoReplace(oldPath, newPath)) {
            continue;
        }
        ++renamed;
        const auto row = static_cast<std::size_t>(sources.Rows[i]);
        if (row < pl.PlaylistEntries.size() && pl.PlaylistEntries[row] == oldPath) {
            pl.PlaylistEntries[row] = newPath;
        }
        if (playing) {
            pl.PlayingEntry = newPath;
        }
    }
    // The same rows stay selected: the dialog shows them again under their new names.
    RefreshListView(ctx, true, true);
    ctx.dialogs.ShowNotice(NoticeKind::Information,
                           std::to_string(renamed) +
                               " files have been renamed.\rCheck your playlist for the "
                               "updated files.");
    return true;
}

}  // namespace mirvo
