#include "playlist/Favorites.h"

#include <filesystem>

#include "player/PlaylistContext.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/Scanning.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// What this system and the Windows names the lists were made on forbid.
constexpr std::string_view kForbidden = "\\/:?\"<>|";

bool ValidTitle(const std::string& title) {
    return title.find_first_of(kForbidden) == std::string::npos &&
           title.find('\0') == std::string::npos && title != "." && title != "..";
}

}  // namespace

std::string FavoritesFolder(const PlaylistContext& ctx) {
    return ctx.programFolder + "/Favorites/";
}

std::vector<std::string> CollectFavorites(const PlaylistContext& ctx) {
    std::vector<std::string> files;
    std::error_code error;
    if (std::filesystem::is_directory(FavoritesFolder(ctx), error)) {
        CollectFolderFiles(ctx, files, FavoritesFolder(ctx), true);
    }
    SortEntries(files);
    return files;
}

std::string FavoriteTitle(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

void OpenFavorite(const PlaylistContext& ctx, const std::string& file) {
    LoadPlaylistPath(ctx, file, 1);
    PlaylistState& pl = ctx.playlist;
    pl.CurrentFolder = file;
    pl.PlayingIndex = FindEntry(pl, pl.PlayingEntry);
    RefreshListView(ctx, false, false);
    if (pl.PlayingIndex >= 0) {
        ShowPlayingEntry(ctx);
        SelectOnly(ctx.view, pl.PlayingIndex);
    }
}

bool AddPlaylistToFavorites(const PlaylistContext& ctx) {
    PlaylistState& pl = ctx.playlist;
    Dialogs& dialogs = ctx.dialogs;
    if (pl.PlaylistEntries.empty()) {
        dialogs.ShowNotice(NoticeKind::Information,
                           "Your playlist is empty, please add some files first.");
        return false;
    }
    // An added folder is kept with a trailing "/": the name is the folder's own.
    std::string folder = pl.CurrentFolder;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::string name = folder.substr(folder.rfind('/') + 1);
    name = name.substr(0, name.find('.'));
    for (;;) {
        const auto typed = dialogs.InputText("Add playlist to favorites", "Name", name);
        if (!typed || typed->empty() || ctx.loop.Quitting()) {
            return false;
        }
        name = *typed;
        const std::string target = FavoritesFolder(ctx) + name + ".txt";
        std::error_code error;
        std::filesystem::create_directories(FavoritesFolder(ctx), error);
        if (ValidTitle(name) && std::filesystem::exists(target, error) &&
            !dialogs.AskYesNo("A playlist with the same name already exists.\r"
                              "Would you like to replace the existing file?")) {
            return false;
        }
        if (ValidTitle(name) && WritePlaylist(ctx, target, kFormText)) {
            return true;
        }
        dialogs.ShowNotice(NoticeKind::Error,
                           "Your playlist could not be saved.\r\r"
                           "The title may not have any of the following characters:\r"
                           "\\ / : ? \" <> |");
    }
}

bool RenameFavorite(const PlaylistContext& ctx, const std::string& file, const std::string& title) {
    if (title.empty() || !ValidTitle(title)) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(FavoritesFolder(ctx), error);
    return RenameNoReplace(file, FavoritesFolder(ctx) + title + ".txt");
}

}  // namespace mirvo
