#include "ui/PreferencesForm.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>
#include <algorithm>

#include "player/Player.h"
#include "ui/KeyMap.h"
#include "ui/QtServices.h"
#include "ui/Style.h"

namespace mirvo {
namespace {

constexpr int kGroupLeft = 128;
constexpr int kGroupTop = 8;
constexpr int kGroupWidth = 291;
constexpr int kGroupHeight = 274;

void Hint(QWidget* widget, const char* text) {
    widget->setToolTip(UiText(text));
    widget->setToolTipDuration(kToolTipDurationMs);
}

template <class Widget>
Widget* Place(Widget* widget, int left, int top, int width = 0, int height = 0) {
    const QSize size = widget->sizeHint();
    widget->setGeometry(left, top, width > 0 ? width : size.width(),
                        height > 0 ? height : size.height());
    return widget;
}

QLabel* Caption(QWidget* parent, const char* text, int left, int top) {
    return Place(new QLabel(UiText(text), parent), left, top);
}

std::string Decimal() {
    return QLocale().decimalPoint().toStdString();
}

// The capture field of the hot-key page: every key is the combination to
// bind, so none types into the field and no mnemonic takes it. Escape still
// closes the dialog and Tab still leaves the field.
class HotKeyEdit final : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    std::function<void(const QKeyEvent&)> OnKeyDown;

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride ||
            (event->type() == QEvent::KeyPress &&
             !PassesThrough(*static_cast<QKeyEvent*>(event)))) {
            event->accept();
            if (event->type() == QEvent::KeyPress && OnKeyDown) {
                OnKeyDown(*static_cast<QKeyEvent*>(event));
            }
            return true;
        }
        return QLineEdit::event(event);
    }
    void keyPressEvent(QKeyEvent* key) override {
        key->ignore();  // Escape and Tab belong to the dialog
    }

  private:
    static bool PassesThrough(const QKeyEvent& key) {
        const Qt::KeyboardModifiers others =
            key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        return key.key() == Qt::Key_Escape ||
               ((key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) && others == 0);
    }
};

// The key's virtual-key code, modifier keys included; 0 when it has none.
unsigned CaptureKeyCode(const QKeyEvent& key) {
    switch (key.key()) {
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
            return 91;
        case Qt::Key_Super_R:
            return 92;
        default:
            return static_cast<unsigned>(
                VirtualKey(key.key(), key.modifiers().testFlag(Qt::KeypadModifier)));
    }
}

HotKeyModifiers CaptureModifiers(Qt::KeyboardModifiers held) {
    HotKeyModifiers modifiers = HotKeyModifiers::None;
    if (held & Qt::MetaModifier) {
        modifiers = modifiers | HotKeyModifiers::Windows;
    }
    if (held & Qt::ControlModifier) {
        modifiers = modifiers | HotKeyModifiers::Ctrl;
    }
    if (held & Qt::AltModifier) {
        modifiers = modifiers | HotKeyModifiers::Alt;
    }
    if (held & Qt::ShiftModifier) {
        modifiers = modifiers | HotKeyModifiers::Shift;
    }
    return modifiers;
}

constexpr const char* kAssociationHint =
    "If an association does not work, uncheck it and check it again.\r"
    "File managers may show the new icons only after they are restarted.\r"
    "When another player (such as Winamp) keeps taking a file type, uncheck the association in "
    "that program.";

constexpr const char* kSortHint =
    "This has effect on the way files are sorted when loading them in.\r\r"
    "On filename:\r"
    "    Album B/1 Dusk.mp3\r"
    "    Album A/1 Sunrise.mp3\r"
    "    Album B/2 Night.mp3\r"
    "    Album A/2 Noon.mp3\r\r"
    "On path and filename:\r"
    "    Album A/1 Sunrise.mp3\r"
    "    Album A/2 Noon.mp3\r"
    "    Album B/1 Dusk.mp3\r"
    "    Album B/2 Night.mp3";

}  // namespace

TPreferences_Form::TPreferences_Form(QWidget* parent, Player& player, Engine& engine,
                                     ScrobbleClient* scrobbler,
                                     std::function<void(int style)> setMeterStyle)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint),
      p_(player),
      prefs_(player, engine, scrobbler, AssociationPlaces::FromEnvironment(),
             std::move(setMeterStyle)) {
    setObjectName(QStringLiteral("TPreferences_Form"));
    setWindowTitle(QStringLiteral("Settings"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(427, 329);

    pageList_ = new QTreeWidget(this);
    pageList_->setAccessibleName(QStringLiteral("Settings pages"));
    pageList_->setObjectName(QStringLiteral("TreeView1"));
    pageList_->setGeometry(8, 8, 105, 313);
    pageList_->setHeaderHidden(true);
    pageList_->setRootIsDecorated(false);
    pageList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pageList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const char* page : kPreferencesPages) {
        pageList_->addTopLevelItem(new QTreeWidgetItem(QStringList(UiText(page))));
    }
    connect(pageList_, &QTreeWidget::currentItemChanged, this, [this] { TreeView1Change(); });

    const char* names[] = {"GroupSetup",  "GroupMedia",          "GroupDisplay", "GroupHotkeys",
                           "GroupRecord", "GroupPlayingHistory", "GroupDevice"};
    for (int i = 0; i < kPreferencesPageCount; ++i) {
        Groups[i] = new QGroupBox(UiText(kPreferencesPages[i]), this);
        Groups[i]->setObjectName(QLatin1String(names[i]));
        Groups[i]->setGeometry(kGroupLeft, kGroupTop, kGroupWidth, kGroupHeight);
        Groups[i]->hide();
    }
    BuildSetup(Groups[0]);
    BuildMedia(Groups[1]);
    BuildDisplay(Groups[2]);
    BuildHotkeys(Groups[3]);
    BuildRecord(Groups[4]);
    BuildPlayingHistory(Groups[5]);
    BuildDevice(Groups[6]);

    closeButton_ = new QPushButton(QStringLiteral("&Close"), this);
    closeButton_->setObjectName(QStringLiteral("Button1"));
    closeButton_->setGeometry(344, 296, 75, 25);
    closeButton_->setDefault(true);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void TPreferences_Form::BuildSetup(QGroupBox* group) {
    LabelFileTypes = Caption(group, "Associate these file types with Mirvo:", 10, 20);
    Hint(LabelFileTypes, kAssociationHint);
    const char* captions[] = {"&WAV", "&MP3", "&OGG", "&PLS", "&M3U", "&FLAC"};
    const char* names[] = {"CheckBox1", "CheckBox2", "CheckBox3",
                           "CheckBox7", "CheckBox8", "CheckBox9"};
    for (int i = 0; i < static_cast<int>(AssociationBoxes.size()); ++i) {
        QCheckBox* box = new QCheckBox(UiText(captions[i]), group);
        box->setObjectName(QLatin1String(names[i]));
        Place(box, 10 + (i % 3) * 90, 38 + (i / 3) * 20);
        if (i < 3) {
            Hint(box, kAssociationHint);
        }
        connect(box, &QCheckBox::toggled, this,
                [this, i](bool on) { prefs_.AssociationClicked(i, on); });
        AssociationBoxes[static_cast<std::size_t>(i)] = box;
    }
    CheckBoxUpdate = Place(new QCheckBox(QStringLiteral("Stay &updated"), group), 10, 88);
    CheckBoxUpdate->setObjectName(QStringLiteral("CheckBoxUpdate"));
    Hint(CheckBoxUpdate,
         "In order to make use of the latest improvements, Mirvo will check once a week if "
         "there's\ran update available. If so, it will prompt you briefly at startup.");
    connect(CheckBoxUpdate, &QCheckBox::toggled, this,
            [this](bool on) { prefs_.StayUpdatedClicked(on); });

    LabelShellOpen = Caption(group, "Double click a file in the file manager:", 10, 118);
    Hint(LabelShellOpen,
         "Tip: Mirvo started from double clicking a file, has seperate window size settings.\r"
         "Make it small so you can see the file manager behind it.");
    const char* options[] = {"Play with &empty list", "&Add file to existing list",
                             "Play and open its &folder (default)"};
    auto* enqueue = new QButtonGroup(group);
    for (int i = 0; i < 3; ++i) {
        RadioEnqueue[static_cast<std::size_t>(i)] =
            Place(new QRadioButton(UiText(options[i]), group), 18, 136 + i * 20);
        enqueue->addButton(RadioEnqueue[static_cast<std::size_t>(i)], i);
        connect(RadioEnqueue[static_cast<std::size_t>(i)], &QRadioButton::toggled, this,
                [this, i](bool on) {
                    if (on) {
                        prefs_.EnqueueOptionClicked(i);
                    }
                });
    }
    CheckBoxMultiple = Place(new QCheckBox(QStringLiteral("&Multiple instances"), group), 10, 206);
    connect(CheckBoxMultiple, &QCheckBox::toggled, this,
            [this](bool on) { prefs_.MultipleInstancesClicked(on); });
}

void TPreferences_Form::BuildMedia(QGroupBox* group) {
    QLabel* folders = Caption(group, "Music folders:", 10, 20);
    ListMusicFolders = new QListWidget(group);
    folders->setBuddy(ListMusicFolders);
    ListMusicFolders->setAccessibleName(QStringLiteral("Music folders"));
    ListMusicFolders->setObjectName(QStringLiteral("ListMusicFolders"));
    ListMusicFolders->setGeometry(10, 38, 271, 118);
    Hint(ListMusicFolders,
         "Music folders are handy:\r"
         "- the folder browser starts its tree at them,\r"
         "- the relative path view shows the paths below them,\r"
         "- they give quick access to network shares and mounted drives.");
    ButtonAddFolder = Place(new QPushButton(QStringLiteral("&Add"), group), 10, 162, 75, 24);
    ButtonDeleteFolder = Place(new QPushButton(QStringLiteral("&Delete"), group), 90, 162, 75, 24);
    connect(ButtonAddFolder, &QPushButton::clicked, this, [this] {
        if (const auto folders = prefs_.AddMusicFolder()) {
            FillMusicFolders(*folders);
        }
    });
    connect(ButtonDeleteFolder, &QPushButton::clicked, this, [this] {
        if (const auto folders = prefs_.DeleteMusicFolder(ListMusicFolders->currentRow())) {
            FillMusicFolders(*folders);
        }
    });

    LabelSort = Caption(group, "Sort files:", 10, 198);
    Hint(LabelSort, kSortHint);
    auto* sort = new QButtonGroup(group);
    sortOnNameRadio_ = Place(new QRadioButton(QStringLiteral("On &filename"), group), 18, 216);
    sortOnNameRadio_->setObjectName(QStringLiteral("RadioSort1"));
    sortOnPathRadio_ =
        Place(new QRadioButton(QStringLiteral("On &path and filename (default)"), group), 18, 236);
    sortOnPathRadio_->setObjectName(QStringLiteral("RadioSort2"));
    for (QRadioButton* radio : {sortOnNameRadio_, sortOnPathRadio_}) {
        Hint(radio, kSortHint);
        sort->addButton(radio);
    }
    connect(sortOnNameRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            prefs_.SortClicked(1);
        }
    });
    connect(sortOnPathRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            prefs_.SortClicked(0);
        }
    });
}

void TPreferences_Form::BuildDisplay(QGroupBox* group) {
    Caption(group, "Calibrated dB level meter", 10, 20)->setObjectName(QStringLiteral("Label4"));
    const char* captions[] = {"&Hide", "&7 leds", "&14 leds"};
    auto* meters = new QButtonGroup(group);
    for (int i = 0; i < 3; ++i) {
        QRadioButton* radio = Place(new QRadioButton(UiText(captions[i]), group), 18, 44 + i * 40);
        meters->addButton(radio, i);
        connect(radio, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                prefs_.MeterStyleClicked(i);
            }
        });
        RadioMeter[static_cast<std::size_t>(i)] = radio;
    }
    // Each scale under its meter's button.
    Caption(group, "-60 30 15 6 3 1", 38, 104);
    Caption(group, "-oo 60 40 30 25 20 15 12 10 8 6 4 2 0", 38, 144);
}

void TPreferences_Form::BuildHotkeys(QGroupBox* group) {
    Caption(group, "Function", 12, 20);
    Caption(group, "Shortcut", 136, 20);
    hotKeyList_ = new QTreeWidget(group);
    hotKeyList_->setAccessibleName(QStringLiteral("Global hotkeys"));
    hotKeyList_->setObjectName(QStringLiteral("ListBox1"));
    hotKeyList_->setGeometry(10, 36, 271, 166);
    hotKeyList_->setColumnCount(2);
    hotKeyList_->setHeaderHidden(true);
    hotKeyList_->setRootIsDecorated(false);
    hotKeyList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    hotKeyList_->header()->resizeSection(0, 124);
    Hint(hotKeyList_,
         "Global hotkeys are keyboard shortcuts that will also function when Mirvo is not "
         "focussed.\rChoose unique key combinations, since they override existing application "
         "shortcuts.\rDisable existing key binding software if you experience problems.");
    connect(hotKeyList_, &QTreeWidget::currentItemChanged, this, [this] { ListBox1Click(); });

    QLabel* shortcut = Caption(group, "Shortcut key", 12, 210);
    auto* edit = new HotKeyEdit(group);
    shortcut->setBuddy(edit);
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->setGeometry(10, 228, 196, 24);
    Hint(edit, "Press the desired key.");
    edit->OnKeyDown = [this](const QKeyEvent& key) { Edit1KeyDown(key); };
    // Only a key pressed sets it: nothing pasted or dropped.
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAcceptDrops(false);
    hotKeyEdit_ = edit;
    setHotKeyButton_ = Place(new QPushButton(QStringLiteral("Set"), group), 211, 227, 70, 26);
    setHotKeyButton_->setObjectName(QStringLiteral("Button9"));
    connect(setHotKeyButton_, &QPushButton::clicked, this, [this] { Button9Click(); });
}

void TPreferences_Form::BuildRecord(QGroupBox* group) {
    Caption(group, "Temp path for internet radio recording:", 10, 20)
        ->setBuddy(recordFolderEdit_ = Place(new QLineEdit(group), 10, 38, 241, 24));
    recordFolderEdit_->setObjectName(QStringLiteral("Edit2"));
    Hint(recordFolderEdit_,
         "Recordings are in wave format which requires about 11MB for 1 minute music. So choose "
         "a large drive.");
    connect(recordFolderEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { prefs_.RecordTempPathChanged(text.toStdString()); });
    recordFolderButton_ = Place(new QPushButton(QStringLiteral("..."), group), 255, 37, 26, 26);
    recordFolderButton_->setAccessibleName(QStringLiteral("Choose temp folder"));
    recordFolderButton_->setObjectName(QStringLiteral("Button10"));
    connect(recordFolderButton_, &QPushButton::clicked, this, [this] {
        if (const auto folder = prefs_.ChooseRecordFolder()) {
            recordFolderEdit_->setText(QString::fromStdString(*folder));
        }
    });

    preRecordBox_ = Place(new QCheckBox(QStringLiteral("Use pre-&record cache"), group), 10, 76);
    preRecordBox_->setObjectName(QStringLiteral("CheckBox6"));
    Hint(preRecordBox_,
         "Using the pre-record cache enables you to never miss the beginning of a song while "
         "recording.\rWhile internet radio plays, the cache silently records the number of "
         "seconds set below,\rso a saved recording starts that many seconds earlier.\rThe cache "
         "costs some system load, which does not depend on the number of seconds.");
    connect(preRecordBox_, &QCheckBox::toggled, this,
            [this](bool on) { prefs_.RecordAheadClicked(on); });
    preRecordSecondsEdit_ = Place(new QLineEdit(group), 28, 100, 56, 24);
    preRecordSecondsEdit_->setAccessibleName(QStringLiteral("Pre-record cache seconds"));
    preRecordSecondsEdit_->setObjectName(QStringLiteral("Edit3"));
    connect(preRecordSecondsEdit_, &QLineEdit::textChanged, this,
            [this](const QString& text) { prefs_.RecordSecAheadChanged(text.toStdString()); });
    Caption(group, "seconds", 90, 104);
}

void TPreferences_Form::BuildPlayingHistory(QGroupBox* group) {
    CheckBox_Lastfm =
        Place(new QCheckBox(QStringLiteral("Submit playing history to last.fm"), group), 10, 22);
    CheckBox_Lastfm->setObjectName(QStringLiteral("CheckBox_Lastfm"));
    connect(CheckBox_Lastfm, &QCheckBox::toggled, this,
            [this](bool on) { prefs_.LastfmEnableClicked(on); });
    Caption(group, "Username:", 10, 56)
        ->setBuddy(Edit_Lastfm_Username = Place(new QLineEdit(group), 80, 52, 190, 24));
    Edit_Lastfm_Username->setObjectName(QStringLiteral("Edit_Lastfm_Username"));
    Caption(group, "Password:", 10, 86)
        ->setBuddy(Edit_Lastfm_Password = Place(new QLineEdit(group), 80, 82, 190, 24));
    Edit_Lastfm_Password->setObjectName(QStringLiteral("Edit_Lastfm_Password"));
    Edit_Lastfm_Password->setEchoMode(QLineEdit::Password);
    connect(Edit_Lastfm_Username, &QLineEdit::editingFinished, this,
            [this] { prefs_.LastfmUsernameDone(Edit_Lastfm_Username->text().toStdString()); });
    connect(Edit_Lastfm_Password, &QLineEdit::editingFinished, this,
            [this] { prefs_.LastfmPasswordDone(Edit_Lastfm_Password->text().toStdString()); });
    checkConnectionButton_ =
        Place(new QPushButton(QStringLiteral("C&heck connection"), group), 80, 116, 130, 26);
    checkConnectionButton_->setObjectName(QStringLiteral("Button8"));
    connect(checkConnectionButton_, &QPushButton::clicked, this, [this] {
        CommitAccountFields();
        prefs_.CheckConnection();
    });
}

void TPreferences_Form::BuildDevice(QGroupBox* group) {
    Caption(group, "Mirvo output:", 10, 20)
        ->setBuddy(ComboDevice = Place(new QComboBox(group), 10, 38, 271, 24));
    ComboDevice->setObjectName(QStringLiteral("ComboDevice"));
    ComboDevice->view()->setAccessibleName(QStringLiteral("Output devices"));
    connect(ComboDevice, &QComboBox::currentIndexChanged, this,
            [this](int item) { prefs_.DeviceChanged(item); });
    LabelBufferlength = Caption(group, "Buffer length: 3000 ms", 10, 72);
    LabelBufferlength->setObjectName(QStringLiteral("LabelBufferlength"));
    Caption(group, "Using gapless playback for MP3 track changes", 10, 90);
    Caption(group, "No EQ or filters: pure direct output", 10, 108);
    Caption(group, "Sound details:", 10, 140);
    LabelVoldB = Place(new QLabel(group), 10, 158, 271, 16);
    LabelVoldB->setObjectName(QStringLiteral("LabelVoldB"));
    resetMixerButton_ = Place(new QPushButton(QStringLiteral("&Reset sound driver mixer"), group),
                              10, 184, 180, 26);
    resetMixerButton_->setObjectName(QStringLiteral("Button6"));
    connect(resetMixerButton_, &QPushButton::clicked, this,
            [this] { LabelVoldB->setText(UiText(prefs_.ResetMixer(Decimal()))); });
}

void TPreferences_Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;  // the window system showing it again, not an opening
    }
    if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
    FormShow();
}

void TPreferences_Form::FormShow() {
    const PreferencesShown s = prefs_.FormShow(Decimal());
    for (std::size_t i = 0; i < AssociationBoxes.size(); ++i) {
        AssociationBoxes[i]->setChecked(s.Associated[i]);
    }
    CheckBoxUpdate->setChecked(s.StayUpdated);
    RadioEnqueue[s.EnqueueOption >= 0 && s.EnqueueOption <= 2 ? s.EnqueueOption : 2]->setChecked(
        true);
    CheckBoxMultiple->setChecked(s.MultipleInstances);
    RadioMeter[static_cast<std::size_t>(std::clamp(s.VUStyle, 0, 2))]->setChecked(true);
    FillMusicFolders(s.MusicFolders);
    (s.SortingWay == 1 ? sortOnNameRadio_ : sortOnPathRadio_)->setChecked(true);
    LabelBufferlength->setText(UiText(s.BufferLength));
    ComboDevice->clear();
    for (const std::string& device : s.Devices) {
        ComboDevice->addItem(UiText(device));
    }
    ComboDevice->setCurrentIndex(s.DeviceItem);
    LabelVoldB->setText(UiText(s.OutputLevel));
    FillHotKeys(s.HotKeyRows);
    hotKeyEdit_->clear();
    capture_ = {};
    CheckBox_Lastfm->setChecked(s.LastfmEnable);
    Edit_Lastfm_Username->setText(UiText(s.LastfmUsername));
    Edit_Lastfm_Password->setText(UiText(s.LastfmPassword));
    recordFolderEdit_->setText(UiText(s.RecordTempPath));
    preRecordSecondsEdit_->setText(UiText(s.RecordSecAhead));
    preRecordBox_->setChecked(s.RecordAhead);
    pageList_->setCurrentItem(pageList_->topLevelItem(s.Page));
    TreeView1Change();
    pageList_->setFocus();
    prefs_.FormShown();
}

void TPreferences_Form::done(int result) {
    if (isVisible()) {
        CommitAccountFields();
        prefs_.FormClose(SelectedPage());
    }
    QDialog::done(result);
}

int TPreferences_Form::SelectedPage() const {
    const int page = pageList_->indexOfTopLevelItem(pageList_->currentItem());
    return page < 0 ? 0 : page;
}

void TPreferences_Form::TreeView1Change() {
    for (QGroupBox* group : Groups) {
        group->hide();
    }
    QGroupBox* shown = Groups[static_cast<std::size_t>(SelectedPage())];
    shown->move(kGroupLeft, kGroupTop);
    shown->show();
}

void TPreferences_Form::FillMusicFolders(const std::vector<std::string>& folders) {
    ListMusicFolders->clear();
    for (const std::string& folder : folders) {
        ListMusicFolders->addItem(UiText(folder));
    }
}

void TPreferences_Form::FillHotKeys(const std::vector<std::string>& rows) {
    const int row = hotKeyList_->indexOfTopLevelItem(hotKeyList_->currentItem());
    {
        const QSignalBlocker quiet(hotKeyList_);
        hotKeyList_->clear();
        for (const std::string& text : rows) {
            const std::size_t tab = text.find('\t');
            QStringList columns(UiText(text.substr(0, tab)));
            if (tab != std::string::npos) {
                columns << UiText(text.substr(tab + 1));
            }
            hotKeyList_->addTopLevelItem(new QTreeWidgetItem(columns));
        }
        if (row >= 0) {
            hotKeyList_->setCurrentItem(hotKeyList_->topLevelItem(row));
        }
    }
}

void TPreferences_Form::ListBox1Click() {
    const int row = hotKeyList_->indexOfTopLevelItem(hotKeyList_->currentItem());
    if (row >= 0) {
        hotKeyEdit_->setText(UiText(StoredHotKeyName(p_, row)));
    }
}

void TPreferences_Form::Edit1KeyDown(const QKeyEvent& key) {
    const unsigned code = CaptureKeyCode(key);
    if (code == 0) {
        return;  // a key no hot key can name
    }
    hotKeyEdit_->setText(
        UiText(capture_.KeyDown(code, CaptureModifiers(key.modifiers()), p_.ui.hotKeys)));
}

void TPreferences_Form::Button9Click() {
    SetHotKey(p_, hotKeyList_->indexOfTopLevelItem(hotKeyList_->currentItem()), capture_);
    FillHotKeys(HotKeyListRows(p_));
}

void TPreferences_Form::CommitAccountFields() {
    prefs_.LastfmUsernameDone(Edit_Lastfm_Username->text().toStdString());
    prefs_.LastfmPasswordDone(Edit_Lastfm_Password->text().toStdString());
}

}  // namespace mirvo
