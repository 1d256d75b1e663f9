// The update thread allocates nothing while files of the FFmpeg formats play:
// every allocation of the process is counted, those on the update thread apart.
// A binary of its own, as it replaces the allocator's entry points.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"

namespace {

// Set by the feed on the thread it runs on: the update thread.
thread_local bool onUpdateThread = false;
std::atomic<std::uint64_t> updateAllocations{0};

void Note() {
    if (onUpdateThread) {
        updateAllocations.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator calls these on the allocating thread.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
void OnMalloc(const volatile void*, std::size_t) {
    Note();
}
void OnFree(const volatile void*) {}
const int hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}  // namespace
#else
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);

void* malloc(std::size_t size) noexcept {
    Note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    Note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    Note();
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
    Note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    Note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    Note();
    *out = __libc_memalign(alignment, size);
    return *out == nullptr ? ENOMEM : 0;
}
}
#endif

namespace {

using namespace audio_fixtures;

struct Source {
    audio::Handle handle = 0;
};

// The player's feed: what the decode stream has, the end once it has stopped.
std::uint32_t Feed(audio::Handle, void* buffer, std::uint32_t length, void* user) {
    onUpdateThread = true;
    const audio::Handle source = static_cast<Source*>(user)->handle;
    const std::uint32_t got = audio::ChannelGetData(source, buffer, length);
    if (got == audio::kDataError) {
        return audio::kFeedEnd;
    }
    return audio::ChannelIsActive(source) == audio::kActiveStopped ? got | audio::kFeedEnd : got;
}

// A decode stream through the feed and the same file played directly, 100 ms
// a cycle: after two cycles to fill the buffers, the next five count.
TEST(UpdateThread, PlayingTheFfmpegFormatsAllocatesNothing) {
    audio::SetConfig(audio::kConfigBuffer, 500);
    for (const auto& [name, rate] :
         {std::pair{"tone48.opus", 48000u}, std::pair{"tone.m4a", 44100u},
          std::pair{"tonealac.m4a", 44100u}, std::pair{"tone.wv", 44100u},
          std::pair{"ten.wv", 44100u}, std::pair{"tone.ape", 44100u}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(audio::Init(audio::test::kDevice, rate, 0));
        Source source{OpenDecode(name)};
        ASSERT_NE(source.handle, 0u);
        const audio::Handle fed = audio::StreamCreate(rate, 2, 0, Feed, &source);
        const audio::Handle direct = audio::StreamCreateFile(false, Path(name).c_str(), 0, 0, 0);
        ASSERT_NE(fed, 0u);
        ASSERT_NE(direct, 0u);
        ASSERT_TRUE(audio::StreamPlay(fed, false, 0));
        ASSERT_TRUE(audio::StreamPlay(direct, false, 0));
        const std::uint64_t tenth = rate / 10 * 4;
        std::uint64_t counted = 0;
        std::uint64_t played = 0;
        for (int cycle = 0; cycle < 7; ++cycle) {
            const std::uint64_t before = updateAllocations;
            ASSERT_TRUE(audio::test::Update());
            if (cycle >= 2) {
                counted += updateAllocations - before;
            }
            played += audio::test::Advance(tenth).size();
        }
        EXPECT_EQ(played, 7 * tenth);
        EXPECT_NE(audio::ChannelIsActive(fed), audio::kActiveStopped);
        EXPECT_NE(audio::ChannelIsActive(direct), audio::kActiveStopped);
        EXPECT_EQ(counted, 0u);
        audio::StreamFree(fed);
        audio::StreamFree(direct);
        audio::StreamFree(source.handle);
        ASSERT_TRUE(audio::Free());
    }
    audio::SetConfig(audio::kConfigBuffer, 3000);
}

}  // namespace
