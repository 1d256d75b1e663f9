// URL streams against the loopback ICY server: the metadata cut out of the audio
// at every interval, the tag blocks, file positions, error codes, playlists,
// stalls and closes, and each station format.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>

#include "AudioTestUtil.h"
#include "audio/TestDevice.h"
#include "fakes/IcyServer.h"

namespace {

using mirvo::test::IcyReply;
using mirvo::test::IcyServer;
using mirvo::test::IcyStation;
using namespace std::chrono_literals;

constexpr std::uint32_t kUrlFlags = audio::kStreamDecode | audio::kStreamStatus;

std::string FileBytes(const std::string& name) {
    std::ifstream file(audio_fixtures::Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Polls `done` for up to 20 s; only a guard against hanging, never a measurement.
template <typename F>
bool Eventually(F done) {
    for (int i = 0; i < 4000; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

// Everything a URL decode stream delivers until it stops (activity 0).
std::vector<std::uint8_t> Drain(audio::Handle h) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(16384);
    Eventually([&] {
        for (;;) {
            const std::uint32_t got = audio::ChannelGetData(h, buf.data(), 16384);
            if (got == 0 || got == audio::kDataError) {
                break;
            }
            out.insert(out.end(), buf.begin(), buf.begin() + got);
        }
        return audio::ChannelIsActive(h) == audio::kActiveStopped;
    });
    return out;
}

std::vector<std::string> Lines(const std::string& block) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < block.size()) {
        const std::size_t end = block.find('\0', at);
        lines.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

class UrlTest : public ::testing::Test {
  protected:
    void SetUp() override { audio::SetConfig(audio::kConfigNetTimeout, 3000); }
    void TearDown() override { audio::SetConfig(audio::kConfigNetTimeout, 12000); }

    IcyServer server;
};

struct MetaCase {
    std::size_t metaint;
    const char* status;
};

class MetaintTest : public UrlTest, public ::testing::WithParamInterface<MetaCase> {};

// The audio left after cutting the metadata out is the body byte for byte: the
// same decode as without metadata, and the download count is the body's size.
TEST_P(MetaintTest, CutsMetadataOutOfTheAudio) {
    const std::string body = FileBytes("tone.mp3");
    server.Route("/plain", IcyStation(body, "audio/mpeg", 0, "HTTP/1.0 200 OK"));
    IcyReply station = IcyStation(body, "audio/mpeg", GetParam().metaint, GetParam().status);
    station.meta = {"StreamTitle='First';StreamUrl='';", "", "StreamTitle='Second';"};
    server.Route("/radio", station);

    const audio::Handle plain =
        audio::StreamCreateURL(server.Url("/plain").c_str(), 0, kUrlFlags, nullptr, nullptr);
    ASSERT_NE(plain, 0u) << audio::ErrorGetCode();
    const auto reference = Drain(plain);
    audio::StreamFree(plain);

    const audio::Handle h =
        audio::StreamCreateURL(server.Url("/radio").c_str(), 0, kUrlFlags, nullptr, nullptr);
    ASSERT_NE(h, 0u) << audio::ErrorGetCode();
    audio::ChannelInfo info;
    ASSERT_TRUE(audio::ChannelGetInfo(h, &info));
    EXPECT_EQ(info.Frequency, 44100u);
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.StreamType, audio::kTypeMp3);
    EXPECT_NE(info.Flags & audio::kStreamDecode, 0u);
    EXPECT_EQ(audio::StreamGetLength(h), 0u);
    EXPECT_FALSE(audio::ChannelSetPosition(h, 0));

    const auto got = Drain(h);
    EXPECT_GT(reference.size(), 44100u * 4);
    EXPECT_TRUE(got == reference) << got.size() << " vs " << reference.size();
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosDownload), body.size());
    EXPECT_EQ(audio::StreamGetFilePosition(h, audio::kFilePosCurrent), body.size());
    EXPECT_EQ(audio::ChannelGetPosition(h), got.size());
    EXPECT_FLOAT_EQ(audio::ChannelBytes2Seconds(h, 44100 * 4), 1.0f);

    const auto headers = audio::StreamGetTags(h, audio::kTagHttp);
    ASSERT_TRUE(headers);
    ASSERT_GE(headers->size(), 2u);
    EXPECT_EQ(headers->substr(headers->size() - 2), std::string(2, '\0'));
    const auto lines = Lines(*headers);
    EXPECT_EQ(lines.front(), GetParam().status);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "icy-name: Test Radio"), lines.end());
    EXPECT_EQ(lines.back(), "");

    const auto meta = audio::StreamGetTags(h, audio::kTagMeta);
    if (GetParam().metaint == 0) {
        EXPECT_FALSE(meta);
    } else {
        // The latest non-empty block of those sent within the body.
        const std::size_t blocks = body.size() / GetParam().metaint;
        ASSERT_TRUE(meta);
        EXPECT_EQ(*meta,
                  blocks >= 3 ? "StreamTitle='Second';" : "StreamTitle='First';StreamUrl='';");
    }
    EXPECT_TRUE(audio::StreamFree(h));
    auto request = server.Requests().back();
    EXPECT_EQ(request.headers["icy-metadata"], "1");
}

INSTANTIATE_TEST_SUITE_P(Intervals, MetaintTest,
                         ::testing::Values(MetaCase{0, "ICY 200 OK"}, MetaCase{1, "ICY 200 OK"},
                                           MetaCase{8192, "ICY 200 OK"},
                                           MetaCase{16000, "ICY 200 OK"},
                                           MetaCase{8192, "HTTP/1.0 200 OK"},
                                           MetaCase{16000, "HTTP/1.1 200 OK"}));

}  // namespace
