#include "tags/TagFile.h"

#include <gtest/gtest.h>

#include <random>

#include "tags/TagFixtures.h"
#include "tags/TagTestSupport.h"

using mirvo::TagFile;

TEST(TagFile, FileReadsMatchTheBytesWhateverTheOrder) {
    std::mt19937 random(7);
    std::string bytes(30000, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    tagtest::TempDir dir;
    tagfixtures::WriteFile(dir / "data", bytes);
    TagFile file;
    ASSERT_TRUE(file.Open(dir / "data"));
    ASSERT_EQ(file.Size(), 30000);
    std::string got(20000, '\0');
    for (int i = 0; i < 2000; ++i) {
        // Offsets before, inside and past the file; lengths around the window size.
        std::int64_t offset = static_cast<std::int64_t>(random() % 32000) - 1000;
        std::size_t count = random() % (i % 2 ? 20000 : 300);
        std::size_t n = file.ReadAt(offset, got.data(), count);
        std::size_t expected =
            offset < 0 || offset >= 30000 ? 0 : std::min<std::size_t>(count, 30000 - offset);
        ASSERT_EQ(n, expected) << offset << " " << count;
        if (n > 0) {
            ASSERT_EQ(got.substr(0, n), bytes.substr(offset, n)) << offset << " " << count;
        }
    }
    TagFile folder;
    EXPECT_FALSE(folder.Open(dir / "."));
    EXPECT_FALSE(folder.Open(dir / "missing"));
}
