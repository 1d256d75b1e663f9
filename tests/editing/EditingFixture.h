#pragma once
// A player on fakes whose trash really moves files, with a list of entries.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fakes/FakeServices.h"
#include "fakes/TempDir.h"
#include "playlist/Model.h"

namespace mirvo::test {

class TrashingDesktop : public FakeDesktop {
  public:
    bool MoveToTrash(const std::string& path) override {
        trashed.push_back(path);
        if (!trashSucceeds || trash.empty()) {
            return false;
        }
        std::error_code error;
        std::filesystem::rename(path, trash + "/" + std::to_string(trashed.size()), error);
        return !error;
    }
    std::string trash;
};

class EditingTest : public ::testing::Test {
  protected:
    EditingTest() {
        desktop.trash = dir / "trash";
        std::filesystem::create_directories(desktop.trash);
    }

    // Fills the list and shows it with row 0 focused.
    void SetList(const std::vector<std::string>& entries) {
        p.playlist.PlaylistEntries = entries;
        RefreshListView(p, false, false);
    }
    std::vector<std::string> Names(int n) const {
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i) {
            names.push_back("/m/" + std::to_string(i) + ".mp3");
        }
        return names;
    }
    void Select(const std::vector<int>& rows, int focused) {
        view.selectedRows = rows;
        view.focusedRow = focused;
    }
    // Marks entry `index` as the one playing.
    void Playing(int index) {
        p.playlist.PlayingIndex = index;
        p.playlist.PlayingEntry = p.playlist.PlaylistEntries[static_cast<std::size_t>(index)];
    }
    const std::vector<std::string>& List() const { return p.playlist.PlaylistEntries; }
    std::string LastNotice() const {
        return dialogs.notices.empty() ? std::string() : dialogs.notices.back().text;
    }

    TempDir dir;
    FakeMainView view;
    FakeDialogs dialogs;
    FakeEventLoop loop;
    TrashingDesktop desktop;
    FakeHotKeys hotKeys;
    Player p{dir.path(), Services{view, dialogs, loop, desktop, hotKeys}};
};

}  // namespace mirvo::test
