#include "FuzzCheck.h"
#include "tags/FLACfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirvo::TFLACfile flac;
    ReadTwice(flac, data, size, [](const mirvo::TFLACfile& f) {
        std::vector<std::string> texts{f.Vendor()};
        for (std::string_view name : mirvo::TFLACfile::FieldNames) {
            texts.emplace_back(f.Field(name));
        }
        for (const auto& [name, value] : f.ExtraFields()) {
            texts.push_back(name);
            texts.push_back(value);
        }
        return texts;
    });
    bool valid = flac.ReadFromBuffer({data, size});
    Require(valid == flac.IsValid());
    Require(flac.FileLength() == static_cast<std::int64_t>(size));
    Require(flac.AudioOffset() >= 0 && flac.AudioOffset() <= flac.FileLength());
    Require(valid || (flac.Bitrate() == 0 && flac.AudioOffset() == 0));
    return 0;
}
