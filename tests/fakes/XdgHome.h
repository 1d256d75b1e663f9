#pragma once
// The user's data and configuration folders moved into fresh temporary
// folders for one test, so that association tests never touch the real ones.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "fakes/TempDir.h"

namespace mirvo::test {

class XdgHome {
  public:
    XdgHome() {
        Replace("XDG_DATA_HOME", data.path(), savedData_);
        Replace("XDG_CONFIG_HOME", config.path(), savedConfig_);
    }
    XdgHome(const XdgHome&) = delete;
    XdgHome& operator=(const XdgHome&) = delete;
    ~XdgHome() {
        Restore("XDG_DATA_HOME", savedData_);
        Restore("XDG_CONFIG_HOME", savedConfig_);
    }

    std::string Applications() const { return data / "applications"; }
    std::string MimeApps() const { return config / "mimeapps.list"; }

    // What xdg-mime names as the default handler, as a desktop without a
    // desktop environment of its own sees it.
    static std::string QueryDefault(const std::string& mimeType) {
        const std::string command =
            "env -u XDG_CURRENT_DESKTOP -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID "
            "-u DESKTOP_SESSION xdg-mime query default " +
            mimeType + " 2>/dev/null";
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) {
                out += buffer;
            }
            ::pclose(pipe);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
            out.pop_back();
        }
        return out;
    }

    TempDir data;
    TempDir config;

  private:
    static void Replace(const char* name, const std::string& value,
                        std::optional<std::string>& saved) {
        if (const char* old = std::getenv(name)) {
            saved = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    static void Restore(const char* name, const std::optional<std::string>& saved) {
        if (saved) {
            ::setenv(name, saved->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    std::optional<std::string> savedData_;
    std::optional<std::string> savedConfig_;
};

}  // namespace mirvo::test
