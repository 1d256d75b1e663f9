#pragma once
// A station's answer fetched by libcurl on a thread of its own: the response
// headers, the audio with the in-stream metadata cut out, and that metadata.
// The audio waits in a buffer for the decoder, which reads it as a Source.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/Source.h"

namespace audio::detail {

// libcurl's global set-up, once per process.
void InitNetwork();

// The header lines of a station's answer as libcurl hands them over, one at a
// time, through redirects and interim answers.
class ResponseHeaders {
  public:
    // Takes one line (its line end may be there); true when it ended the
    // headers of the final answer.
    bool Add(std::string_view line);
    int Status() const { return status_; }
    // The value of a header of the answer, "" when it has none.
    std::string Header(std::string_view name) const;
    // The lines (status first) as NUL-terminated strings and an empty one.
    std::string Block() const;
    // The audio bytes between two metadata blocks; 0 when the station sends none.
    std::uint64_t MetaInterval() const;

  private:
    std::vector<std::string> lines_;
    int status_ = 0;
};

// Cuts the in-stream metadata out of a station's body: after every `interval`
// audio bytes comes a length byte (times 16 bytes) and that much text.
class IcyDemux {
  public:
    void SetInterval(std::uint64_t interval) {
        interval_ = interval;
        audioLeft_ = interval;
    }
    std::uint64_t Interval() const { return interval_; }

    // Hands each run of audio to `audio(data, n)` and the text of each finished
    // block, its NUL padding cut, to `meta(text)`. Either returning false stops
    // the feed, and Feed returns false.
    template <class Audio, class Meta>
    bool Feed(const char* data, std::size_t n, Audio&& audio, Meta&& meta);

  private:
    enum class State { Audio, Length, Text };

    std::uint64_t interval_ = 0;
    std::uint64_t audioLeft_ = 0;
    std::size_t length_ = 0;
    State state_ = State::Audio;
    std::string text_;
};

template <class Audio, class Meta>
bool IcyDemux::Feed(const char* data, std::size_t n, Audio&& audio, Meta&& meta) {
    std::size_t at = 0;
    bool more = true;
    while (at < n && more) {
        switch (state_) {
            case State::Audio: {
                const std::size_t take =
                    interval_ == 0
                        ? n - at
                        : static_cast<std::size_t>(std::min<std::uint64_t>(n - at, audioLeft_));
                more = audio(data + at, take);
                at += take;
                if (interval_ != 0 && (audioLeft_ -= take) == 0) {
                    state_ = State::Length;
                }
                break;
            }
            case State::Length:
                length_ = static_cast<unsigned char>(data[at++]) * std::size_t{16};
                text_.clear();
                state_ = State::Text;
                break;
            case State::Text: {
                const std::size_t take = std::min(n - at, length_ - text_.size());
                text_.append(data + at, take);
                at += take;
                break;
            }
        }
        if (state_ == State::Text && text_.size() == length_) {
            state_ = State::Audio;
            audioLeft_ = interval_;
            // The block is padded with NULs to a multiple of 16.
            text_.resize(std::min(text_.size(), text_.find('\0')));
            more = meta(std::string_view(text_)) && more;
        }
    }
    return more;
}

class Download {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Answer { Headers, Ended, TimedOut };

    // `headersOnly`: the audio is counted, not kept, and the transfer stops after
    // the first metadata block (at once when the station sends none). A playlist
    // answer is kept whole all the same.
    Download(const std::string& url, bool headersOnly, std::chrono::milliseconds connectTimeout);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // Waits for the final answer's headers (after redirects), the end of the
    // transfer, or the deadline.
    Answer WaitHeaders(Clock::time_point deadline);
    int Status();
    // The value of a header of the answer, "" when it has none.
    std::string Header(const std::string& name);
    // The address the answer came from, after redirects.
    std::string EffectiveUrl();
    // Header lines (status first) as NUL-terminated strings and an empty one.
    std::optional<std::string> HeaderBlock();
    std::optional<std::string> Meta();
    // Metadata from the stream's own comments; the station's ICY blocks win.
    void SetCommentMeta(const std::string& text);
    // The library's error code of a transfer that ended; 0 for a clean end.
    int Error();
    bool Ended();

    // Waits until `n` audio bytes are there, the transfer ends, or the deadline
    // passes; copies what is there without consuming it.
    std::string Peek(std::size_t n, Clock::time_point deadline);
    // Blocks until audio is there (after a stall: the refill), the transfer ended
    // or was aborted, or the read deadline (if set) passed.
    std::size_t Read(void* dst, std::size_t n);
    void SetReadDeadline(std::optional<Clock::time_point> deadline);
    // After a stall (a read that waited a second for audio) reading goes on once
    // `bytes` are there, or at the end.
    void SetRefill(std::uint64_t bytes);
    bool ReadTimedOut();
    std::uint64_t Received();
    std::uint64_t Consumed();
    // Ends the transfer and wakes every waiter; reads return 0 from now on.
    void Abort();
    // Aborts and waits for the download thread, which ends at once.
    void Stop();

  private:
    void Run(std::string url, std::chrono::milliseconds connectTimeout);
    CURLcode Transfer(CURL* curl);
    std::size_t OnHeader(const char* data, std::size_t n);
    std::size_t OnBody(const char* data, std::size_t n);
    bool AppendAudio(const char* data, std::size_t n);
    bool TakeMeta(std::string_view text);
    static std::size_t HeaderCallback(char* data, std::size_t size, std::size_t n, void* self);
    static std::size_t BodyCallback(char* data, std::size_t size, std::size_t n, void* self);

    bool headersOnly_;  // download thread only once it runs
    std::atomic<bool> abort_{false};
    std::atomic<std::uint64_t> refill_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    ResponseHeaders headers_;
    bool headersDone_ = false;
    std::string effectiveUrl_;
    std::optional<std::string> meta_;
    bool icyMeta_ = false;  // meta_ came from an ICY block
    bool ended_ = false;
    int error_ = 0;
    std::vector<unsigned char> data_;  // audio from `front_` on is unread
    std::size_t front_ = 0;
    std::uint64_t received_ = 0;
    std::uint64_t consumed_ = 0;
    std::optional<Clock::time_point> readDeadline_;
    bool readTimedOut_ = false;
    // Download thread only.
    IcyDemux demux_;
    bool stopped_ = false;  // the transfer was ended on purpose

    CURLM* const multi_;
    std::thread thread_;
};

// The audio of a download as a forward-only source.
std::unique_ptr<Source> OpenDownloadSource(std::shared_ptr<Download> download);

}  // namespace audio::detail
