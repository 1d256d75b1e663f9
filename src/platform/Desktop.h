#pragma once
// Desktop services through Qt: the freedesktop trash, the file manager, the clipboard.
#include "app/Interfaces.h"

namespace mirvo {

class QtDesktop final : public DesktopServices {
  public:
    bool MoveToTrash(const std::string& path) override;
    bool OpenFolder(const std::string& folder) override;
    bool OpenDocument(const std::string& path) override;
    bool OpenAddress(const std::string& url) override;
    bool ShowItemProperties(const std::string& path) override;
    void SetClipboardText(const std::string& text) override;
    std::string ClipboardText() override;
};

// Until the X11 key grabs exist, every registration fails as if another
// program held the key.
class NoHotKeys final : public HotKeyRegistrar {
  public:
    bool RegisterHotKey(const HotKey&) override { return false; }
    void UnregisterHotKey(int) override {}
};

}  // namespace mirvo
