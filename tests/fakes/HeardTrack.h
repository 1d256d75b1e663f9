#pragma once
// A file or station as the engine tells it once audible, its tags read now.
#include <cstdint>
#include <string>

#include "player/PlaybackEvents.h"
#include "playlist/Entries.h"
#include "scrobble/Scrobbling.h"

namespace mirvo::test {

inline AudibleTrack HeardTrack(const std::string& entry, std::int64_t lengthMs = 0) {
    const int kind = EntryKind(entry);
    return {entry, lengthMs, kind,
            kind == kKindStream ? TrackTags{} : TrackTags(GatherTrack(entry, 0))};
}

}  // namespace mirvo::test
