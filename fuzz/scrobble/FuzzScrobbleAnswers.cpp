// Any bytes as the play history service's answer to a handshake, a notice or
// a submission, and as the queue file of plays not yet taken: a session comes
// only from "OK" and three more lines, an error status keeps its lines only
// when they begin with a protocol word, and the queue file reads back as it
// was written, every play with an artist and a title.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzRequire.h"
#include "scrobble/Scrobbling.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    SplitLines(text, '\n', lines);
    const auto session = ParseHandshakeAnswer(lines);
    Require(session.has_value() == (lines.size() == 4 && lines[0] == "OK"));
    if (session) {
        Require(!session->Id.empty() && !session->NowPlayingUrl.empty() &&
                !session->SubmissionUrl.empty());
        Require(AnswerIsOk(lines));
    }
    Require(AnswerIsOk(lines) == (!lines.empty() && lines[0] == "OK"));
    Require(ServiceWords({200, lines}) == lines);
    const std::vector<std::string> words = ServiceWords({403, lines});
    Require(words.empty() || words == lines);
    Require(words.empty() || (!lines[0].empty() && lines[0][0] >= 'A' && lines[0][0] <= 'Z'));

    const std::deque<QueuedPlay> queue = ParseQueue(text);
    const std::string written = QueueText(queue);
    const std::deque<QueuedPlay> again = ParseQueue(written);
    Require(again.size() == queue.size() && QueueText(again) == written);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        Require(HasArtistAndTitle(queue[i].Track));
        Require(again[i].StartedAt == queue[i].StartedAt &&
                again[i].Track.Length == queue[i].Track.Length &&
                again[i].Track.TrackNumber == queue[i].Track.TrackNumber);
    }
    return 0;
}
