// Starting a track: the starter thread checks and opens the file (an MP3
// without a frame count is scanned whole there), and the UI thread takes the
// opened decoder when that lands. Only the newest start plays; every older
// one is freed where it lands.
#include <filesystem>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playback/Format.h"
#include "playlist/Model.h"
#include "scrobble/Scrobbling.h"

namespace mirvo {

namespace engine_detail {

namespace {

std::uint32_t SilentFeed(audio::Handle, void*, std::uint32_t, void*) {
    return audio::kFeedEnd;
}

int CheckResultOf(int code) {
    switch (code) {
        case audio::kErrorFileOpen:
            return kCannotOpen;
        case audio::kErrorFormat:
            return kUnsupportedSampleFormat;
        case audio::kErrorNotAudio:
            return kNotAudioFile;
        case audio::kErrorFrequency:
            return kIllegalSampleRate;
        case audio::kErrorFileFormat:
            return kUnsupportedFormat;
        default:
            return kUnknownFormat;
    }
}

}  // namespace

Probed ProbeFile(const std::string& entry, int kind) {
    std::error_code error;
    if (!std::filesystem::exists(entry, error)) {
        return {kFileNotFound, 0, false};
    }
    // A float probe tells unsupported rates and formats apart from the files we
    // can play; unscanned, it reads no more than the start of the file. It opens
    // as playing will: a ".flac" file that holds something else plays nothing.
    const audio::Handle probe =
        OpenDecoder(entry, kind, audio::kSampleFloat | audio::kStreamNoScan);
    Probed probed;
    if (probe != 0 && Length(probe) > 0) {
        audio::ChannelInfo info;
        audio::ChannelGetInfo(probe, &info);
        const audio::Handle out =
            audio::StreamCreate(info.Frequency, info.Channels, 0, SilentFeed, nullptr);
        probed.result = out != 0 ? kPlayable : kDriverUnsupported;
        FreeStream(out);
    } else {
        probed.error = audio::ErrorGetCode();
        probed.result = CheckResultOf(probed.error);
        probed.notice = true;
    }
    FreeStream(probe);
    return probed;
}

}  // namespace engine_detail

using namespace engine_detail;

void Engine::OpenSource(Started& started, const std::string& entry, int kind) {
    started.source = OpenDecoder(entry, kind);
    started.length = Length(started.source);
    started.threeSeconds = Bytes(started.source, 3.0);
    if (started.source != 0) {
        started.description = FormatDescription(std::string(EntryAddress(entry)), started.source);
    }
    started.tags = GatherTrack(entry, 0);
}

void Engine::OpenStart(std::uint64_t id, const std::string& entry, int kind) {
    Started started;
    started.id = id;
    // A newer start has come meanwhile: this one lands only to be dropped.
    if (id == latestStart_) {
        const Probed probed = ProbeFile(entry, kind);
        started.code = probed.result;
        started.error = probed.error;
        started.notice = probed.notice;
        if (probed.result == kPlayable) {
            OpenSource(started, entry, kind);
        }
    }
    PostStarted(std::move(started));
}

void Engine::OpenChoice(std::uint64_t id, const ChoiceInput& in, bool previous) {
    Started started;
    started.id = id;
    if (id == latestStart_) {
        std::mt19937 random;
        // Once a newer start came, the walk checks nothing more: it lands only to be dropped.
        started.choice = Plan(in.View(), previous, random, [&](const std::string& entry) {
            return id == latestStart_ && CheckCandidate(entry) == kPlayable;
        });
        const int index = started.choice.index;
        if (index >= 0 && id == latestStart_) {
            started.entry = in.entries[static_cast<std::size_t>(index)];
            started.kind = EntryKind(started.entry);
            started.code = kPlayable;
            if (HasDecoder(started.kind)) {
                OpenSource(started, started.entry, started.kind);
            }
        }
    }
    PostStarted(std::move(started));
}

void Engine::PostStarted(Started started) {
    {
        const std::lock_guard lock(startLock_);
        started_.push_back(std::move(started));
    }
    p_.ui.loop.PostToUiThread([this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.expired()) {
            LandStarts();
        }
    });
}

void Engine::PlayNext(bool previous) {
    recorder_.StopRecording();
    StartChoice(previous, false, false);
}

void Engine::StartChoice(bool previous, bool keepThreads, bool afterDrain) {
    InitDevice();  // the candidates' checks need it
    PendingStart start;
    start.id = ++startId_;
    start.keepThreads = keepThreads;
    start.choose = true;
    start.previous = previous;
    start.afterDrain = afterDrain;
    pendingStart_ = std::move(start);
    latestStart_ = startId_;
    // The copy costs the UI thread a pass over the list; the checks would cost a
    // look at the disk for every candidate.
    auto in = std::make_shared<const ChoiceInput>(*this);
    starter_.Post(
        [this, id = startId_, in = std::move(in), previous] { OpenChoice(id, *in, previous); });
}

void Engine::Settle() {
    // A start that lands with a place to go to posts its seek to the starter,
    // so one more round lets that land too.
    for (int round = 0; round < 3; ++round) {
        starter_.WaitIdle();
        LandStarts();
        LandSeek();
        if (!pendingStart_ && !pendingSeek_) {
            break;
        }
    }
}

void Engine::CancelStart() {
    pendingStart_.reset();
    latestStart_ = 0;
}

void Engine::LandStarts() {
    std::vector<Started> landed;
    {
        const std::lock_guard lock(startLock_);
        landed.swap(started_);
    }
    for (Started& started : landed) {
        if (pendingStart_ && pendingStart_->id == started.id) {
            PendingStart start = std::move(*pendingStart_);
            CancelStart();
            if (start.choose) {
                LandChoice(start, started);
            } else {
                BeginPlaying(start, started);
            }
        } else {
            FreeStream(started.source);
        }
    }
}

int Engine::Refind(int index, const std::string& entry) const {
    // The list may have changed while the file opened: find the entry again then.
    const PlaylistState& pl = p_.playlist;
    if (index < 0 || index >= static_cast<int>(pl.PlaylistEntries.size()) ||
        pl.PlaylistEntries[static_cast<std::size_t>(index)] != entry) {
        return FindEntry(pl, entry);
    }
    return index;
}

void Engine::LandChoice(PendingStart& start, Started& started) {
    // Applied now that the choice is taken: a start dropped changes nothing.
    ApplyEffects(started.choice.effects);
    if (started.choice.index < 0) {
        if (start.afterDrain) {
            StopPlayback(true);
        }
        return;
    }
    start.index = started.choice.index;
    start.entry = started.entry;
    start.kind = started.kind;
    if (HasDecoder(start.kind)) {
        BeginPlaying(start, started);
        return;
    }
    // A playlist file in the list: nothing to open ahead, it plays as Enter plays it.
    const int index = Refind(start.index, start.entry);
    if (index >= 0) {
        PlayEntry(index, start.keepThreads);
        if (start.paused) {
            Pause();
        }
    }
}

void Engine::BeginPlaying(PendingStart& start, Started& started) {
    if (started.code != kPlayable) {
        // What plays goes on.
        if (started.notice) {
            p_.ui.dialogs.ShowNotice(
                NoticeKind::Information,
                "Error" + std::to_string(started.error) + " Function CheckFile");
        }
        ShowCheckWarning(started.code, start.entry);
        return;
    }
    PlaylistState& pl = p_.playlist;
    const int index = Refind(start.index, start.entry);
    if (index < 0) {
        FreeStream(started.source);
        return;
    }
    ShowFileControls();
    ReleaseForOpen();
    audio::SetConfig(audio::kConfigBuffer, 3000);
    pendingIndex_ = index;
    source_ = started.source;
    sourceLength_ = started.length;
    sourceThreeSeconds_ = started.threeSeconds;
    describedAddress_ = EntryAddress(start.entry);
    description_ = std::move(started.description);
    sourceTags_ = std::move(started.tags);
    sourceIsMp3_ = AudioFileType(start.entry) == 0;
    tailSamples_.resize(static_cast<std::size_t>(started.threeSeconds / 2));
    pl.PlayingEntry = start.entry;
    pl.PlayingIndex = index;
    if (source_ == 0) {
        StopPlayback(false);
        return;
    }
    std::uint64_t track = 0;
    {
        const std::lock_guard lock(prepareLock_);
        track = trackId_;
    }
    // Its scan waits for the opener; the look-ahead is first needed at the tail.
    opener_.Post([this, track, entry = start.entry, kind = start.kind] {
        OpenLookahead(track, entry, kind);
    });
    StartOutput(start.keepThreads);
    if (start.seekBytes > 0) {
        SeekTo(start.seekBytes, start.announce);
    } else if (start.seekMs > 0) {
        SeekTo(MsToBytes(start.seekMs), start.announce);
    }
    if (start.paused) {
        Pause();
    }
}

}  // namespace mirvo
