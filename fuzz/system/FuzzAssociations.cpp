// Any bytes as the user's mimeapps.list and as an earlier desktop entry of
// Mirvo (split where the first byte says): associating makes the type open
// with Mirvo, doing it again changes nothing, and removing it takes that back.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "FuzzRequire.h"
#include "support/Files.h"
#include "system/Associations.h"

namespace {

// One scratch folder per process, in memory where the system has one, removed
// at exit.
const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        pattern += "/mirvo-fuzz-XXXXXX";
        Require(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    // Registered once the name is made, so it runs before the name goes.
    static const int cleanup = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    (void)cleanup;
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirvo;
    if (size < 2) {
        return 0;
    }
    static constexpr std::string_view kExtensions[] = {"mp3", "wav", "ogg", "flac", "m3u", "pls"};
    const std::string_view extension = kExtensions[data[0] % 6];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t split = data[1] * bytes.size() / 255;

    AssociationPlaces places{Folder() + "/applications", Folder() + "/mimeapps.list",
                             "/usr/bin/mirvo"};
    const std::string entry = places.applications + "/mirvo-" + std::string(extension) + ".desktop";
    Require(WriteFileAtomically(places.mimeapps, bytes.substr(0, split)));
    ::mkdir(places.applications.c_str(), 0700);
    Require(WriteFileAtomically(entry, bytes.substr(split)));

    const Settings settings(Folder() + "/mirvo.ini");
    FileAssociations associations(settings, places);
    associations.IsTypeAssociated(extension);
    associations.AssociateType(extension);
    Require(associations.IsTypeAssociated(extension));
    const auto list = ReadWholeFile(places.mimeapps);
    const auto written = ReadWholeFile(entry);
    associations.AssociateType(extension);
    Require(ReadWholeFile(places.mimeapps) == list && ReadWholeFile(entry) == written);
    associations.UnassociateType(extension);
    Require(!associations.IsTypeAssociated(extension) && !ReadWholeFile(entry));
    return 0;
}
