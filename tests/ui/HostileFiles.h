#pragma once
// A folder of damaged, misnamed and oversized files made from the audio test
// fixtures, so most of them are nearly valid: truncated, bit-flipped, empty,
// with huge tags or tag sizes that claim more than the file holds, under the
// wrong extension, random bytes, and playlists that list themselves, go deep,
// have one huge line or are binary. The same seed makes the same folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tags/TagFixtures.h"

namespace mirvo::test {

namespace hostile {

using tagfixtures::BE;
using tagfixtures::LE32;

inline std::string LE16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

// One empty pattern of 16 rows, two channels, no instruments.
inline std::string Xm() {
    std::string out = "Extended Module: ";
    out += std::string("mirvo xm").append(12, '\0');
    out += '\x1A';
    out += std::string("mirvo").append(15, ' ');
    out += LE16(0x0104) + LE32(276);
    out += LE16(1) + LE16(0) + LE16(2) + LE16(1) + LE16(0) + LE16(1) + LE16(6) + LE16(125);
    out += std::string(256, '\0');
    return out + LE32(9) + '\0' + LE16(16) + LE16(0);
}

inline std::string S3m() {
    std::string h(96, '\0');
    h.replace(0, 9, "mirvo s3m");
    h[28] = 0x1A;
    h[29] = 16;
    h.replace(32, 6, LE16(2) + LE16(0) + LE16(1));
    h.replace(40, 4, LE16(0x1320) + LE16(2));
    h.replace(44, 4, "SCRM");
    h[48] = 64;
    h[49] = 6;
    h[50] = 125;
    h[51] = static_cast<char>(0xB0);
    for (int c = 0; c < 32; ++c) {
        h[64 + c] = static_cast<char>(c == 0 ? 0 : c == 1 ? 8 : 255);
    }
    h += std::string("\x00\xFF", 2);  // orders
    h += LE16(112 / 16);              // the pattern's parapointer
    h.resize(112, '\0');
    return h + LE16(66) + std::string(64, '\0');
}

inline std::string It() {
    std::string h = "IMPM" + std::string("mirvo it").append(18, '\0');
    h += LE16(0x1004) + LE16(2) + LE16(0) + LE16(0) + LE16(1) + LE16(0x0214) + LE16(0x0214);
    h += LE16(9) + LE16(0);
    h += std::string("\x80\x30\x06\x7D\x80\x00", 6);
    h += LE16(0) + LE32(0) + LE32(0);
    for (int c = 0; c < 64; ++c) {
        h += static_cast<char>(c < 2 ? 32 : 0xA0);
    }
    h += std::string(64, '\x40');
    h += std::string("\x00\xFF", 2);
    h += LE32(static_cast<std::uint32_t>(h.size() + 4));
    return h + LE16(16) + LE16(16) + LE32(0) + std::string(16, '\0');
}

// `blocks` inserted after a FLAC file's STREAMINFO, which then is not the last.
inline std::string FlacWithBlocks(const std::string& flac, const std::string& blocks) {
    if (flac.size() < 42 || flac.compare(0, 4, "fLaC") != 0) {
        return flac;
    }
    std::string out = flac.substr(0, 42);
    const bool wasLast = (static_cast<unsigned char>(out[4]) & 0x80) != 0;
    out[4] = static_cast<char>(out[4] & 0x7F);
    std::string added = blocks;
    if (!wasLast && !added.empty()) {
        added[0] = static_cast<char>(added[0] & 0x7F);  // the file's own blocks follow
    }
    return out + added + flac.substr(42);
}

}  // namespace hostile

struct HostileFolder {
    std::vector<std::string> files;      // every file made
    std::vector<std::string> playlists;  // by their extension
    std::vector<std::string> added;      // the kinds a folder scan leaves out
};

// Makes the folder under `root` from the fixtures in `fixtures`; `scale`
// (1 and up) multiplies the damaged copies of each fixture, and the huge tags,
// chunks and lines take `hugeMb` megabytes and a few more.
inline HostileFolder MakeHostileFolder(const std::string& root, const std::string& fixtures,
                                       int scale, std::size_t hugeMb,
                                       std::uint32_t seed = 20261208) {
    using namespace hostile;
    namespace fs = std::filesystem;
    std::mt19937 rng(seed);
    const auto below = [&rng](std::size_t n) {
        return n == 0 ? std::size_t{0} : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    HostileFolder made;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        const fs::path path = fs::path(root) / name;
        fs::create_directories(path.parent_path());
        tagfixtures::WriteFile(path, bytes);
        made.files.push_back(path.string());
        const std::string ext = path.extension().string();
        if (ext == ".txt" || ext == ".m3u" || ext == ".pls" || ext == ".asx" || ext == ".b4s") {
            made.playlists.push_back(path.string());
        } else if (ext == ".mp2" || ext == ".mod" || ext == ".xm" || ext == ".s3m" ||
                   ext == ".it") {
            made.added.push_back(path.string());
        }
        return path.string();
    };
    const auto random = [&](std::size_t size) {
        std::string out(size, '\0');
        for (char& c : out) {
            c = static_cast<char>(rng());
        }
        return out;
    };

    struct Base {
        std::string ext;
        std::string bytes;
    };
    const std::vector<Base> bases = {
        {"wav", ReadBytes(fixtures + "/tone.wav")},
        {"mp3", ReadBytes(fixtures + "/tone.mp3")},
        {"mp2", ReadBytes(fixtures + "/layer2.mp3")},
        {"ogg", ReadBytes(fixtures + "/tone.ogg")},
        {"flac", ReadBytes(fixtures + "/tone.flac")},
        {"mod", ReadBytes(fixtures + "/tune.mod")},
        {"xm", Xm()},
        {"s3m", S3m()},
        {"it", It()},
    };

    // Damaged copies of every fixture.
    for (const Base& base : bases) {
        const std::string& b = base.bytes;
        const std::string dir = "damaged/" + base.ext + "/";
        const std::vector<std::size_t> cuts = {
            1,           4, 12, 44, 100, 1000, 4096, b.size() / 4, b.size() / 2, b.size() - 100,
            b.size() - 1};
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            write(dir + "cut" + std::to_string(i) + "." + base.ext, b.substr(0, cuts[i]));
        }
        for (int i = 0; i < 16 * scale; ++i) {
            std::string m = b;
            const int flips = 1 << (i % 9);
            // Half of them in the headers, where a reader trusts what it finds.
            const std::size_t span = i % 2 == 0 ? std::min<std::size_t>(m.size(), 2048) : m.size();
            for (int f = 0; f < flips; ++f) {
                m[below(span)] ^= static_cast<char>(1 << below(8));
            }
            write(dir + "flip" + std::to_string(i) + "." + base.ext, m);
        }
        for (int i = 0; i < 4 * scale; ++i) {
            std::string m = b;
            const std::size_t at = below(std::min<std::size_t>(m.size(), 4096));
            const std::string junk = random(16 + below(500));
            m.replace(at, std::min(junk.size(), m.size() - at), junk);
            write(dir + "junk" + std::to_string(i) + "." + base.ext, m);
        }
        // The header of one file on the body of another.
        for (std::size_t other = 0; other < bases.size(); other += 3) {
            const std::string& o = bases[other].bytes;
            write(dir + "splice" + std::to_string(other) + "." + base.ext,
                  b.substr(0, std::min<std::size_t>(b.size(), 200)) + o.substr(o.size() / 3));
        }
        // Under every other extension.
        for (const Base& as : bases) {
            if (as.ext != base.ext) {
                write("misnamed/" + base.ext + "-as." + as.ext, b);
            }
        }
        write("empty/empty." + base.ext, "");
    }

    // Tags: huge ones, and sizes that claim more than the file holds.
    const std::string& mp3 = bases[1].bytes;
    const auto v2 = [](int version, const std::string& frames, std::size_t padding = 0,
                       std::uint8_t flags = 0) {
        return tagfixtures::Id3v2Tag(version, frames, padding, flags);
    };
    const std::string frames3 = tagfixtures::Id3v2Text(3, "TIT2", "Title") +
                                tagfixtures::Id3v2Text(3, "TPE1", "Artist") +
                                tagfixtures::Id3v2Text(3, "TALB", "Album");
    const std::string tagged =
        v2(3, frames3, 64) + mp3 + tagfixtures::Id3v1("Title", "Artist", "Album", "2004", "c", 17);
    write("tags/tagged.mp3", tagged);
    write("tags/id3-huge-picture.mp3",
          v2(3, tagfixtures::Id3v2Frame(3, "APIC", "\0image/png\0\x03\0" + random(hugeMb << 20))) +
              mp3);
    write("tags/id3-claims-256mb.mp3", "ID3\x03\x00\x00\x7F\x7F\x7F\x7F" + frames3 + mp3);
    for (int version = 2; version <= 4; ++version) {
        std::string frame =
            version == 2 ? "TT2" + BE(0xFFFFFF, 3) : "TIT2" + BE(0x7FFFFFFF, 4) + "\0\0";
        write("tags/id3v2" + std::to_string(version) + "-frame-claims.mp3",
              v2(version, frame + "\0Title", 0) + mp3);
    }
    write("tags/id3-unsync-exthdr.mp3", v2(3, BE(0xFFFFFFF0, 4) + "\0\0" + frames3, 0, 0xC0) + mp3);
    write("tags/id3-v24-ext-footer.mp3",
          v2(4, tagfixtures::SyncSafe(0x0FFFFFFF) + "\x01\x70" + frames3, 0, 0x50) + mp3);
    write(
        "tags/id3-compressed-frame.mp3",
        v2(4, tagfixtures::Id3v2Frame(4, "TIT2", BE(0x7FFFFFFF, 4) + "\x78\x9C junk", 0x09)) + mp3);
    write("tags/id3-utf16-odd.mp3",
          v2(3, tagfixtures::Id3v2Frame(3, "TIT2", std::string("\x01\xFF\xFE\x00\xD8\x41", 6)) +
                    tagfixtures::Id3v2Frame(3, "TPE1", std::string("\x01\x41\x00\x42", 4)) +
                    tagfixtures::Id3v2Frame(3, "COMM",
                                            std::string("\x01"
                                                        "eng\xFE\xFF\xDC",
                                                        8))) +
              mp3);
    write("tags/id3-stacked.mp3", v2(3, frames3) + v2(4, frames3) + v2(2, "") + mp3);
    write("tags/lyrics-claims.mp3", mp3 + "LYRICSBEGINLYR99999text" + "999999LYRICS200" +
                                        tagfixtures::Id3v1("T", "A", "B", "1999", "", 255));
    write("tags/lyrics-short.mp3",
          mp3 + "LYRICSBEGIN000005LYRICS200" + tagfixtures::Id3v1("T", "A", "B", "1999", "", 0));
    for (int i = 0; i < 8 * scale; ++i) {
        std::string m = tagged;
        for (int f = 0; f < 1 + i % 6; ++f) {
            m[below(128)] ^= static_cast<char>(1 << below(8));
            m[m.size() - 1 - below(128)] ^= static_cast<char>(1 << below(8));
        }
        write("tags/tagged-flip" + std::to_string(i) + ".mp3", m);
    }

    const std::string& flac = bases[4].bytes;
    using tagfixtures::FlacBlock;
    const std::string picture = BE(3, 4) + BE(9, 4) + "image/png" + BE(0, 4) + BE(0, 4) + BE(0, 4) +
                                BE(0, 4) + BE(0, 4) + BE(0, 4);
    write("tags/flac-huge-picture.flac",
          FlacWithBlocks(
              flac, FlacBlock(6, picture + BE((hugeMb + 4) << 20, 4) + random((hugeMb + 4) << 20),
                              true)));
    write(
        "tags/flac-huge-comment.flac",
        FlacWithBlocks(flac, FlacBlock(4,
                                       tagfixtures::VorbisComments(
                                           "v", {"TITLE=" + std::string((hugeMb + 6) << 20, 'x')}),
                                       true)));
    write("tags/flac-block-claims.flac",
          FlacWithBlocks(flac, std::string("\x84\xFF\xFF\xFF", 4) + LE32(1) + "v"));
    write("tags/flac-picture-claims.flac",
          FlacWithBlocks(flac, FlacBlock(6, BE(3, 4) + BE(0xFFFFFFF0, 4) + "image", true)));
    write("tags/flac-count-claims.flac",
          FlacWithBlocks(flac,
                         FlacBlock(4, LE32(1) + "v" + LE32(0xFFFFFFFF) + LE32(5) + "A=b", true)));
    write("tags/flac-length-claims.flac",
          FlacWithBlocks(flac,
                         FlacBlock(4, LE32(1) + "v" + LE32(2) + LE32(0xFFFFFF00) + "A=b", true)));
    std::string tiny;
    for (int i = 0; i < 2000; ++i) {
        tiny += FlacBlock(1, std::string(1, '\0'), false);
    }
    write("tags/flac-many-blocks.flac", FlacWithBlocks(flac, tiny));
    write("tags/flac-only-metadata.flac",
          tagfixtures::Flac(44100, 2, 16, 1u << 30, FlacBlock(4, "", true)));
    const std::string flacTagged = FlacWithBlocks(
        flac,
        FlacBlock(4, tagfixtures::VorbisComments("v", {"TITLE=t", "ARTIST=a", "ALBUM=b"}), true));
    for (int i = 0; i < 6 * scale; ++i) {
        std::string m = flacTagged;
        for (int f = 0; f < 1 + i % 4; ++f) {
            m[4 + below(120)] ^= static_cast<char>(1 << below(8));
        }
        write("tags/flac-flip" + std::to_string(i) + ".flac", m);
    }

    const std::string ogg = fixtures + "/tone.ogg";
    const std::string tagsFile = root + "/vorbis-tags.txt.in";
    const auto vorbisTagged = [&](const std::string& name, const std::string& tags) {
        tagfixtures::WriteFile(tagsFile, tags);
        const std::string out = root + "/tags/" + name;
        fs::create_directories(root + "/tags");
        if (std::system(("vorbiscomment -w -c '" + tagsFile + "' '" + ogg + "' '" + out +
                         "' >/dev/null 2>&1")
                            .c_str()) == 0) {
            made.files.push_back(out);
        }
        fs::remove(tagsFile);
        return ReadBytes(out);
    };
    vorbisTagged("ogg-huge-comment.ogg", "COMMENT=" + std::string((hugeMb + 2) << 20, 'y') + "\n");
    std::string manyTags;
    for (int i = 0; i < 100000; ++i) {
        manyTags.append("T").append(std::to_string(i)).append("=v\n");
    }
    const std::string manyOgg = vorbisTagged("ogg-many-comments.ogg", manyTags);
    for (int i = 0; i < 6 * scale && manyOgg.size() > 200; ++i) {
        std::string m = manyOgg;
        for (int f = 0; f < 1 + i % 5; ++f) {
            m[58 + below(std::min<std::size_t>(m.size() - 58, 4000))] ^=
                static_cast<char>(1 << below(8));
        }
        write("tags/ogg-flip" + std::to_string(i) + ".ogg", m);
    }
    const std::string oggBody = bases[3].bytes.substr(bases[3].bytes.size() / 2);
    write("tags/ogg-vendor-claims.ogg",
          tagfixtures::OggPage(2, 0, 0, tagfixtures::VorbisIdentification(2, 44100, 128000)) +
              tagfixtures::OggPage(0, 0, 1, "\x03vorbis" + LE32(0xFFFFFFF0) + "v") + oggBody);
    write("tags/ogg-count-claims.ogg",
          tagfixtures::OggVorbisHeaders(2, 44100, 128000, "v", {}).substr(0, 58) +
              tagfixtures::OggPage(
                  0, 0, 1, "\x03vorbis" + LE32(1) + "v" + LE32(0x7FFFFFFF) + LE32(3) + "A=b") +
              oggBody);
    write("tags/ogg-zero-rate.ogg",
          tagfixtures::OggVorbisHeaders(0, 0, -1, "v", {"TITLE=t"}) + oggBody);

    const std::string& wav = bases[0].bytes;
    const auto wavWith = [&](std::size_t at, const std::string& bytes) {
        std::string m = wav;
        m.replace(at, bytes.size(), bytes);
        return m;
    };
    write("tags/wav-riff-claims.wav", wavWith(4, LE32(0xFFFFFFFF)));
    write("tags/wav-data-claims.wav", wavWith(40, LE32(0xFFFFFFFF)));
    write("tags/wav-fmt-claims.wav", wavWith(16, LE32(0xFFFFFFF0)));
    write("tags/wav-no-channels.wav", wavWith(22, LE16(0)));
    write("tags/wav-many-channels.wav", wavWith(22, LE16(0xFFFF)));
    write("tags/wav-zero-rate.wav", wavWith(24, LE32(0)));
    write("tags/wav-zero-bits.wav", wavWith(34, LE16(0)));
    write("tags/wav-zero-align.wav", wavWith(32, LE16(0)));
    write("tags/wav-huge-list.wav", wav.substr(0, 36) + "LIST" + LE32((hugeMb + 1) << 20) +
                                        std::string((hugeMb + 1) << 20, 'z') + wav.substr(36));
    write("tags/wav-list-claims.wav",
          wav.substr(0, 36) + "LIST" + LE32(0xFFFFFFF0) + wav.substr(36, 1000));
    write("tags/wav-odd-chunk.wav", wav.substr(0, 36) + "junk" + LE32(3) + "abc" + wav.substr(36));
    std::string mod = bases[5].bytes;
    mod[42] = mod[43] = static_cast<char>(0xFF);  // sample 1 claims 128 KB
    write("tags/mod-sample-claims.mod", mod);
    std::string xm = bases[6].bytes;
    xm.replace(60, 4, LE32(0xFFFFFFFF));
    write("tags/xm-header-claims.xm", xm);
    xm = bases[6].bytes;
    xm.replace(xm.size() - 9, 4, LE32(0x7FFFFFFF));
    write("tags/xm-pattern-claims.xm", xm);
    std::string s3m = bases[7].bytes;
    s3m.replace(98, 2, LE16(0xFFFF));
    write("tags/s3m-pointer-claims.s3m", s3m);
    std::string it = bases[8].bytes;
    it.replace(46, 6, LE16(0xFFFF) + LE32(0x7FFFFFFF));
    write("tags/it-message-claims.it", it);
    it = bases[8].bytes;
    it.replace(194, 4, LE32(0xFFFFFF00));
    write("tags/it-pattern-claims.it", it);

    // Random bytes, some after the right magic.
    const std::vector<std::string> exts = {"mp3", "mp2", "wav", "ogg", "flac",
                                           "mod", "xm",  "s3m", "it"};
    const std::vector<std::string> magics = {"",
                                             "ID3\x04",
                                             "fLaC",
                                             "OggS",
                                             std::string("RIFF\xFF\xFF\xFF\x7FWAVEfmt ", 16),
                                             "Extended Module: ",
                                             "IMPM",
                                             "\xFF\xFB\x90\x64",
                                             "\xFF\xFD\x80\x00"};
    for (int i = 0; i < 20 * scale; ++i) {
        const std::size_t sizes[] = {1, 3, 17, 128, 1000, 4096, 65536, 300000};
        std::string bytes = magics[below(magics.size())] + random(sizes[below(8)]);
        write("random/r" + std::to_string(i) + "." + exts[below(exts.size())], bytes);
    }

    // Playlists of every kind, some under audio names.
    std::string deepDir = "deep";
    for (int i = 0; i < 60; ++i) {
        deepDir += "/d" + std::to_string(i);
    }
    write(deepDir + "/deep.wav", wav);
    const std::string deepEntry = "../" + deepDir + "/deep.wav";
    std::string upward;
    for (int i = 0; i < 400; ++i) {
        upward += "../";
    }
    const std::string hugeLine = std::string((hugeMb - 2) << 20, 'h');
    std::string manyLines;
    for (int i = 0; i < 100050; ++i) {
        manyLines.append("n").append(std::to_string(i)).append(".mp3\n");
    }
    for (const std::string ext : {"txt", "m3u", "pls", "asx", "b4s"}) {
        const std::string self = "lists/self." + ext;
        const std::string a = "lists/ping." + ext;
        const std::string b = "lists/pong." + ext;
        const auto as = [&](const std::vector<std::string>& entries) {
            std::string out;
            const std::string e = ext;
            if (e == "pls") {
                out = "[playlist]\r\nNumberOfEntries=" + std::to_string(entries.size()) + "\r\n";
            } else if (e == "asx") {
                out = "<asx version=\"3.0\"><title>hostile</title>\r\n";
            } else if (e == "b4s") {
                out = "<?xml version=\"1.0\"?><WinampXML><playlist>\r\n";
            } else if (e == "m3u") {
                out = "#EXTM3U\r\n";
            }
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const std::string& entry = entries[i];
                if (e == "pls") {
                    out += "File" + std::to_string(i + 1) + "=" + entry + "\r\nTitle" +
                           std::to_string(i + 1) + "=" + entry + "\r\n";
                } else if (e == "asx") {
                    out += "<entry><ref href=\"" + entry + "\"/></entry>\r\n";
                } else if (e == "b4s") {
                    out += "<entry Playstring=\"file:" + entry + "\">\r\n<Name>" + entry +
                           "</Name></entry>\r\n";
                } else if (e == "m3u") {
                    out += "#EXTINF:1," + entry + "\r\n" + entry + "\r\n";
                } else {
                    out += entry + "\r\n";
                }
            }
            return out;
        };
        // The list formats that resolve nothing against their folder get absolute paths.
        const bool absolute = ext == "asx" || ext == "b4s";
        std::vector<std::string> all;
        for (std::size_t i = 0; i < made.files.size(); i += 3) {
            all.push_back(absolute ? made.files[i]
                                   : fs::relative(made.files[i], root + "/lists").string());
        }
        write("lists/all." + ext, as(all));
        write(self, as({absolute ? root + "/" + self : fs::path(self).filename().string()}));
        write(a, as({absolute ? root + "/" + b : fs::path(b).filename().string()}));
        write(b, as({absolute ? root + "/" + a : fs::path(a).filename().string(),
                     "http://127.0.0.1:9/x"}));
        write("lists/deep." + ext, as({absolute ? root + "/" + deepDir + "/deep.wav" : deepEntry,
                                       upward + "etc/hostname", std::string(3000, '/') + "x.mp3"}));
        write("lists/hugeline." + ext, as({hugeLine}));
        write("lists/hugeline-raw." + ext, hugeLine);
        write("lists/many." + ext, manyLines);
        write("lists/binary." + ext, random(65536));
        write("lists/binary-nul." + ext, std::string(1000, '\0') + random(1000));
        write("lists/broken." + ext,
              "[playlist]\nFile1=\n=\nTitle1\r\r\r#EXTINF:\n<ref href=\"x\n<ref \"\"\n"
              "Ref1=\nPlaystring=\"\n<Name>\n#EXTM3U\n#EXTINF:1,");
        const std::string full = as(all);
        for (int i = 0; i < 2 * scale; ++i) {
            std::string m = full.substr(0, 20000);
            for (int f = 0; f < 8; ++f) {
                m[below(m.size())] = static_cast<char>(rng());
            }
            write("lists/flip" + std::to_string(i) + "." + ext, m);
        }
        write("misnamed/list-" + ext + "-as.wav", as(all));
    }
    write("misnamed/lines-as.mp3", manyLines);
    write("misnamed/binary-list-as.ogg", "#EXTM3U\r\n" + random(4000));
    return made;
}

}  // namespace mirvo::test
