// Playlist scale against references measured in the same run: loading a
// million-entry "Playlist.txt" against reading and splitting it in plain C++,
// scanning a 100,000-file tree against find, sorting a million paths against
// sort -f, and the list control with a million rows against one with a hundred.
// Prints ratios; the limits are for the reader to compare with.
#include <QApplication>
#include <QPainter>
#include <QWheelEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Entries.h"
#include "playlist/Model.h"
#include "playlist/PlaylistFiles.h"
#include "playlist/RowLook.h"
#include "playlist/Scanning.h"
#include "ui/HoxelListbox.h"
#include "ui/PlaylistRendering.h"

namespace {

using namespace mirvo;
using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return 0;
}

std::string RandomName(std::mt19937& random, std::size_t length) {
    static const char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-";
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
        name += letters[random() % (sizeof letters - 1)];
    }
    return name;
}

// One million paths of 60 bytes in a few thousand folders.
std::vector<std::string> MakePaths(std::size_t count) {
    std::mt19937 random(42);
    std::vector<std::string> folders;
    for (int i = 0; i < 3000; ++i) {
        folders.push_back("/music/" + RandomName(random, 12) + "/" + RandomName(random, 14) + "/");
    }
    std::vector<std::string> paths;
    paths.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string path = folders[random() % folders.size()];
        path += RandomName(random, 60 - path.size() - 4);
        path += ".mp3";
        paths.push_back(std::move(path));
    }
    return paths;
}

void Report(const char* what, double measured, double reference, double limit) {
    std::printf("%-58s %8.3f s  reference %8.3f s  ratio %6.2f  (limit %.2f)\n", what, measured,
                reference, measured / reference, limit);
}

void BenchLoad(const test::TempDir& dir) {
    const std::vector<std::string> paths = MakePaths(1000000);
    {
        std::ofstream out(dir / "Playlist.txt", std::ios::binary);
        for (const std::string& path : paths) {
            out << path << "\r\n";
        }
    }
    const long rssBefore = StatusKb("VmRSS:");
    test::FakePlayer fp(dir.path());
    Player& p = fp.player;
    std::size_t shown = 0;
    const double load = Seconds([&] {
        LoadPlaylistPath(p, AutoPlaylistFile(p), kLoadReplace);
        const int visible = VisibleRowCount(p.ui.view);
        const int count = static_cast<int>(p.playlist.PlaylistEntries.size());
        for (int row = 0; row < visible; ++row) {
            shown += DescribeRow(p.playlist, false, SchemeValues{}, row, false).Text.size();
        }
        p.ui.view.SetListTopRow(count - visible);
        for (int row = count - visible; row < count; ++row) {
            shown += DescribeRow(p.playlist, false, SchemeValues{}, row, false).Text.size();
        }
    });
    const long rssAfter = StatusKb("VmRSS:");
    const double plain = Seconds([&] {
        std::ifstream in(dir / "Playlist.txt", std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(line);
        }
        shown += lines.size();
    });
    std::printf("loaded %zu entries, \"%s\", %zu characters shown\n",
                p.playlist.PlaylistEntries.size(), fp.view.status[1].c_str(), shown);
    Report("load, count and show first and last page of 1,000,000", load, plain, 10.0);
    std::printf("%-58s %8.3f s  (limit 1.000 s)\n", "load time", load);
    std::printf("%-58s %8ld MB (limit 200 MB)\n", "resident memory for the list",
                (rssAfter - rssBefore) / 1024);
}

void BenchScan(const test::TempDir& dir) {
    const std::string root = dir / "tree";
    int made = 0;
    for (int a = 0; a < 20 && made < 100000; ++a) {
        for (int b = 0; b < 50 && made < 100000; ++b) {
            const std::string folder =
                root + "/artist " + std::to_string(a) + "/album " + std::to_string(b);
            std::filesystem::create_directories(folder);
            for (int f = 0; f < 100; ++f, ++made) {
                std::ofstream(folder + "/track " + std::to_string(f) + (f % 10 ? ".mp3" : ".jpg"));
            }
        }
    }
    const std::string find = "find '" + root + "' -type f > /dev/null";
    // Warm the cache for both.
    [[maybe_unused]] int rc = std::system(find.c_str());
    // Best of five each: the machine is shared.
    const auto best = [](const std::function<void()>& work) {
        double fastest = 1e9;
        for (int i = 0; i < 5; ++i) {
            fastest = std::min(fastest, Seconds(work));
        }
        return fastest;
    };
    const double reference = best([&] { rc = std::system(find.c_str()); });
    test::FakePlayer fp(dir.path());
    const double walk = best([&] {
        std::vector<std::string> buffer;
        CollectFolderFiles(fp.player, buffer, root, true);
    });
    const double scan = best([&] { ScanFolder(fp.player, root, true, false, true); });
    Report("walk a tree of 100,000 files vs find -type f", walk, reference, 1.5);
    std::printf("scanned %zu music files of %d\n", fp.player.playlist.PlaylistEntries.size(), made);
    Report("scan (walk, filter, sort, show) vs find -type f", scan, reference, 1.5);
}

void BenchSort(const test::TempDir& dir) {
    std::vector<std::string> paths = MakePaths(1000000);
    {
        std::ofstream out(dir / "paths.txt", std::ios::binary);
        for (const std::string& path : paths) {
            out << path << "\n";
        }
    }
    const std::string sort = "LC_ALL=C sort -f '" + (dir / "paths.txt") + "' > /dev/null";
    [[maybe_unused]] int rc = std::system(sort.c_str());
    const double reference = Seconds([&] { rc = std::system(sort.c_str()); });
    const double ours = Seconds([&] { SortEntries(paths); });
    std::vector<std::string> names = paths;
    const double byName = Seconds([&] { SortByFileName(names); });
    // Equal paths (the same folder added twice) take the exact quicksort.
    std::vector<std::string> twice = MakePaths(1000000);
    for (std::size_t i = 0; i < twice.size(); i += 10) {
        twice[i] = twice[i + 1];
    }
    const double withTies = Seconds([&] { SortEntries(twice); });
    Report("sort 1,000,000 paths vs LC_ALL=C sort -f", ours, reference, 1.0);
    Report("sort 1,000,000 paths, 10% twice, vs LC_ALL=C sort -f", withTies, reference, 1.0);
    Report("sort 1,000,000 paths by file name vs LC_ALL=C sort -f", byName, reference, 1.0);
}

// The slowest of the things a user does to the list, in seconds.
double WorstListOperation(test::FakePlayer& fp, int rows) {
    THoxelListbox list;
    list.resize(400, 600);
    Player& p = fp.player;
    p.playlist.PlaylistEntries = MakePaths(static_cast<std::size_t>(rows));
    list.OnDrawItem = [&](QPainter& painter, int row, const QRect& rect, bool selected) {
        ListScreenDrawItem(painter, p.playlist, p.engine.DeviceReady, list, row, rect, selected,
                           list.height());
    };
    std::vector<int> all(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        all[static_cast<std::size_t>(i)] = i;
    }
    double worst = 0;
    const auto step = [&](const std::function<void()>& work) {
        worst = std::max(worst, Seconds([&] {
                             work();
                             list.grab();
                         }));
    };
    step([&] { list.SetRowCount(rows); });
    step([&] { list.SetSelection(all); });
    step([&] { list.SelectedRows(); });
    for (int i = 0; i < 20; ++i) {
        step([&] {
            QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list.viewport(), &wheel);
        });
    }
    step([&] { list.SetTopRow(rows); });
    step([&] { list.SetSelection({rows / 2}); });
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::TempDir dir;
    BenchLoad(dir);
    BenchSort(dir);
    BenchScan(dir);
    test::FakePlayer small(dir.path());
    test::FakePlayer large(dir.path());
    const double few = WorstListOperation(small, 100);
    const double many = WorstListOperation(large, 1000000);
    std::printf("%-58s %8.3f s  reference %8.3f s  ratio %6.2f\n",
                "slowest list step, 1,000,000 rows vs 100 rows", many, few, many / few);
    std::printf("%-58s %8.1f ms (limit 100 ms)\n", "slowest list step with 1,000,000 rows",
                many * 1000);
    return 0;
}
