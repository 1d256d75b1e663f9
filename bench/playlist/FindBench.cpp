// Find as you type over 1,000,000 entries: each keystroke's filter beside a
// plain case-insensitive search (lower-case the text, std::string::find) over
// the same texts in the same run. Prints times and ratios; the goal is that a
// keystroke's filter stays under 100 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "playlist/Find.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t PlainSearch(const std::vector<std::string>& entries, std::string query) {
    std::transform(query.begin(), query.end(), query.begin(), ::tolower);
    std::size_t found = 0;
    std::string lower;
    for (const std::string& e : entries) {
        lower.assign(e);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        found += lower.find(query) != std::string::npos;
    }
    return found;
}

}  // namespace

int main() {
    std::mt19937 random(1);
    const char* words[] = {"Rock", "Jazz",  "Live",  "Best Of", "Remaster", "Disc 1",
                           "Bach", "Queen", "Miles", "Nirvana", "Abba",     "Clash"};
    std::vector<std::string> entries;
    entries.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) {
        entries.push_back("/home/user/Music/" + std::string(words[random() % 12]) + "/" +
                          words[random() % 12] + " - " + std::to_string(i) + " " +
                          words[random() % 12] + ".mp3");
    }
    mirvo::FindFilter filter;
    double worst = 0;
    std::string typed;
    std::printf("1,000,000 entries\n");
    for (const char c : std::string("nirvx")) {
        typed += c;
        const auto start = Clock::now();
        const std::size_t rows = filter.Filter(entries, typed).size();
        const double ms = Ms(start);
        const auto plainStart = Clock::now();
        const std::size_t plainRows = PlainSearch(entries, typed);
        const double plain = Ms(plainStart);
        worst = std::max(worst, ms);
        std::printf(
            "typed \"%s\": %zu rows in %.1f ms; plain search %zu rows in %.1f ms; ratio %.2f\n",
            typed.c_str(), rows, ms, plainRows, plain, ms / plain);
    }
    // A text found nowhere, typed afresh: every entry is searched to its end.
    mirvo::FindFilter fresh;
    const auto start = Clock::now();
    fresh.Filter(entries, "zqx");
    const double miss = Ms(start);
    const auto plainStart = Clock::now();
    PlainSearch(entries, "zqx");
    const double plainMiss = Ms(plainStart);
    worst = std::max(worst, miss);
    std::printf("\"zqx\" afresh (no match): %.1f ms; plain search %.1f ms; ratio %.2f\n", miss,
                plainMiss, miss / plainMiss);
    std::printf("slowest keystroke %.1f ms, ratio to the 100 ms goal %.2f\n", worst, worst / 100);
    return 0;
}
