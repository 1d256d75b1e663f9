#include "FuzzCheck.h"
#include "tags/ID3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirvo::TID3v2 tag;
    ReadTwice(tag, data, size, [](const mirvo::TID3v2& t) {
        return std::vector<std::string>{
            t.Title(),     t.Artist(),    t.Album(),    t.TrackString(), t.Year(),
            t.Genre(),     t.Comment(),   t.Composer(), t.Encoder(),     t.Copyright(),
            t.Language(),  t.Link(),      t.SizeText(), t.UFID(),        t.AlbumGain(),
            t.AlbumPeak(), t.TrackGain(), t.TrackPeak()};
    });
    Require(tag.ReadFromBuffer({data, size}) == (size >= 10));
    Require(tag.Size() >= 0 && static_cast<std::size_t>(tag.Size()) <= size);
    return 0;
}
