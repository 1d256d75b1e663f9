#pragma once
// Desktop services through Qt: the freedesktop trash, the file manager, the
// clipboard, switching the computer off.
#include <string>

#include "app/Interfaces.h"

namespace mirvo {

class QtDesktop final : public DesktopServices {
  public:
    // `powerBus`: the address of the bus logind is asked on; empty, the system bus.
    explicit QtDesktop(std::string powerBus = {}) : powerBus_(std::move(powerBus)) {}

    bool MoveToTrash(const std::string& path) override;
    bool OpenFolder(const std::string& folder) override;
    bool OpenDocument(const std::string& path) override;
    bool OpenAddress(const std::string& url) override;
    bool ShowItemProperties(const std::string& path) override;
    void SetClipboardText(const std::string& text) override;
    std::string ClipboardText() override;
    // logind's PowerOff; a refusal is only logged.
    void ShutdownComputer() override;

  private:
    std::string powerBus_;
};

}  // namespace mirvo
