// Track choice: the queue first, then the play mode; planned as effects so
// a choice made ahead of the switch changes nothing until it is heard. A
// choice for a key or the drain path is made on the starter, one for the
// switch on the opener: each checks its candidates there, from a copy of the
// list, so a list of missing files never holds the window.
#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "playback/Engine.h"
#include "playback/EngineDetail.h"
#include "playlist/Model.h"

namespace mirvo {

using namespace engine_detail;

namespace {

// The queue and histories as a choice sees them, changed only in this copy;
// the changes are recorded as effects.
struct ChoiceState {
    const Engine::ChoiceView& in;
    std::vector<std::string> queue;
    std::array<std::string, 11> queueBack;
    std::array<std::string, 11> shuffleBack;
    bool shuffleCleared = false;
    std::vector<ChoiceEffect> effects;
    std::optional<std::vector<int>> open;  // shuffle's undrawn entries, made on first use
};

bool InList(const std::vector<std::string>& entries, const std::string& entry) {
    return std::find(entries.begin(), entries.end(), entry) != entries.end();
}

std::string PopBack(std::array<std::string, 11>& slots, const std::vector<std::string>& entries) {
    if (slots[1].empty() || !InList(entries, slots[1])) {
        return {};
    }
    std::string entry = slots[1];
    std::move(slots.begin() + 1, slots.end(), slots.begin());
    slots[10].clear();
    return entry;
}

// Slot 0 is the entry playing now; all eleven slots are used, so Previous can
// go ten steps back.
void PushBack(std::array<std::string, 11>& slots, const std::string& entry) {
    if (std::find(slots.begin(), slots.end(), entry) != slots.end()) {
        return;
    }
    std::move_backward(slots.begin(), slots.end() - 1, slots.end());
    slots[0] = entry;
}

// Indices of the first occurrence of every entry string not yet played.
std::vector<int> UnplayedEntries(const ChoiceState& s) {
    const auto& entries = s.in.entries;
    std::unordered_set<std::string_view> skip;
    skip.reserve(entries.size() + s.in.shuffleHistory.size());
    if (!s.shuffleCleared) {
        skip.insert(s.in.shuffleHistory.begin(), s.in.shuffleHistory.end());
    }
    std::vector<int> open;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (skip.insert(entries[i]).second) {
            open.push_back(static_cast<int>(i));
        }
    }
    return open;
}

// Draws from `s.open`, built once per choice: an entry drawn leaves it, so
// attempts that fail cost no pass over the list.
int PickShuffle(ChoiceState& s, std::mt19937& random) {
    const auto& entries = s.in.entries;
    if (!s.open) {
        s.open = UnplayedEntries(s);
    }
    random.seed(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::vector<int>& open = *s.open;
    if (open.empty()) {
        s.shuffleCleared = true;
        s.effects.push_back({ChoiceEffect::ClearShuffleHistory, {}});
        if (entries.empty()) {
            return -1;
        }
        const auto pick = static_cast<int>(random() % entries.size());
        s.open = UnplayedEntries(s);
        // The pick counts as drawn: its first occurrence leaves the new pass.
        const auto first =
            std::find(entries.begin(), entries.end(), entries[static_cast<std::size_t>(pick)]);
        std::erase(*s.open, static_cast<int>(first - entries.begin()));
        return pick;
    }
    const std::size_t at = random() % open.size();
    const int pick = open[at];
    open[at] = open.back();
    open.pop_back();
    return pick;
}

}  // namespace

Engine::ChoiceInput::ChoiceInput(const Engine& engine)
    : entries(engine.p_.playlist.PlaylistEntries),
      queue(engine.p_.playlist.QueueList),
      shuffleHistory(engine.p_.playlist.ShuffleHistory),
      queueBack(engine.QueueBackHistory),
      shuffleBack(engine.ShuffleBackHistory),
      playingIndex(engine.p_.playlist.PlayingIndex),
      mode(engine.p_.engine.PlayMode) {}

Engine::ChoiceView Engine::ChoiceInput::View() const {
    return {entries, queue, shuffleHistory, queueBack, shuffleBack, playingIndex, mode};
}

int Engine::CheckCandidate(const std::string& entry) {
    const int kind = EntryKind(entry);
    return HasDecoder(kind) ? ProbeFile(entry, kind).result : kPlayable;
}

TrackChoice Engine::PlanTrack(bool previous) {
    const PlaylistState& pl = p_.playlist;
    const ChoiceView in{pl.PlaylistEntries, pl.QueueList,    pl.ShuffleHistory, QueueBackHistory,
                        ShuffleBackHistory, pl.PlayingIndex, p_.engine.PlayMode};
    return Plan(in, previous, random_,
                [this](const std::string& entry) { return CheckFile(entry, true) == kPlayable; });
}

TrackChoice Engine::Plan(const ChoiceView& in, bool previous, std::mt19937& random,
                         const std::function<bool(const std::string&)>& playable) {
    const int count = static_cast<int>(in.entries.size());
    if (count == 0) {
        return {};
    }
    ChoiceState s{in, in.queue, in.queueBack, in.shuffleBack, false, {}, {}};
    const auto firstIndex = [&](const std::string& entry) {
        const auto it = std::find(in.entries.begin(), in.entries.end(), entry);
        return it == in.entries.end() ? -1 : static_cast<int>(it - in.entries.begin());
    };
    const auto passes = [&](int index) {
        const std::string& entry = in.entries[static_cast<std::size_t>(index)];
        return EntryKind(entry) != kRadioKind && playable(entry);
    };

    int b = in.playingIndex;
    int candidate = -1;
    std::size_t skippedQueued = 0;  // queued entries before the candidate that cannot play
    if (previous) {
        const std::string t = PopBack(s.queueBack, in.entries);
        if (!t.empty()) {
            s.effects.push_back({ChoiceEffect::PopQueueBack, {}});
            const int i = firstIndex(t);
            if (i >= 0 && passes(i)) {
                candidate = i;
            }
        }
    } else {
        for (const std::string& queued : s.queue) {
            const int i = firstIndex(queued);
            if (i >= 0 && passes(i)) {
                candidate = i;
                break;
            }
            ++skippedQueued;
        }
    }

    const int mode = in.mode;
    for (int pass = 0; pass < 2; ++pass) {
        for (int attempt = 0; attempt < count; ++attempt) {
            if (candidate >= 0) {
                if (!previous) {
                    // The queued entries that cannot play leave the queue with the
                    // one that plays; the rest keep their turn. A candidate is taken
                    // once, so nothing further is dropped from the queue.
                    for (std::size_t i = 0; i <= skippedQueued && i < s.queue.size(); ++i) {
                        s.effects.push_back({ChoiceEffect::RemoveQueued, s.queue[i]});
                    }
                    const std::string& entry = in.entries[static_cast<std::size_t>(candidate)];
                    s.effects.push_back({ChoiceEffect::PushQueueBack, entry});
                    PushBack(s.queueBack, entry);
                }
                b = candidate;
                candidate = -1;
            } else {
                switch (mode) {
                    case 0:
                        b = previous ? (b - 1 < 0 ? count - 1 : b - 1)
                                     : (b + 1 >= count ? 0 : b + 1);
                        break;
                    case 1:
                        break;
                    case 2:
                        b = previous ? b - 1 : b + 1;
                        if (b < 0 || b >= count) {
                            return {};
                        }
                        break;
                    case 3:
                        return {};
                    default:
                        if (previous) {
                            const std::string t = PopBack(s.shuffleBack, in.entries);
                            if (!t.empty()) {
                                s.effects.push_back({ChoiceEffect::PopShuffleBack, {}});
                            }
                            const int i = t.empty() ? -1 : firstIndex(t);
                            if (i >= 0) {
                                b = i;
                            }
                        } else {
                            b = PickShuffle(s, random);
                        }
                        break;
                }
            }
            if (b < 0 || b >= count) {
                return {};
            }
            const std::string& entry = in.entries[static_cast<std::size_t>(b)];
            if (EntryKind(entry) != kRadioKind) {
                if (playable(entry)) {
                    return {b, std::move(s.effects)};
                }
                if (mode == 4) {
                    s.effects.push_back({ChoiceEffect::AppendShuffleHistory, entry});
                }
            }
        }
        if (mode != 4) {
            break;
        }
        s.shuffleCleared = true;
        s.open.reset();
        s.effects.push_back({ChoiceEffect::ClearShuffleHistory, {}});
    }
    return {};
}

void Engine::ApplyEffects(const std::vector<ChoiceEffect>& effects) {
    PlaylistState& pl = p_.playlist;
    for (const ChoiceEffect& e : effects) {
        switch (e.kind) {
            case ChoiceEffect::RemoveQueued: {
                const auto it = std::find(pl.QueueList.begin(), pl.QueueList.end(), e.entry);
                if (it != pl.QueueList.end()) {
                    pl.QueueList.erase(it);
                }
                break;
            }
            case ChoiceEffect::PushQueueBack:
                PushQueueBack(e.entry);
                break;
            case ChoiceEffect::PopQueueBack:
                PopQueueBack();
                break;
            case ChoiceEffect::PushShuffleBack:
                PushShuffleBack(e.entry);
                break;
            case ChoiceEffect::PopShuffleBack:
                PopShuffleBack();
                break;
            case ChoiceEffect::AppendShuffleHistory:
                pl.ShuffleHistory.push_back(e.entry);
                break;
            case ChoiceEffect::ClearShuffleHistory:
                pl.ShuffleHistory.clear();
                break;
        }
    }
}

int Engine::ChooseTrack(bool previous) {
    TrackChoice choice = PlanTrack(previous);
    ApplyEffects(choice.effects);
    return choice.index;
}

void Engine::PushShuffleBack(const std::string& entry) {
    PushBack(ShuffleBackHistory, entry);
}
void Engine::PushQueueBack(const std::string& entry) {
    PushBack(QueueBackHistory, entry);
}
std::string Engine::PopShuffleBack() {
    return PopBack(ShuffleBackHistory, p_.playlist.PlaylistEntries);
}
std::string Engine::PopQueueBack() {
    return PopBack(QueueBackHistory, p_.playlist.PlaylistEntries);
}

void Engine::ApplyPlayMode() {
    static constexpr const char* kModeTexts[] = {"", "Repeat file", "Play list", "Play file     ",
                                                 "Shuffle"};
    const int mode = std::clamp(p_.engine.PlayMode, 0, 4);
    p_.ui.view.SetStatusText(2, kModeTexts[mode]);
    PlaylistState& pl = p_.playlist;
    if (!pl.QueueList.empty() || !pl.ShuffleHistory.empty()) {
        pl.QueueList.clear();
        pl.ShuffleHistory.clear();
        RefreshListView(p_, true, true);
    }
}

}  // namespace mirvo
