#include "playlist/Adding.h"

#include <iterator>

#include "player/PlaylistContext.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/Scanning.h"
#include "support/Files.h"

namespace mirvo {
namespace {

// Playable files that go straight into the list rather than through the loader.
bool IsBatchKind(int kind) {
    return kind == kKindAudio || kind == kKindModule || kind == kKindStream;
}

void AppendBatch(const PlaylistContext& ctx, std::vector<std::string>& batch) {
    if (batch.size() > 1) {
        SortEntries(batch);
    }
    auto& list = ctx.playlist.PlaylistEntries;
    list.insert(list.end(), std::make_move_iterator(batch.begin()),
                std::make_move_iterator(batch.end()));
    RefreshListView(ctx, true, true);
}

}  // namespace

void OpenFileAc(const PlaylistContext& ctx) {
    const std::vector<std::string> files = ctx.dialogs.PickOpenFiles(
        "Add music file(s) to playlist", ctx.playlist.CurrentFolder,
        "All supported music files|*.mp3;*.mp2;*.mp1;*.wav;*.ogg;*.flac;*.opus;*.m4a;*.mp4;*.wv;"
        "*.ape;"
        "|WAVE files (*.wav)|*.wav;|MPEG files (*.mp3,*.mp2,*.mp1)|*.mp3;*.mp2;*.mp1;"
        "|OGG Vorbis files (*.ogg)|*.ogg;"
        "|FLAC Lossless files (*.flac)|*.flac;"
        "|Opus files (*.opus)|*.opus;"
        "|MPEG-4 Audio files (*.m4a,*.mp4)|*.m4a;*.mp4;"
        "|WavPack files (*.wv)|*.wv;"
        "|Monkey's Audio files (*.ape)|*.ape;"
        "|All files (*.*)|*.*");
    std::vector<std::string> batch;
    for (const std::string& file : files) {
        if (IsBatchKind(EntryKind(file))) {
            batch.push_back(file);
        } else {
            LoadPlaylistPath(ctx, file, kLoadAdd);
        }
    }
    AppendBatch(ctx, batch);
}

void DropFiles(const PlaylistContext& ctx, const std::vector<std::string>& paths) {
    MainView& view = ctx.view;
    view.SetBusyCursor(true);
    view.BeginListUpdate();
    std::vector<std::string> batch;
    for (const std::string& path : paths) {
        if (IsFolder(path)) {
            ScanFolder(ctx, path, false, true, true);
        } else if (IsBatchKind(EntryKind(path))) {
            batch.push_back(path);
        } else {
            LoadPlaylistPath(ctx, path, kLoadDropped);
        }
    }
    AppendBatch(ctx, batch);
    view.EndListUpdate();
    view.SetBusyCursor(false);
    view.BringToFront();
}

}  // namespace mirvo
