#pragma once
// TPreferences_Form, "Settings": seven pages chosen from a list on the left.
// Every control writes its setting the moment it changes (app/Preferences);
// there is only "&Close".
#include <QDialog>
#include <array>
#include <functional>

#include "app/HotKeys.h"
#include "app/Preferences.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace mirvo {

class TPreferences_Form final : public QDialog {
    Q_OBJECT
  public:
    TPreferences_Form(QWidget* parent, Player& player, Engine& engine, ScrobbleClient* scrobbler,
                      std::function<void(int style)> setMeterStyle);

    Preferences& logic() { return prefs_; }
    // The page shown (the page list's row).
    int SelectedPage() const;

    // Escape, "&Close" and the frame's close button all end here.
    void done(int result) override;

    std::array<QGroupBox*, kPreferencesPageCount> Groups{};

    // Setup: "&WAV", "&MP3", "&OGG", "&PLS", "&M3U", "&FLAC" in kAssociationBoxes order.
    std::array<QCheckBox*, kAssociationBoxes.size()> AssociationBoxes{};
    QLabel* LabelFileTypes = nullptr;
    QCheckBox* CheckBoxUpdate = nullptr;
    QLabel* LabelShellOpen = nullptr;
    std::array<QRadioButton*, 3> RadioEnqueue{};
    QCheckBox* CheckBoxMultiple = nullptr;

    // Media
    QListWidget* ListMusicFolders = nullptr;
    QPushButton* ButtonAddFolder = nullptr;
    QPushButton* ButtonDeleteFolder = nullptr;
    QLabel* LabelSort = nullptr;

    // Display: "&Hide", "&7 leds", "&14 leds".
    std::array<QRadioButton*, 3> RadioMeter{};

    // Playing history
    QCheckBox* CheckBox_Lastfm = nullptr;
    QLineEdit* Edit_Lastfm_Username = nullptr;
    QLineEdit* Edit_Lastfm_Password = nullptr;

    // Device
    QComboBox* ComboDevice = nullptr;
    QLabel* LabelBufferlength = nullptr;
    QLabel* LabelVoldB = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildSetup(QGroupBox* group);
    void BuildMedia(QGroupBox* group);
    void BuildDisplay(QGroupBox* group);
    void BuildHotkeys(QGroupBox* group);
    void BuildRecord(QGroupBox* group);
    void BuildPlayingHistory(QGroupBox* group);
    void BuildDevice(QGroupBox* group);
    void FormShow();
    void TreeView1Change();
    void FillMusicFolders(const std::vector<std::string>& folders);
    void FillHotKeys(const std::vector<std::string>& rows);
    void ListBox1Click();
    void Edit1KeyDown(const QKeyEvent& key);
    void Button9Click();
    void CommitAccountFields();

    Player& p_;
    Preferences prefs_;
    HotKeyCapture capture_;

    QTreeWidget* pageList_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QRadioButton* sortOnNameRadio_ = nullptr;
    QRadioButton* sortOnPathRadio_ = nullptr;
    // Global hotkeys: the function list, the capture field and "Set".
    QTreeWidget* hotKeyList_ = nullptr;
    QLineEdit* hotKeyEdit_ = nullptr;
    QPushButton* setHotKeyButton_ = nullptr;
    // Recording: folder, cache seconds, pre-record cache.
    QLineEdit* recordFolderEdit_ = nullptr;
    QPushButton* recordFolderButton_ = nullptr;
    QLineEdit* preRecordSecondsEdit_ = nullptr;
    QCheckBox* preRecordBox_ = nullptr;
    QPushButton* checkConnectionButton_ = nullptr;
    QPushButton* resetMixerButton_ = nullptr;
};

}  // namespace mirvo
