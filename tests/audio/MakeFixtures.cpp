// Writes the audio test fixtures into a folder: WAV files by code, MP3/Ogg/FLAC
// through the Debian encoders (to seekable files, so each writes its length
// header), silent MP1/MP2 files frame by frame and a small module.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

#include "Signal.h"

namespace {

using audio_fixtures::kFrames;
using audio_fixtures::kRate;
using audio_fixtures::Sample;

void Put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

enum class Coding { U8, S16, S24, S32, F32 };

// A WAV file of the test signal from frame `first` on; `extensible` writes
// WAVE_FORMAT_EXTENSIBLE.
std::string Wave(Coding coding, std::uint32_t rate, std::uint32_t channels, std::uint32_t frames,
                 std::uint32_t seed, bool extensible = false, std::uint32_t first = 0) {
    const unsigned bits = coding == Coding::U8    ? 8
                          : coding == Coding::S16 ? 16
                          : coding == Coding::S24 ? 24
                                                  : 32;
    std::string data;
    for (std::uint32_t f = first; f < first + frames; ++f) {
        for (std::uint32_t c = 0; c < channels; ++c) {
            const std::int32_t s = Sample(f, c, seed);
            switch (coding) {
                case Coding::U8:
                    data.push_back(static_cast<char>((s >> 8) + 128));
                    break;
                case Coding::S16:
                    Put16(data, static_cast<std::uint16_t>(s));
                    break;
                case Coding::S24: {
                    const auto v = static_cast<std::uint32_t>(s * 256);
                    data.push_back(static_cast<char>(v & 0xFF));
                    Put16(data, (v >> 8) & 0xFFFF);
                    break;
                }
                case Coding::S32:
                    Put32(data, static_cast<std::uint32_t>(s * 65536));
                    break;
                case Coding::F32: {
                    const float v = static_cast<float>(s) / 32768.0f;
                    std::uint32_t u;
                    static_assert(sizeof u == sizeof v);
                    std::memcpy(&u, &v, 4);
                    Put32(data, u);
                    break;
                }
            }
        }
    }
    const unsigned tag = coding == Coding::F32 ? 3 : 1;
    std::string fmt;
    Put16(fmt, extensible ? 0xFFFE : tag);
    Put16(fmt, channels);
    Put32(fmt, rate);
    Put32(fmt, rate * channels * bits / 8);
    Put16(fmt, channels * bits / 8);
    Put16(fmt, bits);
    if (extensible) {
        Put16(fmt, 22);
        Put16(fmt, bits);
        Put32(fmt, channels == 2 ? 3 : 4);
        Put16(fmt, tag);  // the sub-format GUID: tag, then the fixed tail
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string out = "RIFF";
    Put32(out, static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + data.size()));
    out += "WAVEfmt ";
    Put32(out, static_cast<std::uint32_t>(fmt.size()));
    out += fmt;
    out += "data";
    Put32(out, static_cast<std::uint32_t>(data.size()));
    out += data;
    return out;
}

// Silent MPEG-1 frames: every bit allocation zero, so the payload is all zeros.
std::string SilentMpeg(int layer, std::uint32_t count) {
    // 44.1 kHz, 128 kbit/s, no CRC, stereo.
    const unsigned char layerByte = layer == 1 ? 0xFF : 0xFD;
    const unsigned char rateByte = layer == 1 ? 0x40 : 0x80;
    const std::size_t length = layer == 1 ? 136 : 417;
    std::string out;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string frame(length, '\0');
        frame[0] = static_cast<char>(0xFF);
        frame[1] = static_cast<char>(layerByte);
        frame[2] = static_cast<char>(rateByte);
        out += frame;
    }
    return out;
}

// A four-channel MOD: one square-wave sample played at row 0 of the only
// pattern, which breaks after row 15.
std::string Module() {
    std::string out(20, '\0');
    out.replace(0, 9, "mirvotest");
    for (int s = 0; s < 31; ++s) {
        std::string header(30, '\0');
        if (s == 0) {
            header[22] = 0;
            header[23] = 16;  // 16 words
            header[25] = 64;  // volume
            header[29] = 16;  // loop the whole sample
        } else {
            header[29] = 1;
        }
        out += header;
    }
    out.push_back(1);    // one order
    out.push_back(127);  // restart byte
    out += std::string(128, '\0');
    out += "M.K.";
    std::string pattern(64 * 4 * 4, '\0');
    // Row 0, channel 0: period 428 (high nibble in byte 0), sample 1 (byte 2).
    pattern[0] = static_cast<char>(0x01);
    pattern[1] = static_cast<char>(0xAC);
    pattern[2] = static_cast<char>(0x10);
    // Row 15, channel 1: pattern break (D00).
    const std::size_t at = (15 * 4 + 1) * 4;
    pattern[at + 2] = 0x0D;
    out += pattern;
    for (int i = 0; i < 32; ++i) {
        out.push_back(static_cast<char>(i < 16 ? 64 : -64));
    }
    return out;
}

bool Write(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

// The iTunes gapless tag in place of an edit list: priming, padding and the
// track's own samples, in hexadecimal.
bool WriteItunesGapless(const std::string& path, std::uint32_t samples) {
    char text[128];
    std::snprintf(text, sizeof text, " 00000000 00000400 00000000 %016X 00000000 00000000",
                  samples);
    TagLib::MP4::File file(path.c_str());
    if (!file.isValid()) {
        return false;
    }
    file.tag()->setItem("----:com.apple.iTunes:iTunSMPB", TagLib::StringList(text));
    return file.save();
}

bool Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = Write(dir + "tone.wav", Wave(Coding::S16, kRate, 2, kFrames, 0)) &&
              Write(dir + "tone8.wav", Wave(Coding::U8, kRate, 2, kFrames, 0)) &&
              Write(dir + "tone24.wav", Wave(Coding::S24, kRate, 2, kFrames, 0)) &&
              Write(dir + "tone32.wav", Wave(Coding::S32, kRate, 2, kFrames, 0)) &&
              Write(dir + "tonefloat.wav", Wave(Coding::F32, kRate, 2, kFrames, 0)) &&
              Write(dir + "toneext.wav", Wave(Coding::S16, kRate, 2, kFrames, 0, true)) &&
              Write(dir + "mono48.wav", Wave(Coding::S16, 48000, 1, 24000, 0)) &&
              Write(dir + "mono22.wav", Wave(Coding::S16, 22050, 1, 44100, 0)) &&
              Write(dir + "hi192.wav", Wave(Coding::S16, 192000, 2, 19200, 0)) &&
              Write(dir + "layer1.mp3", SilentMpeg(1, audio_fixtures::kLayer1Frames)) &&
              Write(dir + "layer2.mp3", SilentMpeg(2, audio_fixtures::kLayer2Frames)) &&
              Write(dir + "tune.mod", Module()) &&
              Write(dir + "long.wav", Wave(Coding::S16, 22050, 1, 22050 * 180, 0)) &&
              // Samples alone: flac writing to a pipe cannot go back for the count.
              Write(dir + "long.raw", Wave(Coding::S16, 22050, 1, 22050 * 180, 0).substr(44));
    for (int i = 0; ok && i < 3; ++i) {
        ok = Write(dir + "part" + std::to_string(i) + ".wav",
                   Wave(Coding::S16, kRate, 2, audio_fixtures::kPartFrames[i], 1 + i));
    }
    for (int i = 0; ok && i < 3; ++i) {
        using audio_fixtures::kAlbumCuts;
        using audio_fixtures::kAlbumCuts48;
        const std::string n = std::to_string(i);
        ok = Write(dir + "album" + n + ".wav",
                   Wave(Coding::S16, kRate, 2, kAlbumCuts[i + 1] - kAlbumCuts[i], 5, false,
                        kAlbumCuts[i])) &&
             Write(dir + "album48_" + n + ".wav",
                   Wave(Coding::S16, 48000, 2, kAlbumCuts48[i + 1] - kAlbumCuts48[i], 5, false,
                        kAlbumCuts48[i]));
    }
    ok = ok &&
         Write(dir + "tone48.wav", Wave(Coding::S16, 48000, 2, audio_fixtures::kFrames48, 0)) &&
         Write(dir + "ten.wav", Wave(Coding::S16, kRate, 2, audio_fixtures::kTenFrames, 3));
    const std::string q = " '" + dir;
    // Opus, AAC and ALAC in MP4, WavPack, Monkey's Audio; the album's tracks in each.
    const auto ffmpeg = [&](const std::string& codec, const std::string& from,
                            const std::string& to) {
        return Run("ffmpeg -v error -y -i" + q + from + "' -c:a " + codec + q + to + "'");
    };
    const auto ape = [&](const std::string& name) {
        return Run("jmac c2" + q + name + ".wav'" + q + name + ".ape' >/dev/null");
    };
    ok = ok && Run("opusenc --quiet" + q + "tone48.wav'" + q + "tone48.opus'") &&
         ffmpeg("aac -b:a 160k", "tone.wav", "tone.m4a") &&
         ffmpeg("alac", "tone.wav", "tonealac.m4a") &&
         Run("wavpack -q -y" + q + "tone.wav' -o" + q + "tone.wv'") && ape("tone") &&
         // Ten seconds: more than a block of the read-ahead, more than its decoder keeps ready.
         Run("wavpack -q -y" + q + "ten.wav' -o" + q + "ten.wv'");
    for (int i = 0; ok && i < 3; ++i) {
        const std::string n = std::to_string(i);
        ok = Run("opusenc --quiet" + q + "album48_" + n + ".wav'" + q + "album" + n + ".opus'") &&
             ffmpeg("aac -b:a 160k", "album" + n + ".wav", "album" + n + ".m4a") &&
             ffmpeg("alac", "album" + n + ".wav", "albumalac" + n + ".m4a") &&
             Run("wavpack -q -y" + q + "album" + n + ".wav' -o" + q + "album" + n + ".wv'") &&
             ape("album" + n) &&
             ffmpeg("aac -b:a 160k -use_editlist 0", "album" + n + ".wav",
                    "albumsmpb" + n + ".m4a") &&
             WriteItunesGapless(dir + "albumsmpb" + n + ".m4a",
                                audio_fixtures::kAlbumCuts[i + 1] - audio_fixtures::kAlbumCuts[i]);
    }
    ok = ok && Run("lame --quiet -b 160" + q + "tone.wav'" + q + "tone.mp3'") &&
         Run("oggenc -Q -q 5 -o" + q + "tone.ogg'" + q + "tone.wav'") &&
         Run("flac -s -f -o" + q + "tone.flac'" + q + "tone.wav'") &&
         Run("flac -s -f -o" + q + "tone24.flac'" + q + "tone24.wav'") &&
         Run("flac -s -f --ogg -o" + q + "tone.oga'" + q + "tone.wav'") &&
         Run("lame --quiet -b 160" + q + "part0.wav'" + q + "part0.mp3'") &&
         Run("oggenc -Q -q 5 -o" + q + "part1.ogg'" + q + "part1.wav'") &&
         Run("flac -s -f -o" + q + "part2.flac'" + q + "part2.wav'") &&
         // Three minutes with and without the Info header (-t).
         Run("lame --quiet -b 64" + q + "long.wav'" + q + "long.mp3'") &&
         Run("lame --quiet -t -b 64" + q + "long.wav'" + q + "longbare.mp3'") &&
         Run("flac -s -f --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 "
             "--sample-rate=22050 -c - <" +
             q + "long.raw' >" + q + "longbare.flac'") &&
         Run("flac -s -f --ogg --force-raw-format --endian=little --sign=signed --channels=1 "
             "--bps=16 --sample-rate=22050 -c - <" +
             q + "long.raw' >" + q + "longbare.oga'") &&
         // Station bodies: Opus and AAC (ADTS) for URL streams, and a mono MP3 and AAC.
         Run("lame --quiet -b 32" + q + "mono22.wav'" + q + "mono22.mp3'") &&
         Run("opusenc --quiet" + q + "tone.wav'" + q + "tone.opus'") &&
         Run("opusenc --quiet" + q + "mono48.wav'" + q + "mono48.opus'") &&
         Run("ffmpeg -v error -y -i" + q + "tone.wav' -c:a aac -b:a 128k -f adts" + q +
             "tone.aac'") &&
         Run("ffmpeg -v error -y -i" + q + "mono22.wav' -c:a aac -b:a 32k -f adts" + q +
             "mono22.aac'") &&
         // Ogg stations carry their titles in the stream's comments.
         Run("oggenc -Q -a Artist -t First -o" + q + "first.ogg'" + q + "tone.wav'") &&
         Run("oggenc -Q -a Artist -t 'Zweite \xc3\x9c"
             "bung' -o" +
             q + "second.ogg'" + q + "tone.wav'") &&
         Run("opusenc --quiet --artist Artist --title First" + q + "tone.wav'" + q +
             "first.opus'") &&
         Run("opusenc --quiet --artist Artist --title 'Zweite \xc3\x9c"
             "bung'" +
             q + "tone.wav'" + q + "second.opus'");
    std::remove((dir + "long.wav").c_str());
    std::remove((dir + "ten.wav").c_str());
    std::remove((dir + "long.raw").c_str());
    return ok ? 0 : 1;
}
