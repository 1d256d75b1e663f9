#include <cmath>

#include "FuzzCheck.h"
#include "tags/OggVorbis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirvo::TOggVorbis ogg;
    ReadTwice(ogg, data, size, [](const mirvo::TOggVorbis& o) {
        return std::vector<std::string>{
            o.Title(), o.Artist(),  o.Album(),  o.Composer(),           o.TrackString(),   o.Date(),
            o.Genre(), o.Comment(), o.Vendor(), o.MusicBrainzTrackID(), o.EncoderVersion()};
    });
    bool found = ogg.ReadFromBuffer({data, size});
    Require(found || (ogg.FileSize() == 0 && ogg.Title().empty()));
    Require(ogg.ID3v2Size() >= 0 && ogg.ID3v2Size() <= ogg.FileSize());
    Require(!std::isnan(ogg.Duration()) && ogg.Duration() >= 0);
    (void)ogg.IsValid();
    return 0;
}
