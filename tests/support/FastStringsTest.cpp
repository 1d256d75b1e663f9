#include "support/FastStrings.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>

namespace mirvo::FastStrings {
namespace {

std::size_t Forward(std::string_view s, std::string_view p, std::size_t k = 1) {
    return FindForward(s.data(), p.data(), s.size(), k, p.size());
}
std::size_t ForwardNoCase(std::string_view s, std::string_view p, std::size_t k = 1) {
    return FindForwardNoCase(s.data(), p.data(), s.size(), k, p.size());
}
std::size_t Backward(std::string_view s, std::string_view p, std::size_t k) {
    return FindBackward(s.data(), p.data(), s.size(), k, p.size());
}

TEST(FastStrings, FindForwardHonoursTheStartPosition) {
    EXPECT_EQ(Forward("xxab", "ab", 1), 3u);
    EXPECT_EQ(Forward("xxab", "ab", 3), 3u);
    EXPECT_EQ(Forward("xxab", "ab", 4), 0u);
    EXPECT_EQ(Forward("xxab", "ab", 99), 0u);
    EXPECT_EQ(Forward("ab", "abc"), 0u);
    EXPECT_EQ(Forward("abc", ""), 0u);
    EXPECT_EQ(Forward("aaa", "a", 2), 2u);
    EXPECT_THROW(Forward("abc", "a", 0), std::logic_error);
}

TEST(FastStrings, NoCaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(ForwardNoCase("Music", "MUSIC"), 1u);
    EXPECT_EQ(ForwardNoCase("the mUsIc box", "MUSIC"), 5u);
    // UTF-8 bytes are compared as they are: é and É differ.
    EXPECT_EQ(ForwardNoCase("caf\xc3\xa9", "CAF\xc3\x89"), 0u);
    EXPECT_EQ(ForwardNoCase("caf\xc3\xa9", "CAF\xc3\xa9"), 1u);
    const auto& upper = UpperCaseTable();
    EXPECT_EQ(upper['a'], 'A');
    EXPECT_EQ(upper['z'], 'Z');
    EXPECT_EQ(upper['['], '[');
    EXPECT_EQ(upper[0xE9], 0xE9);
}

TEST(FastStrings, FindBackwardStartsAtOrBeforeTheStart) {
    EXPECT_EQ(Backward("abca", "a", 0), 4u);
    EXPECT_EQ(Backward("abca", "a", 3), 1u);
    EXPECT_EQ(Backward("abcabc", "bc", 4), 2u);
    EXPECT_EQ(Backward("abcabc", "bc", 0), 5u);
    EXPECT_EQ(Backward("abc", "abcd", 0), 0u);
    EXPECT_EQ(FindBackwardNoCase("xMusic", "music", 6, 0, 5), 2u);
}

TEST(FastStrings, FindTextDispatches) {
    EXPECT_EQ(FindText("b", "abab", true, true, 1), 2u);
    EXPECT_EQ(FindText("B", "abab", true, true, 1), 0u);
    EXPECT_EQ(FindText("B", "abab", false, true, 1), 2u);
    EXPECT_EQ(FindText("B", "abab", false, false, 0), 4u);
}

TEST(FastStrings, SkipTableRejectsAnEmptyPattern) {
    SkipTable table;
    try {
        BuildSkipTable("", 0, table);
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "BufferLen is 0");
    }
    BuildSkipTable("abca", 4, table);
    EXPECT_EQ(table['a'], 3);  // the later 'a' at index 0 is the only one before the end
    EXPECT_EQ(table['b'], 2);
    EXPECT_EQ(table['c'], 1);
    EXPECT_EQ(table['z'], 4);
}

TEST(FastStrings, ReplaceAllCountsAndIgnoresCase) {
    int counter = 0;
    EXPECT_EQ(ReplaceAllText("a%20b%20c", "%20", " ", counter, false), "a b c");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(ReplaceAllText("no underscores", "_", " ", counter, false), "no underscores");
    EXPECT_EQ(counter, 2);
    // Removing leaves the counter alone.
    EXPECT_EQ(ReplaceAllText("-6.5 DB", " dB", "", counter, false), "-6.5");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(ReplaceAllText("-6.5 DB", " dB", "", counter, true), "-6.5 DB");
    // Occurrences never overlap.
    EXPECT_EQ(ReplaceAllText("a    b", "  ", " ", counter, false), "a  b");
    EXPECT_EQ(ReplaceAllText("", "x", "y", counter, false), "");
    EXPECT_EQ(ReplaceAllText("abc", "", "y", counter, false), "abc");
    // Zero bytes are text like any other.
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(ReplaceAllText(withNul, std::string_view("\0", 1), " ", counter, false), "a b");
    // Growing replacements past the first reservation.
    EXPECT_EQ(ReplaceAllText("xxxx", "x", "long", counter, false), "longlonglonglong");
}

// Every routine agrees with a plain reference on random texts over a small alphabet.
TEST(FastStrings, AgreesWithReferenceOnRandomTexts) {
    std::mt19937 random(7);
    const std::string alphabet = "aAbB";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 40, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        std::string pattern(1 + random() % 4, ' ');
        for (char& c : pattern)
            c = alphabet[random() % alphabet.size()];
        const std::size_t start = 1 + random() % (text.size() + 2);

        const std::size_t expected =
            start - 1 <= text.size() ? text.find(pattern, start - 1) : std::string::npos;
        EXPECT_EQ(Forward(text, pattern, start), expected == std::string::npos ? 0 : expected + 1);

        std::string upperText = text, upperPattern = pattern;
        for (char& c : upperText)
            c = static_cast<char>(UpperCaseTable()[static_cast<unsigned char>(c)]);
        for (char& c : upperPattern)
            c = static_cast<char>(UpperCaseTable()[static_cast<unsigned char>(c)]);
        const std::size_t expectedNoCase =
            start - 1 <= text.size() ? upperText.find(upperPattern, start - 1) : std::string::npos;
        EXPECT_EQ(ForwardNoCase(text, pattern, start),
                  expectedNoCase == std::string::npos ? 0 : expectedNoCase + 1);

        const std::size_t back = Backward(text, pattern, start);
        const std::size_t rfind =
            text.size() < pattern.size()
                ? std::string::npos
                : text.rfind(pattern,
                             start + pattern.size() > text.size() ? text.size() : start - 1);
        EXPECT_EQ(back, rfind == std::string::npos ? 0 : rfind + 1)
            << text << " " << pattern << " " << start;

        int counter = 0;
        std::string replaced;
        std::size_t pos = 0, count = 0;
        for (std::size_t hit; (hit = text.find(pattern, pos)) != std::string::npos;
             pos = hit + pattern.size(), ++count) {
            replaced += text.substr(pos, hit - pos) + "<>";
        }
        replaced += text.substr(pos);
        EXPECT_EQ(ReplaceAllText(text, pattern, "<>", counter, true), replaced);
        EXPECT_EQ(counter, static_cast<int>(count));
    }
}

}  // namespace
}  // namespace mirvo::FastStrings
