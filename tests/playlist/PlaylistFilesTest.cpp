#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/PlaylistFiles.h"
#include "support/Files.h"

namespace mirvo {
namespace {

using Entries = std::vector<std::string>;

class PlaylistFilesTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::FakePlayer fp{dir.path()};
    Player& p = fp.player;
    Entries& entries = p.playlist.PlaylistEntries;

    std::string Folder() const { return dir.path(); }
};

TEST_F(PlaylistFilesTest, TextPlaylistWrittenOnWindows) {
    const std::string list = dir.Write("L/list.txt",
                                       "a.mp3\r\n\\b.mp3\r\n\\\\srv\\c.mp3\r\nD:\\d.mp3\r\n"
                                       "Rock\\e.mp3\r\nhttp://radio.example:8000/|Jazz\r\n"
                                       "/abs/f.mp3\r\n\r\nlast.mp3");
    p.playlist.CurrentFolder = "/old/";
    ReadTextPlaylist(p, list);
    const std::string l = Folder() + "/L/";
    EXPECT_EQ(entries,
              (Entries{l + "a.mp3", l + "b.mp3", "\\\\srv\\c.mp3", "D:\\d.mp3", l + "Rock/e.mp3",
                       "http://radio.example:8000/|Jazz", "/abs/f.mp3", l, l + "last.mp3"}));
    EXPECT_EQ(fp.view.rowCount, 9);
    EXPECT_EQ(p.playlist.CurrentFolder, "");
    EXPECT_TRUE(fp.dialogs.notices.empty());
}

TEST_F(PlaylistFilesTest, TextPlaylistSelectsThePlayingRow) {
    p.playlist.PlayingIndex = 1;
    ReadTextPlaylist(p, dir.Write("l.txt", "/a.mp3\n/b.mp3\n/c.mp3\n"));
    EXPECT_EQ(fp.view.selectedRows, std::vector<int>{1});
    EXPECT_EQ(entries.size(), 3u);
}

TEST_F(PlaylistFilesTest, BadInputNeverCrashes) {
    // Missing file, a folder, binary junk with NUL bytes, a 1 MB line.
    ReadTextPlaylist(p, Folder() + "/missing.txt");
    std::filesystem::create_directory(Folder() + "/dir.txt");
    ReadTextPlaylist(p, Folder() + "/dir.txt");
    ::mkfifo((Folder() + "/pipe.m3u").c_str(), 0600);
    ReadM3uPlaylist(p, Folder() + "/pipe.m3u");
    EXPECT_TRUE(entries.empty());
    std::string junk("\xFF\x01\0\0\x01\n\x80\x81/x\0y.mp3\n", 17);
    junk += std::string(1 << 20, 'z');
    ReadTextPlaylist(p, dir.Write("junk.txt", junk));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1], std::string("\x80\x81/x\0y.mp3", 10).insert(0, Folder() + "/"));
    EXPECT_EQ(entries[2].size(), Folder().size() + 1 + (1 << 20));
    EXPECT_TRUE(fp.dialogs.notices.empty());
    for (const std::string& line : ReadPlaylistLines(dir.Write("junk.m3u", junk))) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    // UTF-16 that breaks off: lone surrogates, a surrogate pair cut by the
    // end, an odd last byte.
    entries.clear();
    ReadTextPlaylist(p, dir.Write("bad16.txt", std::string("\xFF\xFE/\0\x00\xDC\n\0"
                                                           "a\0\x00\xD8\x00\xD8\n\0\x3D\xD8\x41",
                                                           19)));
    EXPECT_EQ(entries, (Entries{"/\xEF\xBF\xBD", Folder() + "/a\xEF\xBF\xBD\xEF\xBF\xBD",
                                Folder() + "/\xEF\xBF\xBD"}));
}

TEST_F(PlaylistFilesTest, EveryKindOfLineEndAndUtf16) {
    EXPECT_EQ(SplitLines("a\rb\r\rc\r\nd\ne", 10), (Entries{"a", "b", "", "c", "d", "e"}));
    EXPECT_EQ(SplitLines("a\r", 10), (Entries{"a"}));
    EXPECT_EQ(SplitLines("\xEF\xBB", 10), (Entries{"\xEF\xBB"}));
    EXPECT_EQ(SplitLines(std::string("\xFE\xFF\0a\0\r\0b", 8), 10), (Entries{"a", "b"}));
    EXPECT_EQ(SplitLines(std::string("\xFF\xFE", 2), 10), Entries{});

    // Files read in pieces: a CR LF, a UTF-16 unit and a surrogate pair cut
    // at each place a piece can end.
    const std::size_t piece = 1 << 20;
    for (std::size_t cut = piece - 3; cut <= piece + 1; ++cut) {
        std::string text(cut - 1, 'x');
        text.insert(0, "/");
        text += "\r\n/y\r/z";
        entries.clear();
        ReadTextPlaylist(p, dir.Write("cut.txt", text));
        ASSERT_EQ(entries.size(), 3u) << cut;
        EXPECT_EQ(entries[1], "/y");
    }
    // Whole units fall in each piece; the pair itself may be cut.
    for (const std::size_t pairAt : {piece - 4, piece - 2, piece}) {
        std::string utf16 = std::string("\xFF\xFE/\0", 4);
        for (std::size_t i = 4; i < pairAt; i += 2) {
            utf16 += std::string("x\0", 2);
        }
        utf16 += std::string("<\xD8\xB5\xDF\n\0/\0y\0", 10);
        entries.clear();
        ReadTextPlaylist(p, dir.Write("cut16.txt", utf16));
        ASSERT_EQ(entries.size(), 2u) << pairAt;
        EXPECT_TRUE(entries[0].ends_with("x\xF0\x9F\x8E\xB5")) << pairAt;
        EXPECT_EQ(entries[1], "/y");
    }
    EXPECT_TRUE(fp.dialogs.notices.empty());
}

TEST_F(PlaylistFilesTest, UnreadableTextPlaylistShowsError12) {
    // Opening succeeds, reading fails: the entries read so far stay.
    ReadTextPlaylist(p, "/proc/self/mem");
    ASSERT_EQ(fp.dialogs.notices.size(), 1u);
    EXPECT_EQ(fp.dialogs.notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(fp.dialogs.notices[0].text, "Error 12\r\rPlease report this error.");
    EXPECT_EQ(fp.view.rowCount, 0);
}

TEST_F(PlaylistFilesTest, LineLimitOfTheOtherReaders) {
    std::string text;
    for (int i = 0; i < 100005; ++i) {
        text += "/m/" + std::to_string(i) + ".mp3\n";
    }
    EXPECT_EQ(ReadPlaylistLines(dir.Write("big.m3u", text)).size(), kMaxPlaylistLines);
    ReadTextPlaylist(p, dir.Write("big.txt", text));
    EXPECT_EQ(entries.size(), 100005u);
    EXPECT_EQ(SplitLines("\xEF\xBB\xBF"
                         "a\r\nb",
                         10),
              (Entries{"a", "b"}));
    EXPECT_EQ(SplitLines("", 10), Entries{});
}

TEST_F(PlaylistFilesTest, M3u) {
    Entries out;
    ParseM3uPlaylist({"a.mp3", "#comment", "/x/b.mp3", "Sub\\c.mp3"}, "/L", out);
    EXPECT_EQ(out, (Entries{"/L/a.mp3", "/L/#comment", "/x/b.mp3", "/L/Sub/c.mp3"}));
    out.clear();
    ParseM3uPlaylist({"#EXTM3U", "#EXTINF:123,Artist - Song, live", "song.mp3", "lonely.mp3",
                      "#extinf:-1,Radio X", "http://radio.example/stream", "#EXTINF:5"},
                     "/L", out);
    EXPECT_EQ(out, (Entries{"/L/song.mp3", "http://radio.example/stream|Radio X"}));
    out.clear();
    // Path lines without "#extinf:" before them load nothing.
    ParseM3uPlaylist({"#EXTM3U", "a.mp3", "b.mp3"}, "/L", out);
    EXPECT_TRUE(out.empty());
    ParseM3uPlaylist({"#EXTM3U", "#EXTINF:1", "http://radio.example/s"}, "/L", out);
    EXPECT_EQ(out, (Entries{"http://radio.example/s|#EXTINF:1"}));
}

TEST_F(PlaylistFilesTest, Pls) {
    Entries out;
    ParsePlsPlaylist({"[playlist]", "NumberOfEntries=3", "File1=a.mp3", "Title1=Song A",
                      "File2=http://radio.example:8000/", "Title2=Radio=One", "File3=C:\\x\\y.mp3",
                      "Length3=-1", "Version=2"},
                     "/L", out);
    EXPECT_EQ(out, (Entries{"/L/a.mp3", "http://radio.example:8000/|Radio=One", "C:\\x\\y.mp3"}));
    out.clear();
    // A title line holding the word "file" is read as a further file line.
    ParsePlsPlaylist({"File1=http://radio.example/a", "Title1=my file here"}, "/L", out);
    EXPECT_EQ(out, (Entries{"http://radio.example/a|my file here", "/L/my file here"}));
}

TEST_F(PlaylistFilesTest, Asx) {
    Entries out;
    ParseAsxPlaylist({"<ASX version=\"3.0\">", "<Title>Cool FM</title>",
                      "<entry><ref href=\"http://cool.example/live\" /></entry>",
                      "<REF HREF=\"song.mp3\"/>", "Ref1=http://cool.example/b", "<ref>"},
                     out);
    EXPECT_EQ(out, (Entries{"http://cool.example/live|Cool FM", "song.mp3",
                            "http://cool.example/b|Cool FM"}));
    out.clear();
    ParseAsxPlaylist({"[Reference]", "Ref1=http://cool.example/b"}, out);
    EXPECT_EQ(out, Entries{"http://cool.example/b|http://cool.example/b"});
}

TEST_F(PlaylistFilesTest, B4s) {
    Entries out;
    ParseB4sPlaylist(
        {"<?xml version=\"1.0\"?>", "<entry Playstring=\"file:C:\\a.mp3\">", "<Name>Song A</Name>",
         "<entry Playstring=\"http://radio.example/x\">", "<NAME>Radio X</name>",
         "<entry Playstring=\"http://radio.example/y\">", "<entry Playstring=\"broken>"},
        out);
    EXPECT_EQ(out, (Entries{"file:C:\\a.mp3", "http://radio.example/x|Radio X",
                            "http://radio.example/y|http://radio.example/y"}));
}

TEST_F(PlaylistFilesTest, WriterForms) {
    entries = {"/L/Rock/a.mp3", "/elsewhere/b.mp3", "http://radio.example/|Jazz FM"};
    EXPECT_EQ(FormatPlaylist(entries, "/L", kFormText),
              "Rock/a.mp3\r\n/elsewhere/b.mp3\r\nhttp://radio.example/|Jazz FM\r\n");
    EXPECT_EQ(FormatPlaylist(entries, "/L", kFormM3u),
              "Rock/a.mp3\r\n/elsewhere/b.mp3\r\nhttp://radio.example/\r\n");
    EXPECT_EQ(FormatPlaylist(entries, "/L", kFormPls),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=3\r\nFile1=Rock/a.mp3\r\n"
              "File2=/elsewhere/b.mp3\r\nFile3=http://radio.example/\r\n");
}

TEST_F(PlaylistFilesTest, WriterRemovesOnlyALeadingFolderOfTheSameCase) {
    // The folder text occurs again inside paths and in another letter case.
    entries = {"/M/x/M/y.mp3",   "/m/M/z.mp3",    "/M/M/w.mp3",
               "/other/M/v.mp3", "/M/\\back.mp3", "/M/a\\b.mp3"};
    const std::string text = FormatPlaylist(entries, "/M", kFormText);
    EXPECT_EQ(text,
              "x/M/y.mp3\r\n/m/M/z.mp3\r\nM/w.mp3\r\n/other/M/v.mp3\r\n/M/\\back.mp3\r\n"
              "/M/a\\b.mp3\r\n");
    Entries back;
    for (const std::string& line : SplitLines(text, 100)) {
        back.push_back(ResolvePlaylistLine(line, "/M"));
    }
    EXPECT_EQ(back, entries);
}

TEST_F(PlaylistFilesTest, RoundTripsOfEveryForm) {
    const std::string folder = Folder() + "/Music";
    std::filesystem::create_directory(folder);
    // The first entry starts with bytes that look like a byte order mark.
    const Entries original = {folder +
                                  "/\xEF\xBB\xBF"
                                  "bom.mp3",
                              folder + "/Rock/a.mp3",
                              folder + "/b c.ogg",
                              "/x/Music/d.flac",
                              folder + "/e:f.wav",
                              "http://radio.example:8000/live|Jazz FM",
                              "D:\\win\\g.mp3"};
    entries = original;
    ASSERT_TRUE(WritePlaylist(p, folder + "/list.txt", kFormText));
    ASSERT_TRUE(WritePlaylist(p, folder + "/list.m3u", kFormM3u));
    ASSERT_TRUE(WritePlaylist(p, folder + "/list.pls", kFormPls));
    entries.clear();
    ReadTextPlaylist(p, folder + "/list.txt");
    EXPECT_EQ(entries, original);
    // M3U and PLS keep file paths; streams lose their title.
    Entries streamless = original;
    streamless[5] = "http://radio.example:8000/live";
    entries.clear();
    ReadM3uPlaylist(p, folder + "/list.m3u");
    EXPECT_EQ(entries, streamless);
    streamless[5] = "http://radio.example:8000/live|http://radio.example:8000/live";
    entries.clear();
    ReadPlsPlaylist(p, folder + "/list.pls");
    EXPECT_EQ(entries, streamless);
}

TEST_F(PlaylistFilesTest, WriterLeavesReadOnlyFilesAndNeverLeavesHalfAFile) {
    entries = {"/a.mp3"};
    const std::string target = dir.Write("ro.txt", "old\r\n");
    ::chmod(target.c_str(), 0444);
    EXPECT_FALSE(WritePlaylist(p, target, kFormText));
    EXPECT_EQ(*ReadWholeFile(target), "old\r\n");
    EXPECT_FALSE(WritePlaylist(p, Folder() + "/no/such/folder/x.txt", kFormText));
    EXPECT_FALSE(WritePlaylist(p, Folder() + "/x.txt", 7));
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/x.txt"));
    // Line breaks inside an entry cannot split it into two.
    entries = {"/a\nb.mp3"};
    EXPECT_EQ(FormatPlaylist(entries, "/", kFormText), "a b.mp3\r\n");
    for (const auto& item : std::filesystem::directory_iterator(Folder())) {
        EXPECT_EQ(item.path().filename().string().find(".mirvo-"), std::string::npos);
    }
}

TEST_F(PlaylistFilesTest, SaveCommandKeepsPlaybackAndSaysWhatItCouldNotDo) {
    entries = {"/a.mp3", "http://radio.example/|R"};
    p.playlist.PlayingIndex = 1;
    fp.dialogs.saveAnswers = {Folder() + "/s.pls", Folder() + "/UP.TXT", Folder() + "/plain",
                              Folder() + "/notes.doc", Folder() + "/gone/list.m3u"};
    for (int i = 0; i < 5; ++i) {
        SavePlaylistAc(p);
    }
    EXPECT_EQ(p.playlist.PlayingIndex, 1);  // what plays next is unchanged
    EXPECT_TRUE(std::filesystem::exists(Folder() + "/s.pls"));
    EXPECT_EQ(*ReadWholeFile(Folder() + "/UP.TXT"), "/a.mp3\r\nhttp://radio.example/|R\r\n");
    EXPECT_EQ(*ReadWholeFile(Folder() + "/plain.txt"), "/a.mp3\r\nhttp://radio.example/|R\r\n");
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/notes.doc"));
    ASSERT_EQ(fp.dialogs.notices.size(), 2u);
    EXPECT_EQ(fp.dialogs.notices[0].text,
              "Playlists are saved as .txt (Mirvo), .m3u or .pls files. Nothing was saved.\r\r" +
                  Folder() + "/notes.doc");
    EXPECT_EQ(fp.dialogs.notices[1].kind, NoticeKind::Error);
    EXPECT_EQ(fp.dialogs.notices[1].text.rfind("The playlist could not be saved.", 0), 0u);
}

TEST_F(PlaylistFilesTest, OpenCommandReplacesAndRemembersTheFolder) {
    entries = {"/old.mp3"};
    p.playlist.PlayingIndex = 0;
    const std::string list = dir.Write("lists/l.m3u", "/a.mp3\n/b.mp3\n");
    fp.dialogs.openAnswers = {list, std::nullopt};
    LoadPlayListAc(p);
    EXPECT_EQ(entries, (Entries{"/a.mp3", "/b.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, -1);
    EXPECT_EQ(fp.view.rowCount, 2);
    EXPECT_EQ(p.settings.ReadString("General", "PlaylistFolder", ""), Folder() + "/lists");
    LoadPlayListAc(p);
    EXPECT_EQ(entries.size(), 2u);
}

class LoaderTest : public PlaylistFilesTest {
  protected:
    test::FakePlayback playback;
    std::vector<int>& played = playback.played;
    std::string music;

    void SetUp() override {
        p.playback = &playback;
        music = Folder() + "/music";
        dir.Write("music/b.mp3", "");
        dir.Write("music/a.mp3", "");
        dir.Write("music/sub/c.mp3", "");
        dir.Write("Playlist.txt", "/prev/1.mp3\r\n/prev/2.mp3\r\n");
    }
    void Enqueue(int option) { p.settings.WriteInteger("General", "EnqueueOption", option); }
};

TEST_F(LoaderTest, UnrecognisedPathsDoNothing) {
    entries = {"/x.mp3"};
    LoadPlaylistPath(p, "/m/list.m3u8", kLoadReplace);
    LoadPlaylistPath(p, "/m/a.wma", kLoadShellWhileRunning);
    EXPECT_EQ(entries, Entries{"/x.mp3"});
}

TEST_F(LoaderTest, AddReplaceAndDrop) {
    LoadPlaylistPath(p, "/m/a.mp3", kLoadAdd);
    LoadPlaylistPath(p, "/m/b.flac", kLoadDropped);
    EXPECT_EQ(entries, (Entries{"/m/a.mp3", "/m/b.flac"}));
    LoadPlaylistPath(p, AutoPlaylistFile(p), kLoadReplace);
    EXPECT_EQ(entries, (Entries{"/prev/1.mp3", "/prev/2.mp3"}));
    LoadPlaylistPath(p, dir.Write("x.pls", "File1=/m/c.mp3\n"), kLoadAdd);
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(fp.view.rowCount, 3);
    EXPECT_TRUE(played.empty());
}

TEST_F(LoaderTest, ShellWhileRunningOpensTheFolder) {
    Enqueue(2);
    entries = {"/old.mp3"};
    LoadPlaylistPath(p, music + "/b.mp3", kLoadShellWhileRunning);
    // The folder's files, not recursive; the opened file plays and is selected.
    EXPECT_EQ(entries, (Entries{music + "/a.mp3", music + "/b.mp3"}));
    EXPECT_EQ(playback.stops.size(), 1u);
    EXPECT_EQ(played, std::vector<int>{1});
    EXPECT_EQ(p.playlist.PlayingIndex, 1);
    EXPECT_EQ(fp.view.selectedRows, std::vector<int>{1});
    EXPECT_EQ(p.playlist.CurrentFolder, music + "/");
}

TEST_F(LoaderTest, ShellWhileRunningAddsToTheList) {
    Enqueue(1);
    entries = {"/old.mp3", music + "/a.mp3"};
    p.playlist.PlayingIndex = 0;
    LoadPlaylistPath(p, music + "/b.mp3", kLoadShellWhileRunning);
    LoadPlaylistPath(p, music + "/a.mp3", kLoadShellWhileRunning);
    EXPECT_EQ(entries, (Entries{"/old.mp3", music + "/a.mp3", music + "/b.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 0);
    EXPECT_TRUE(played.empty());
}

TEST_F(LoaderTest, ShellWhileRunningWithAnEmptyList) {
    Enqueue(0);
    entries = {"/old.mp3"};
    LoadPlaylistPath(p, "http://radio.example/live", kLoadShellWhileRunning);
    EXPECT_EQ(entries, Entries{"http://radio.example/live"});
    EXPECT_EQ(played, std::vector<int>{0});
    // A playlist file plays its first entry.
    LoadPlaylistPath(p, dir.Write("l.m3u", "/n/1.mp3\n/n/2.mp3\n"), kLoadShellWhileRunning);
    EXPECT_EQ(entries, (Entries{"/n/1.mp3", "/n/2.mp3"}));
    EXPECT_EQ(played, (std::vector<int>{0, 0}));
    EXPECT_TRUE(fp.dialogs.notices.empty());
}

TEST_F(LoaderTest, ShellAtStart) {
    Enqueue(1);
    LoadPlaylistPath(p, "/n/new.mp3", kLoadShellAtStart);
    EXPECT_EQ(entries, (Entries{"/prev/1.mp3", "/prev/2.mp3", "/n/new.mp3"}));
    EXPECT_EQ(p.playlist.PlayingIndex, 2);
    entries.clear();
    Enqueue(0);
    LoadPlaylistPath(p, dir.Write("s.txt", "/q/1.mp3\n"), kLoadShellAtStart);
    EXPECT_EQ(entries, Entries{"/q/1.mp3"});
    EXPECT_EQ(p.playlist.PlayingIndex, 0);
    EXPECT_TRUE(played.empty());
}

TEST(PlaylistWriterTest, AFirstEntryThatStartsLikeAUtf16MarkReadsBackAsItself) {
    for (const std::string name : {"\xFF\xFE.mp3", "\xFE\xFF.mp3", "\xEF\xBB\xBF.mp3"}) {
        const std::vector<std::string> entries = {"/list/" + name, "/list/b.mp3"};
        for (const int form : {kFormText, kFormM3u}) {
            const auto lines = SplitLines(FormatPlaylist(entries, "/list", form), 100);
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(ResolvePlaylistLine(lines[0], "/list"), entries[0]) << form;
        }
    }
}

}  // namespace
}  // namespace mirvo
