#include "system/Associations.h"

#include <spawn.h>
#include <sys/wait.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "support/Files.h"
#include "support/Text.h"
#include "tags/TagText.h"

extern char** environ;

namespace mirvo {
namespace {

constexpr std::string_view kDefaultsGroup = "[Default Applications]";
constexpr std::string_view kEntryGroup = "[Desktop Entry]";
constexpr std::string_view kBackupPrefix = "X-Mirvo-Previous-Default-";

constexpr std::string_view kBlanks = " \t\r";

std::string DesktopId(std::string_view extension) {
    return "mirvo-" + std::string(extension) + ".desktop";
}

// Desktop entry keys allow only letters, digits and "-".
std::string BackupKey(std::string_view mimeType) {
    std::string key(kBackupPrefix);
    for (const char c : mimeType) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        key += plain ? c : '-';
    }
    return key;
}

std::string KeyFileEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '\\') {
            escaped += '\\';
        }
    }
    return escaped;
}

// The Exec value that starts `executable` with one file; nothing for a path
// the desktop entry format cannot carry.
std::optional<std::string> ExecLine(const std::string& executable) {
    if (executable.empty() || executable.front() != '/' ||
        std::any_of(executable.begin(), executable.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        return std::nullopt;
    }
    // Quoted only when needed: xdg-mime takes the first word as it stands.
    const bool quote = executable.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string word;
    for (const char c : executable) {
        if (c == '%') {
            word += "%%";
        } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            word += '\\';
            word += c;
        } else {
            word += c;
        }
    }
    if (quote) {
        word = '"' + word + '"';
    }
    // The entry's own escaping of backslashes comes on top of the quoting.
    return KeyFileEscaped(word) + " %f";
}

// The desktop ids of a mimeapps.list value.
std::vector<std::string_view> ListItems(std::string_view value) {
    std::vector<std::string_view> items;
    while (!value.empty()) {
        const auto end = value.find(';');
        if (const std::string_view item = Trim(value.substr(0, end), kBlanks); !item.empty()) {
            items.push_back(item);
        }
        value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
    }
    return items;
}

bool ListStartsWith(std::string_view value, std::string_view id) {
    const auto items = ListItems(value);
    return !items.empty() && items.front() == id;
}

bool ListHasId(std::string_view value, std::string_view id) {
    const auto items = ListItems(value);
    return std::find(items.begin(), items.end(), id) != items.end();
}

// `value` without `id` in its list.
std::string WithoutId(std::string_view value, std::string_view id) {
    std::string rest;
    for (const std::string_view item : ListItems(value)) {
        if (item != id) {
            rest += std::string(item) + ';';
        }
    }
    return rest;
}

// A key file as its lines, so that every line not edited stays as it was.
class KeyFileLines {
  public:
    explicit KeyFileLines(std::string_view text) {
        while (!text.empty()) {
            const auto end = text.find('\n');
            lines_.emplace_back(text.substr(0, end));
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
    }

    bool Changed() const { return changed_; }

    // Every line ends with a line feed, the last one too.
    std::string Text() const {
        std::string text;
        for (const std::string& line : lines_) {
            text += line;
            text += '\n';
        }
        return text;
    }

    // The value of the first `key` line in any `group` section.
    std::optional<std::string> Get(std::string_view group, std::string_view key) const {
        std::optional<std::string> value;
        Keys(group, [&](std::size_t, std::string_view k, std::string_view v) {
            if (k == key) {
                value = std::string(v);
            }
            return value.has_value();
        });
        return value;
    }

    void Set(std::string_view group, std::string_view key, const std::string& value) {
        const std::string line = std::string(key) + '=' + value;
        changed_ = true;
        if (const auto at = Find(group, key)) {
            lines_[*at] = line;
            return;
        }
        const auto header = std::find_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
            return Trim(l, kBlanks) == group;
        });
        if (header == lines_.end()) {
            if (!lines_.empty() && !Trim(lines_.back(), kBlanks).empty()) {
                lines_.emplace_back();
            }
            lines_.emplace_back(group);
            lines_.push_back(line);
            return;
        }
        // After the section's last key line, before the blank lines that part it from the next.
        auto end = header + 1;
        auto insert = end;
        for (; end != lines_.end() && !Trim(*end, kBlanks).starts_with('['); ++end) {
            if (!Trim(*end, kBlanks).empty()) {
                insert = end + 1;
            }
        }
        lines_.insert(insert, line);
    }

    void Remove(std::string_view group, std::string_view key) {
        if (const auto at = Find(group, key)) {
            changed_ = true;
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
        }
    }

    // Every key of the `group` sections that starts with `prefix`, with its value.
    std::map<std::string, std::string> WithPrefix(std::string_view group,
                                                  std::string_view prefix) const {
        std::map<std::string, std::string> found;
        Keys(group, [&](std::size_t, std::string_view key, std::string_view value) {
            if (key.starts_with(prefix)) {
                found.try_emplace(std::string(key), value);
            }
            return false;
        });
        return found;
    }

  private:
    // Calls `visit(line index, key, value)` for each key line of the `group`
    // sections until it returns true.
    template <class Visit>
    void Keys(std::string_view group, Visit visit) const {
        bool inGroup = false;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const std::string_view trimmed = Trim(lines_[i], kBlanks);
            const auto eq = trimmed.find('=');
            if (trimmed.starts_with('[')) {
                inGroup = trimmed == group;
            } else if (inGroup && !trimmed.starts_with('#') && eq != std::string_view::npos &&
                       visit(i, Trim(trimmed.substr(0, eq), kBlanks),
                             Trim(trimmed.substr(eq + 1), kBlanks))) {
                return;
            }
        }
    }

    std::optional<std::size_t> Find(std::string_view group, std::string_view key) const {
        std::optional<std::size_t> at;
        Keys(group, [&](std::size_t i, std::string_view k, std::string_view) {
            if (k == key) {
                at = i;
            }
            return at.has_value();
        });
        return at;
    }

    std::vector<std::string> lines_;
    bool changed_ = false;
};

std::string EnvironmentFolder(const char* variable, const char* belowHome) {
    // Relative values are invalid by the base directory rules and are ignored.
    if (const char* value = std::getenv(variable); value && *value == '/') {
        return value;
    }
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return JoinPath(home, belowHome);
    }
    return {};
}

// The user's mimeapps.list when it can be changed: its text, or nothing when
// it is there but unreadable or read-only.
std::optional<std::string> ReadMimeApps(const std::string& path) {
    if (path.empty() || IsReadOnlyFile(path)) {
        return std::nullopt;
    }
    FileRead read = ReadFileText(path);
    if (read.status == FileRead::Failed) {
        return std::nullopt;
    }
    return std::move(read.text);
}

bool WriteCreatingFolder(const std::string& path, const std::string& text) {
    std::error_code ignored;
    std::filesystem::create_directories(FolderOf(path), ignored);
    return WriteFileAtomically(path, text);
}

}  // namespace

AssociationPlaces AssociationPlaces::FromEnvironment() {
    AssociationPlaces places;
    if (const std::string data = EnvironmentFolder("XDG_DATA_HOME", ".local/share");
        !data.empty()) {
        places.applications = JoinPath(data, "applications");
    }
    if (const std::string config = EnvironmentFolder("XDG_CONFIG_HOME", ".config");
        !config.empty()) {
        places.mimeapps = JoinPath(config, "mimeapps.list");
    }
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        places.executable = exe.string();
    }
    return places;
}

const std::vector<std::string_view>& MimeTypesOf(std::string_view extension) {
    static const std::map<std::string_view, std::vector<std::string_view>> kTypes = {
        {"mp3", {"audio/mpeg"}},
        {"wav", {"audio/x-wav", "audio/wav"}},
        {"ogg", {"audio/ogg", "audio/x-vorbis+ogg"}},
        {"flac", {"audio/flac"}},
        {"opus", {"audio/x-opus+ogg", "audio/opus"}},
        {"m4a", {"audio/mp4", "audio/x-m4a"}},
        {"wv", {"audio/x-wavpack"}},
        {"ape", {"audio/x-ape"}},
        {"m3u", {"audio/x-mpegurl"}},
        {"pls", {"audio/x-scpls"}},
    };
    static const std::vector<std::string_view> kNone;
    const auto it = kTypes.find(extension);
    return it == kTypes.end() ? kNone : it->second;
}

std::string FileAssociations::EntryPath(std::string_view extension) const {
    return JoinPath(places_.applications, DesktopId(extension));
}

void FileAssociations::AssociateType(std::string_view extension) {
    const auto& types = MimeTypesOf(extension);
    const std::optional<std::string> exec = ExecLine(places_.executable);
    std::optional<std::string> mimeText = ReadMimeApps(places_.mimeapps);
    if (!types.empty() && exec && mimeText && !places_.applications.empty()) {
        const std::string id = DesktopId(extension);
        const std::string path = EntryPath(extension);
        KeyFileLines mimeapps(*mimeText);
        // Saved defaults of an earlier association that still holds.
        const std::optional<std::string> oldEntry = ReadWholeFile(path);
        const auto saved =
            KeyFileLines(oldEntry.value_or("")).WithPrefix(kEntryGroup, kBackupPrefix);

        std::string mimeTypes;
        std::string backups;
        for (const std::string_view type : types) {
            mimeTypes += std::string(type) + ';';
            const std::optional<std::string> current = mimeapps.Get(kDefaultsGroup, type);
            const std::string key = BackupKey(type);
            std::optional<std::string> before;
            if (current && ListStartsWith(*current, id)) {
                // Ours already: the handler from before is the one saved then.
                if (const auto it = saved.find(key); it != saved.end()) {
                    before = it->second;
                }
            } else if (current) {
                // As it was, so that removing the association gives the line back unchanged.
                before = ListHasId(*current, id) ? WithoutId(*current, id) : *current;
            }
            if (before) {
                backups += key + '=' + *before + '\n';
            }
            mimeapps.Set(kDefaultsGroup, type, id + ';' + WithoutId(current.value_or(""), id));
        }
        std::string entry(kEntryGroup);
        entry += "\nType=Application\nName=Mirvo\n";
        entry += "Comment=" + tagtext::AsciiUpper(extension) + " - Mirvo File\n";
        entry += "Exec=" + *exec + "\n";
        entry += "TryExec=" + KeyFileEscaped(places_.executable) + "\n";
        entry += "Icon=mirvo\n";
        entry += "MimeType=" + mimeTypes + "\n";
        entry += "NoDisplay=true\nTerminal=false\n";
        entry += backups;
        // The entry first: a default naming an entry that is not there would open nothing.
        if (WriteCreatingFolder(path, entry) && mimeapps.Changed()) {
            WriteCreatingFolder(places_.mimeapps, mimeapps.Text());
        }
    }
    settings_.WriteAssociationFlag(extension, true);
}

void FileAssociations::UnassociateType(std::string_view extension) {
    const auto& types = MimeTypesOf(extension);
    std::optional<std::string> mimeText = ReadMimeApps(places_.mimeapps);
    if (!types.empty() && mimeText && !places_.applications.empty()) {
        const std::string id = DesktopId(extension);
        const std::string path = EntryPath(extension);
        KeyFileLines mimeapps(*mimeText);
        const auto saved =
            KeyFileLines(ReadWholeFile(path).value_or("")).WithPrefix(kEntryGroup, kBackupPrefix);
        for (const std::string_view type : types) {
            const std::optional<std::string> current = mimeapps.Get(kDefaultsGroup, type);
            if (!current) {
                continue;
            }
            if (!ListStartsWith(*current, id)) {
                // Another handler took the type since: leave its choice, drop our name.
                if (ListHasId(*current, id)) {
                    mimeapps.Set(kDefaultsGroup, type, WithoutId(*current, id));
                }
            } else if (const auto it = saved.find(BackupKey(type)); it != saved.end()) {
                mimeapps.Set(kDefaultsGroup, type, it->second);
            } else {
                mimeapps.Remove(kDefaultsGroup, type);
            }
        }
        // The entry keeps the saved defaults until the list no longer needs them.
        if (!mimeapps.Changed() || WriteCreatingFolder(places_.mimeapps, mimeapps.Text())) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
    settings_.WriteAssociationFlag(extension, false);
}

bool FileAssociations::IsTypeAssociated(std::string_view extension) const {
    const auto& types = MimeTypesOf(extension);
    const std::optional<std::string> exec = ExecLine(places_.executable);
    if (types.empty() || !exec || places_.applications.empty() || places_.mimeapps.empty()) {
        return false;
    }
    const std::optional<std::string> entry = ReadWholeFile(EntryPath(extension));
    if (!entry || KeyFileLines(*entry).Get(kEntryGroup, "Exec") != *exec) {
        return false;
    }
    const KeyFileLines mimeapps(ReadWholeFile(places_.mimeapps).value_or(""));
    const std::string id = DesktopId(extension);
    return std::all_of(types.begin(), types.end(), [&](std::string_view type) {
        const auto current = mimeapps.Get(kDefaultsGroup, type);
        return current && ListStartsWith(*current, id);
    });
}

void FileAssociations::NotifyChanged() const {
    std::error_code error;
    if (places_.applications.empty() ||
        !std::filesystem::is_directory(places_.applications, error)) {
        return;
    }
    const char* tool = "update-desktop-database";
    std::string quiet = "-q";
    std::string folder = places_.applications;
    char* argv[] = {const_cast<char*>(tool), quiet.data(), folder.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, tool, nullptr, nullptr, argv, environ) != 0) {
        return;  // not installed: nothing keeps a cache to rebuild
    }
    // Reaped elsewhere: a large applications folder takes the tool seconds.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

void ClaimAssociationsAtStart(const Settings& settings, bool claim) {
    if (!claim) {
        return;
    }
    FileAssociations associations(settings, AssociationPlaces::FromEnvironment());
    for (const std::string_view extension : {"mp3", "wav", "ogg"}) {
        if (settings.ReadAssociationFlag(extension) && !associations.IsTypeAssociated(extension)) {
            associations.AssociateType(extension);
        }
    }
}

}  // namespace mirvo
