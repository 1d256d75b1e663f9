#pragma once
// Desktop services through Qt: the freedesktop trash, the file manager, the
// clipboard, switching the computer off.
#include <QObject>
#include <string>

#include "player/Interfaces.h"

namespace mirvo {

class QtDesktop final : public DesktopServices {
  public:
    // `powerBus`: the address of the bus logind is asked on; empty, the system bus.
    explicit QtDesktop(std::string powerBus = {}) : powerBus_(std::move(powerBus)) {}
    // Openers still running are left to themselves, unheard.
    ~QtDesktop() override;

    bool MoveToTrash(const std::string& path) override;
    // Through xdg-open, whose answer tells whether a program took it.
    void OpenFolder(const std::string& folder, std::function<void()> failed) override;
    void OpenDocument(const std::string& path, std::function<void()> failed) override;
    bool OpenAddress(const std::string& url) override;
    bool ShowItemProperties(const std::string& path) override;
    void SetClipboardText(const std::string& text) override;
    std::string ClipboardText() override;
    // logind's PowerOff.
    void ShutdownComputer(std::function<void(const std::string& reason)> refused) override;

  private:
    void Open(const std::string& path, std::function<void()> failed);

    std::string powerBus_;
    // Owns the running openers.
    QObject openers_;
};

}  // namespace mirvo
