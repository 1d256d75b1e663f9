#include "tags/TagLibFile.h"

#include <sys/stat.h>
#include <taglib/apefile.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavpackfile.h>

#include <memory>

namespace mirvo {
namespace {

std::unique_ptr<TagLib::File> OpenContainer(TagLib::IOStream& stream,
                                            TTagLibFile::Container container) {
    // No audio properties: the decoder gives those, and reading them walks the file.
    switch (container) {
        case TTagLibFile::Container::Opus:
            return std::make_unique<TagLib::Ogg::Opus::File>(&stream, false);
        case TTagLibFile::Container::Mp4:
            return std::make_unique<TagLib::MP4::File>(&stream, false);
        case TTagLibFile::Container::WavPack:
            return std::make_unique<TagLib::WavPack::File>(&stream, false);
        case TTagLibFile::Container::Ape:
            return std::make_unique<TagLib::APE::File>(&stream, false);
    }
    return nullptr;
}

}  // namespace

std::optional<TTagLibFile::Container> TTagLibFile::ContainerOf(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    std::string ext(fileName.substr(dot));
    for (char& c : ext) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (ext == ".opus") {
        return Container::Opus;
    }
    if (ext == ".m4a" || ext == ".mp4") {
        return Container::Mp4;
    }
    if (ext == ".wv") {
        return Container::WavPack;
    }
    if (ext == ".ape") {
        return Container::Ape;
    }
    return std::nullopt;
}

void TTagLibFile::ResetData() {
    *this = TTagLibFile();
}

bool TTagLibFile::Exists() const {
    return !(title_.empty() && artist_.empty() && album_.empty() && year_.empty() &&
             track_.empty() && genre_.empty() && comment_.empty());
}

bool TTagLibFile::ReadFromFile(const std::string& fileName) {
    ResetData();
    const std::optional<Container> container = ContainerOf(fileName);
    struct stat st {};
    // A FIFO would block the reader, a folder has nothing to read.
    if (!container || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    TagLib::FileStream stream(fileName.c_str(), true);
    return stream.isOpen() && Read(stream, *container);
}

bool TTagLibFile::ReadFromBuffer(std::span<const std::uint8_t> data, Container container) {
    ResetData();
    TagLib::ByteVectorStream stream(TagLib::ByteVector(reinterpret_cast<const char*>(data.data()),
                                                       static_cast<unsigned int>(data.size())));
    return Read(stream, container);
}

bool TTagLibFile::Read(TagLib::IOStream& stream, Container container) {
    const std::unique_ptr<TagLib::File> file = OpenContainer(stream, container);
    if (file == nullptr || !file->isValid()) {
        return false;
    }
    valid_ = true;
    const TagLib::PropertyMap properties = file->properties();
    const auto field = [&](const char* key) {
        const auto it = properties.find(key);
        return it == properties.end() || it->second.isEmpty() ? std::string()
                                                              : it->second.front().to8Bit(true);
    };
    title_ = field("TITLE");
    artist_ = field("ARTIST");
    album_ = field("ALBUM");
    year_ = field("DATE");
    track_ = field("TRACKNUMBER");
    genre_ = field("GENRE");
    comment_ = field("COMMENT");
    return true;
}

}  // namespace mirvo
