// FindForward, FindForwardNoCase and ReplaceAllText over 100 MB of text,
// each beside the standard library's way of doing the same in the same run.
// Prints time and the ratio (ours / reference; below 1 is faster).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "support/FastStrings.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace mirvo::FastStrings;

double Seconds(const std::function<void()>& work) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

std::string MakeText(std::size_t size) {
    // Words of paths and titles, the kind of text the player searches.
    static const char* words[] = {"Music", "album", "The", "track", "Live", "remaster",
                                  "2004",  "mp3",   "of",  "Disc",  "%20",  "Various"};
    std::mt19937 random(1);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += words[random() % std::size(words)];
        text += (random() % 5 == 0) ? '/' : ' ';
    }
    text.resize(size);
    return text;
}

void Report(const char* name, double ours, const char* reference, double theirs) {
    std::printf("%-28s %8.3f s   %-34s %8.3f s   ratio %.2f\n", name, ours, reference, theirs,
                ours / theirs);
}

}  // namespace

int main() {
    const std::string text = MakeText(100u << 20);
    volatile std::size_t sink = 0;

    for (const std::string pattern : {"Symphony No. 9", "zz", "Various track"}) {
        std::printf("pattern \"%s\"\n", pattern.c_str());
        // Count every occurrence, so the whole text is scanned.
        const double ours = Seconds([&] {
            std::size_t pos = 1;
            std::size_t count = 0;
            while ((pos = FindForward(text.data(), pattern.data(), text.size(), pos,
                                      pattern.size())) != 0) {
                ++count;
                ++pos;
            }
            sink = count;
        });
        const double mem = Seconds([&] {
            const char* at = text.data();
            const char* end = text.data() + text.size();
            std::size_t count = 0;
            while (const void* hit = memmem(at, end - at, pattern.data(), pattern.size())) {
                ++count;
                at = static_cast<const char*>(hit) + 1;
            }
            sink = count;
        });
        const double find = Seconds([&] {
            std::size_t count = 0;
            for (auto pos = text.find(pattern); pos != std::string::npos;
                 pos = text.find(pattern, pos + 1)) {
                ++count;
            }
            sink = count;
        });
        Report("  FindForward", ours, "memmem", mem);
        Report("  FindForward", ours, "std::string::find", find);

        const double noCase = Seconds([&] {
            std::size_t pos = 1;
            std::size_t count = 0;
            while ((pos = FindForwardNoCase(text.data(), pattern.data(), text.size(), pos,
                                            pattern.size())) != 0) {
                ++count;
                ++pos;
            }
            sink = count;
        });
        const double lowerThenFind = Seconds([&] {
            std::string lower = text;
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::string lowerPattern = pattern;
            for (char& c : lowerPattern) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::size_t count = 0;
            for (auto pos = lower.find(lowerPattern); pos != std::string::npos;
                 pos = lower.find(lowerPattern, pos + 1)) {
                ++count;
            }
            sink = count;
        });
        Report("  FindForwardNoCase", noCase, "lower-case copy + find", lowerThenFind);
    }

    std::printf("replace \"%%20\" by \" \"\n");
    const double replace = Seconds([&] {
        int counter = 0;
        sink = ReplaceAllText(text, "%20", " ", counter, true).size();
    });
    const double naive = Seconds([&] {
        std::string result;
        result.reserve(text.size());
        std::size_t pos = 0;
        for (std::size_t hit; (hit = text.find("%20", pos)) != std::string::npos; pos = hit + 3) {
            result.append(text, pos, hit - pos).append(" ");
        }
        result.append(text, pos);
        sink = result.size();
    });
    Report("  ReplaceAllText", replace, "find + append", naive);
    // The program's own callers all ignore case.
    const double replaceNoCase = Seconds([&] {
        int counter = 0;
        sink = ReplaceAllText(text, "%20", " ", counter, false).size();
    });
    Report("  ReplaceAllText, no case", replaceNoCase, "find + append", naive);
    return sink == 0xFFFFFFFF ? 1 : 0;
}
