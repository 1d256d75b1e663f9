// The files the player keeps for the user (the automatic playlist, the
// settings, a favourite and the queue of unsent plays) when their saves are
// killed in the middle, when the disk is full and when it is read-only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "app/Application.h"
#include "fakes/FakeServices.h"
#include "fakes/HeardTrack.h"
#include "fakes/TempDir.h"
#include "playlist/Favorites.h"
#include "playlist/PlaylistFiles.h"
#include "scrobble/Scrobbling.h"
#include "support/Files.h"
#include "support/IniFile.h"
#include "tags/TagFixtures.h"

namespace mirvo {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A tmpfs of the test's own over a fresh folder, unmounted at the end.
class Tmpfs {
  public:
    explicit Tmpfs(const std::string& size) {
        const std::string options = "size=" + size;
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
            0) {
            error_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        }
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    ~Tmpfs() {
        if (error_.empty()) {
            ::umount2(dir_.path().c_str(), MNT_DETACH);
        }
    }
    // Empty when mounted, else why not.
    const std::string& Error() const { return error_; }
    const std::string& path() const { return dir_.path(); }
    std::string operator/(const std::string& name) const { return dir_ / name; }
    bool MakeReadOnly() const {
        return ::mount(nullptr, path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    test::TempDir dir_;
    std::string error_;
};

// A loopback address that refuses every connection: its port is bound for
// the test's life and never listened on.
std::string RefusedBase() {
    static const int port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return 0;
        }
        return static_cast<int>(ntohs(address.sin_port));
    }();
    return "http://127.0.0.1:" + std::to_string(port);
}

// The player on a program folder, with the queue of unsent plays a started
// program keeps beside its settings.
struct Program {
    explicit Program(const std::string& folder) : fp(folder), app(fp.player) {
        app.LoadPlaylistPath = [this](const std::string& path, int mode) {
            LoadPlaylistPath(fp.player, path, mode);
        };
    }
    // What a start reads, in the order the program reads it.
    void Start() {
        OpenQueue();
        app.CreateMainWindow();
    }
    void OpenQueue() {
        scrobbler.emplace(fp.player.ProgramFolder + "/Scrobbles.txt");
        // No service answers: every play stays queued.
        scrobbler->SetAccount({true, "user", "secret", RefusedBase()});
        scrobbler->RetryPause = std::chrono::milliseconds(0);
    }
    // "&Add playlist to favorites..." under `name`, replacing one of that name.
    bool AddFavorite(const std::string& name) {
        fp.dialogs.textAnswers = {name};
        fp.dialogs.yesNoAnswers = {true};
        return AddPlaylistToFavorites(fp.player);
    }
    // A finished play of `track`, queued and saved before the service is asked.
    void Play(const std::string& track, int lengthSeconds) {
        scrobbler->Submit(test::HeardTrack(track), lengthSeconds, 0,
                          ScrobbleClock::System().UnixTime());
        scrobbler->WaitForWorkers();
    }
    std::vector<std::string>& Entries() { return fp.player.playlist.PlaylistEntries; }

    test::FakePlayer fp;
    Application app;
    std::optional<ScrobbleClient> scrobbler;
};

// A track with the tags the queue keeps.
std::string WriteTrack(const std::string& folder) {
    const std::string path = folder + "/Song.mp3";
    WriteFileAtomically(
        path, std::string(400, '\0') + tagfixtures::Id3v1("Song", "Band", "Album", "2026", "", 0));
    return path;
}

// The number of plays in a queue file of plays of WriteTrack's track with the
// lengths 1, 2, 3, ..., each line whole and sent between `from` and `to`;
// nothing when the text is not such a file.
std::optional<int> QueuedPlays(std::string_view text, std::int64_t from, std::int64_t to) {
    int plays = 0;
    while (!text.empty()) {
        std::int64_t sentAt = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), sentAt);
        if (error != std::errc() || sentAt < from || sentAt > to) {
            return std::nullopt;
        }
        std::string rest = std::to_string(plays + 1);
        rest.insert(0, 1, '\t');
        rest += "\t0\tBand\tSong\tAlbum\t\n";
        const std::string_view after = text.substr(static_cast<std::size_t>(end - text.data()));
        if (!after.starts_with(rest)) {
            return std::nullopt;
        }
        text = after.substr(rest.size());
        ++plays;
    }
    return plays;
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The temporary files of saves in the program folder and the favourites,
// each named by the file it was to become, told by its first byte.
std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& where : {folder, folder + "/Favorites"}) {
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(where, error)) {
            if (!item.path().filename().string().starts_with(".mirvo-")) {
                continue;
            }
            std::ifstream file(item.path(), std::ios::binary);
            const int head = file.get();
            found.push_back(where != folder ? "favourite"
                            : head == '['   ? "settings"
                            : head == '/'   ? "playlist"
                            : head < 0      ? "empty"
                                            : "queue");
        }
    }
    return found;
}

// Whether the file holds exactly `text`, compared piece by piece.
bool Holds(const std::string& path, std::string_view text) {
    std::ifstream file(path, std::ios::binary);
    std::string piece(1 << 20, '\0');
    std::size_t at = 0;
    while (file) {
        file.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(file.gcount());
        if (text.substr(at, got) != std::string_view(piece.data(), got)) {
            return false;
        }
        at += got;
    }
    return file.eof() && at == text.size();
}

// Where the child stops: at `step` of the save of the file whose path ends
// in `name`. It says so on the pipe and waits there to be killed.
struct StopPoint {
    const char* name = "";
    SaveStep step = SaveStep::Created;
    int pipe = -1;
};
StopPoint stopPoint;

void StopHere(SaveStep step, const std::string& path) {
    if (step == stopPoint.step && path.ends_with(stopPoint.name)) {
        const char reached = 1;
        [[maybe_unused]] const ssize_t sent = ::write(stopPoint.pipe, &reached, 1);
        for (;;) {
            ::pause();
        }
    }
}

// Whether the child reached its stop within a generous bound: 1, or 0 when
// it ended without (the save never came), or -1 when it hung.
int AwaitStop(int fd) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 60000) != 1) {
        return -1;
    }
    char reached = 0;
    return ::read(fd, &reached, 1) == 1 ? 1 : 0;
}

// Saves of a playlist, a favourite, the queue and the settings, one after the
// other in a child killed inside each of them in turn, at each step of the
// atomic write (the temporary file made, written, flushed, renamed): each
// file is the old version before the rename and the new one after it, whole,
// and the next start clears what the killed save left. Each kill lands where
// it must however busy the machine is.
TEST(KilledSaves, LeaveWholeFilesAndNoLeftoversAfterTheNextStart) {
    test::TempDir dir;
    const std::string folder = dir.path();
    Program s(folder);
    std::vector<std::string> other;
    for (int i = 0; i < 20000; ++i) {
        const std::string entry = "/music/artist " + std::to_string(i % 997) + "/album/track " +
                                  std::to_string(i) + ".mp3";
        s.Entries().push_back(entry);
        other.push_back(entry + "x");
    }
    std::vector<std::string> favourite[2];
    for (int i = 0; i < 5000; ++i) {
        favourite[0].push_back("/music/best/" + std::to_string(i) + ".ogg");
        favourite[1].push_back("/music/best/" + std::to_string(i) + ".flac");
    }
    const std::vector<std::string>* lists[2] = {&s.Entries(), &other};
    const std::string playlistTexts[2] = {FormatPlaylist(s.Entries(), folder, kFormText),
                                          FormatPlaylist(other, folder, kFormText)};
    const std::string favouriteTexts[2] = {
        FormatPlaylist(favourite[0], folder + "/Favorites", kFormText),
        FormatPlaylist(favourite[1], folder + "/Favorites", kFormText)};
    const std::string track = WriteTrack(folder);
    const std::int64_t firstPlay = Now();

    // Cycle `n` saves favourite n % 2, a play of length `length`, the list the
    // entries hold after a swap (playlist n % 2 in the child) and volume
    // 500 + n % 2 (the exit save).
    const auto saveAll = [&](int n, int length) {
        s.Entries().swap(favourite[n % 2]);
        s.AddFavorite("Mix");
        s.Entries().swap(favourite[n % 2]);
        s.Play(track, length);
        s.Entries().swap(other);
        s.fp.player.engine.Volume = 500 + n % 2;
        s.app.Shutdown();
    };
    s.OpenQueue();
    saveAll(1, 1);
    const std::string ini501 = ReadWholeFile(folder + "/Mirvo.ini").value_or("");
    saveAll(2, 2);
    const std::string ini500 = ReadWholeFile(folder + "/Mirvo.ini").value_or("");
    ASSERT_EQ(IniFile(ini501).ReadInteger("General", "Volume", 0), 501);
    ASSERT_EQ(IniFile(ini500).ReadInteger("General", "Volume", 0), 500);
    ASSERT_TRUE(Holds(folder + "/Playlist.txt", playlistTexts[0]));
    ASSERT_TRUE(Holds(folder + "/Favorites/Mix.txt", favouriteTexts[0]));
    s.scrobbler.reset();

    // In the order the cycle saves them, with the kind of temporary file each leaves.
    const std::pair<const char*, const char*> files[] = {{"/Favorites/Mix.txt", "favourite"},
                                                         {"/Scrobbles.txt", "queue"},
                                                         {"/Playlist.txt", "playlist"},
                                                         {"/Mirvo.ini", "settings"}};
    const SaveStep steps[] = {SaveStep::Created, SaveStep::Written, SaveStep::Flushed,
                              SaveStep::Renamed};
    const int rounds = kSanitized ? 16 : 32;
    int queued = 2;
    for (int round = 0; round < rounds; ++round) {
        const auto& [name, kind] = files[round % 4];
        const SaveStep step = steps[round / 4 % 4];
        const int n = round + 1;
        const std::string path = folder + name;
        const std::string before = ReadWholeFile(path).value_or("");
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            stopPoint = {name, step, pipeFds[1]};
            SetSaveStepHook(StopHere);
            s.OpenQueue();
            if (n % 2 == 0) {
                s.Entries().swap(other);  // so that the cycle saves the first list
            }
            saveAll(n, static_cast<int>(s.scrobbler->Queue().size()) + 1);
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
        ::close(pipeFds[1]);
        const int reached = AwaitStop(pipeFds[0]);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(pipeFds[0]);
        ASSERT_EQ(reached, 1) << "round " << round << ": the save of " << name
                              << " did not come to its stop";

        const int version = n % 2;
        const auto plays =
            QueuedPlays(ReadWholeFile(folder + "/Scrobbles.txt").value_or("?"), firstPlay, Now());
        ASSERT_TRUE(plays.has_value()) << "round " << round;
        const std::vector<std::string> left = Leftovers(folder);
        if (step == SaveStep::Renamed) {
            // In place: the new version whole, and nothing left behind.
            EXPECT_TRUE(left.empty()) << "round " << round;
            if (kind == std::string("queue")) {
                EXPECT_EQ(*plays, queued + 1) << "round " << round;
            } else {
                const std::string expected =
                    kind == std::string("favourite")  ? favouriteTexts[version]
                    : kind == std::string("playlist") ? playlistTexts[version]
                                                      : (version == 1 ? ini501 : ini500);
                EXPECT_TRUE(Holds(path, expected)) << "round " << round << " " << name;
            }
        } else {
            // The old version whole, and the temporary file of this save beside it.
            EXPECT_TRUE(Holds(path, before)) << "round " << round << " " << name;
            const bool empty = step == SaveStep::Created && kind != std::string("favourite");
            EXPECT_EQ(left, std::vector<std::string>{empty ? "empty" : kind}) << "round " << round;
        }
        // Every other file is an old or a new version, whole.
        const int listVersion = Holds(folder + "/Playlist.txt", playlistTexts[1]) ? 1 : 0;
        ASSERT_TRUE(Holds(folder + "/Playlist.txt", playlistTexts[listVersion]))
            << "round " << round;
        const auto ini = ReadWholeFile(folder + "/Mirvo.ini");
        ASSERT_TRUE(ini == ini500 || ini == ini501) << "round " << round;
        ASSERT_TRUE(Holds(folder + "/Favorites/Mix.txt", favouriteTexts[0]) ||
                    Holds(folder + "/Favorites/Mix.txt", favouriteTexts[1]))
            << "round " << round;
        ASSERT_GE(*plays, queued) << "round " << round;
        queued = *plays;

        Program next(folder);
        next.Start();
        ASSERT_TRUE(next.Entries() == *lists[listVersion]) << "round " << round;
        ASSERT_EQ(next.scrobbler->Queue().size(), static_cast<std::size_t>(queued));
        ASSERT_TRUE(Leftovers(folder).empty()) << "round " << round;
    }
}

// The four files and a playlist saved with Ctrl+S, each written once by the
// program itself on a small disk of the test's own, with the next versions
// ready in memory.
class SmallDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!disk_.Error().empty()) {
            GTEST_SKIP() << disk_.Error();
        }
        track_ = WriteTrack(disk_.path());
        p_.Start();
        for (int i = 0; i < 2000; ++i) {
            p_.Entries().push_back("/music/old/" + std::to_string(i) + ".mp3");
        }
        // Keys the program does not know are kept: the file is more than a page.
        p_.fp.player.settings.Update([](IniFile& ini) {
            for (int i = 0; i < 400; ++i) {
                ini.WriteString("Custom", "key" + std::to_string(i), std::string(40, 'v'));
            }
        });
        ASSERT_TRUE(p_.AddFavorite("Mix"));
        for (int n = 1; n <= kPlays; ++n) {
            p_.Play(track_, n);
        }
        SaveAs(saved_);
        p_.app.Shutdown();
        for (const std::string& file : Files()) {
            old_[file] = ReadWholeFile(file).value_or("?");
        }
        ASSERT_EQ(QueuedPlays(old_[disk_ / "Scrobbles.txt"], 0, Now()), kPlays);
        ASSERT_TRUE(p_.fp.dialogs.notices.empty());
        for (std::string& entry : p_.Entries()) {
            entry.replace(7, 3, "new");
        }
        p_.fp.player.engine.Volume = 700;
    }

    std::vector<std::string> Files() const {
        return {disk_ / "Playlist.txt", disk_ / "Mirvo.ini", disk_ / "Favorites/Mix.txt",
                disk_ / "Scrobbles.txt", saved_};
    }
    void SaveAs(const std::string& file) {
        p_.fp.dialogs.saveAnswers = {file};
        SavePlaylistAc(p_.fp.player);
    }
    // Fills the disk but for `room` bytes.
    void Fill(std::size_t room) {
        const int fd = ::open((disk_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string page(4096, 'f');
        while (::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) {
        }
        EXPECT_EQ(errno, ENOSPC);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        EXPECT_EQ(::ftruncate(fd, size - static_cast<off_t>(room)), 0);
        ::close(fd);
    }
    // Every old file as it was, and no temporary file beside any of them.
    void ExpectOldFilesWhole() {
        for (const auto& [file, text] : old_) {
            EXPECT_TRUE(ReadWholeFile(file) == text) << file;
        }
        EXPECT_EQ(Leftovers(disk_.path()), std::vector<std::string>{});
    }
    // What the player told: Ctrl+S and the favourite, the two saves the user
    // asked for; the exit save, the settings and the queue stay silent.
    void ExpectToldOfTheTwoSavesAsked() {
        const auto& notices = p_.fp.dialogs.notices;
        ASSERT_EQ(notices.size(), 2u);
        EXPECT_EQ(notices[0].kind, NoticeKind::Error);
        EXPECT_EQ(notices[0].text, "The playlist could not be saved.\r\r" + saved_);
        EXPECT_EQ(notices[1].kind, NoticeKind::Error);
        EXPECT_EQ(notices[1].text,
                  "Your playlist could not be saved.\r\r"
                  "The title may not have any of the following characters:\r\\ / : ? \" <> |");
    }

    static constexpr int kPlays = 200;
    Tmpfs disk_{"1m"};
    Program p_{disk_.path()};
    std::string track_;
    std::string saved_ = disk_ / "Saved.m3u";
    std::map<std::string, std::string> old_;
};

// No new version fits, whether nothing or a page is left: each save fails at
// once or half-way, and the old file stays.
class FullDisk : public SmallDisk, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FullDisk, KeepsEveryOldFileAndLeavesNothingBehind) {
    Fill(GetParam());
    SaveAs(saved_);
    EXPECT_FALSE(p_.AddFavorite("Mix"));
    p_.Play(track_, kPlays + 1);
    // The writers of the exit save and of the settings report the failure;
    // their callers stay silent.
    EXPECT_FALSE(WritePlaylist(p_.fp.player, AutoPlaylistFile(p_.fp.player), kFormText));
    EXPECT_FALSE(IniFile::Load(disk_ / "Mirvo.ini").Save(disk_ / "Mirvo.ini"));
    p_.app.Shutdown();
    ExpectOldFilesWhole();
    ExpectToldOfTheTwoSavesAsked();
    // The play the disk had no room for waits in memory.
    EXPECT_EQ(p_.scrobbler->Queue().size(), static_cast<std::size_t>(kPlays + 1));

    // With room again every save goes through, the waiting play included.
    std::filesystem::remove(disk_ / "filler");
    p_.fp.dialogs.notices.clear();
    SaveAs(saved_);
    EXPECT_TRUE(p_.AddFavorite("Mix"));
    p_.Play(track_, kPlays + 2);
    p_.app.Shutdown();
    EXPECT_TRUE(p_.fp.dialogs.notices.empty());
    const std::vector<std::string>& entries = p_.Entries();
    EXPECT_TRUE(ReadWholeFile(disk_ / "Playlist.txt") ==
                FormatPlaylist(entries, disk_.path(), kFormText));
    EXPECT_TRUE(ReadWholeFile(saved_) == FormatPlaylist(entries, disk_.path(), kFormM3u));
    EXPECT_TRUE(ReadWholeFile(disk_ / "Favorites/Mix.txt") ==
                FormatPlaylist(entries, disk_ / "Favorites", kFormText));
    const IniFile ini = IniFile::Load(disk_ / "Mirvo.ini");
    EXPECT_EQ(ini.ReadInteger("General", "Volume", 0), 700);
    EXPECT_EQ(ini.ReadString("Custom", "key399", ""), std::string(40, 'v'));
    EXPECT_EQ(QueuedPlays(ReadWholeFile(disk_ / "Scrobbles.txt").value_or("?"), 0, Now()),
              kPlays + 2);
    EXPECT_EQ(Leftovers(disk_.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(NothingOrAPageLeft, FullDisk,
                         ::testing::Values(std::size_t{0}, std::size_t{4096}));

// A folder root cannot write to either: a disk mounted read-only.
TEST_F(SmallDisk, AReadOnlyDiskKeepsEveryFileAndLeavesNothingBehind) {
    ASSERT_TRUE(disk_.MakeReadOnly()) << std::strerror(errno);
    SaveAs(saved_);
    EXPECT_FALSE(p_.AddFavorite("Mix"));
    p_.Play(track_, kPlays + 1);
    EXPECT_FALSE(WritePlaylist(p_.fp.player, AutoPlaylistFile(p_.fp.player), kFormText));
    p_.app.Shutdown();
    ExpectOldFilesWhole();
    ExpectToldOfTheTwoSavesAsked();
    // A start there reads what it finds.
    Program next(disk_.path());
    next.Start();
    EXPECT_EQ(next.Entries().size(), 2000u);
    EXPECT_EQ(next.scrobbler->Queue().size(), static_cast<std::size_t>(kPlays));
    EXPECT_EQ(next.fp.player.engine.Volume, 1000);
}

}  // namespace
}  // namespace mirvo
