#pragma once
// A real icecast2 on 127.0.0.1, on a port of its own, fed by ezstream from
// files the test made: each mount plays its file in a loop, with the title
// ezstream takes from the file's tags. Stopped and removed with the object.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "fakes/IcyServer.h"
#include "fakes/TempDir.h"

extern char** environ;

namespace mirvo::test {

class Icecast {
  public:
    struct Mount {
        std::string path;    // "/radio.mp3"
        std::string file;    // what ezstream sends
        std::string format;  // "MP3" or "Ogg"
        std::string name;    // icy-name
        int bitrate = 128;
    };

    explicit Icecast(const std::vector<Mount>& mounts) {
        port_ = IcyServer::ClosedPort();
        // icecast2 leaves root for nobody; its folder must be nobody's too.
        Write("icecast.xml",
              "<icecast><limits><clients>20</clients><sources>8</sources>"
              "<burst-size>65536</burst-size><source-timeout>10</source-timeout></limits>"
              "<authentication><source-password>hackme</source-password>"
              "<admin-user>admin</admin-user><admin-password>hackme</admin-password>"
              "</authentication><hostname>127.0.0.1</hostname><location>here</location>"
              "<admin>nobody@localhost</admin><listen-socket><port>" +
                  std::to_string(port_) +
                  "</port><bind-address>127.0.0.1</bind-address></listen-socket>"
                  "<paths><basedir>" +
                  dir_.path() + "</basedir><logdir>" + dir_.path() +
                  "</logdir><webroot>/usr/share/icecast2/web</webroot>"
                  "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
                  "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                  "<loglevel>2</loglevel></logging><security><chroot>0</chroot>" +
                  (::geteuid() == 0 ? "<changeowner><user>nobody</user><group>nogroup</group>"
                                      "</changeowner>"
                                    : "") +
                  "</security></icecast>");
        if (::geteuid() == 0) {
            [[maybe_unused]] const int ignored =
                std::system(("chown -R nobody:nogroup " + dir_.path()).c_str());
        }
        Spawn({"icecast2", "-c", dir_ / "icecast.xml"});
        for (int i = 0; i < 200 && !Answers(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        int n = 0;
        for (const Mount& m : mounts) {
            const std::string list = Write("list" + std::to_string(n) + ".m3u", m.file + "\n");
            const std::string config =
                Write("ezstream" + std::to_string(n) + ".xml",
                      "<ezstream><servers><server><hostname>127.0.0.1</hostname><port>" +
                          std::to_string(port_) +
                          "</port><password>hackme</password><tls>none</tls></server></servers>"
                          "<streams><stream><mountpoint>" +
                          m.path + "</mountpoint><format>" + m.format + "</format><stream_name>" +
                          m.name + "</stream_name><stream_bitrate>" + std::to_string(m.bitrate) +
                          "</stream_bitrate><stream_samplerate>44100</stream_samplerate>"
                          "<stream_channels>2</stream_channels></stream></streams>"
                          "<intakes><intake><type>playlist</type><filename>" +
                          list +
                          "</filename></intake></intakes>"
                          "<metadata><format_str>@a@ - @t@</format_str></metadata></ezstream>");
            ::chmod(config.c_str(), 0600);  // ezstream refuses a config others can read
            sources_.push_back(config);
            ++n;
        }
        StartSources();
    }
    ~Icecast() {
        for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
            ::kill(*it, SIGTERM);
            int status = 0;
            ::waitpid(*it, &status, 0);
        }
    }
    Icecast(const Icecast&) = delete;
    Icecast& operator=(const Icecast&) = delete;

    // The sources go, as when an encoder fails: their mounts and listeners end.
    void StopSources() {
        for (const pid_t pid : sourcePids_) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
                std::erase(children_, pid);
            }
        }
        sourcePids_.clear();
    }
    void StartSources() {
        sourcePids_.clear();
        for (const std::string& config : sources_) {
            sourcePids_.push_back(Spawn({"ezstream", "-c", config}));
        }
    }

    std::string Url(const std::string& mount) const {
        return "http://127.0.0.1:" + std::to_string(port_) + mount;
    }
    // Whether the mount answers with a stream, asked again for up to 30 s
    // (ezstream needs a moment to log in, and one that gave up on a busy
    // machine is started again).
    bool WaitForMount(const std::string& mount) {
        for (int i = 0; i < 1200; ++i) {
            if (MountAnswers(mount)) {
                return true;
            }
            RestartEndedSources();
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        // What the server and its sources said, for whoever reads the failure.
        for (const char* log : {"icecast2.out", "ezstream.out", "error.log"}) {
            std::ifstream in(dir_ / log);
            std::fprintf(stderr, "--- %s\n%s\n", log,
                         std::string((std::istreambuf_iterator<char>(in)), {}).c_str());
        }
        return false;
    }

  private:
    void RestartEndedSources() {
        for (std::size_t i = 0; i < sourcePids_.size(); ++i) {
            pid_t& pid = sourcePids_[i];
            if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid) {
                std::erase(children_, pid);
                pid = Spawn({"ezstream", "-c", sources_[i]});
            }
        }
    }
    int Dial() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    bool Answers() const {
        const int fd = Dial();
        ::close(fd);
        return fd >= 0;
    }
    bool MountAnswers(const std::string& mount) const {
        const int fd = Dial();
        if (fd < 0) {
            return false;
        }
        const std::string request = "GET " + mount + " HTTP/1.0\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char answer[16] = {};
        timeval wait{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const ssize_t n = ::recv(fd, answer, sizeof answer - 1, MSG_WAITALL);
        ::close(fd);
        return n > 12 && std::string(answer).find(" 200") != std::string::npos;
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir_.Write(name, text);
        return path;
    }
    pid_t Spawn(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string log = dir_ / (std::string(args[0]) + ".out");
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            children_.push_back(pid);
        } else {
            pid = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    TempDir dir_;
    int port_ = 0;
    std::vector<pid_t> children_;
    std::vector<std::string> sources_;  // ezstream's configs, one per mount
    std::vector<pid_t> sourcePids_;     // parallel to sources_; 0 when none runs
};

}  // namespace mirvo::test
