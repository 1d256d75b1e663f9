#include "FuzzCheck.h"
#include "tags/ID3v1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirvo::TID3v1 tag;
    ReadTwice(tag, data, size, [](const mirvo::TID3v1& t) {
        return std::vector<std::string>{t.Title(),     t.Artist(),  t.Album(),
                                        t.Year(),      t.Comment(), t.Genre(),
                                        t.ImageLink(), t.Author(),  t.Lyrics()};
    });
    // A buffer never fails to read.
    Require(tag.ReadFromBuffer({data, size}));
    Require(tag.LyricsSize() >= 0 && static_cast<std::size_t>(tag.LyricsSize()) <= size);
    return 0;
}
