#include "ui/MainController.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <filesystem>

#include "playlist/Adding.h"
#include "playlist/Editing.h"
#include "playlist/Entries.h"
#include "playlist/Favorites.h"
#include "playlist/Model.h"
#include "playlist/Scanning.h"
#include "support/Files.h"
#include "tools/FileProperties.h"
#include "ui/FavoritesForm.h"
#include "ui/FileInfoForm.h"
#include "ui/FindForm.h"
#include "ui/HoxelListbox.h"
#include "ui/HoxelProgress.h"
#include "ui/KeyMap.h"
#include "ui/MainWindow.h"
#include "ui/PreferencesForm.h"
#include "ui/QtServices.h"
#include "ui/RadioForm.h"
#include "ui/ReplaceFilenamesForm.h"

namespace mirvo {
namespace {

// The shortcut list of the "Additional functions" dialog.
constexpr const char* kShortcutList =
    "MAIN\n"
    "Shortcuts\tF1\n"
    "Settings\tF6\n"
    "Exit\tEsc\n"
    "\n"
    "PLAYING\n"
    "Play selected file\tEnter\n"
    "Pause\tSpacebar, Numpad 0\n"
    "Unpause\tSpacebar, Enter\n"
    "Stop\t2x Numpad 0\n"
    "Next track\tTab\n"
    "Previous track\tShift + Tab\n"
    "Toggle shuffle, repeat\tF9, click on statusbar\n"
    "Volume\tNumpad + -, drag % sign\n"
    "Seek in track\tLeft, right cursor keys\n"
    "Record internet radio\tNumpad *\n"
    "\n"
    "PLAYLIST\n"
    "Add file(s)\tCtrl + L\n"
    "Add internet radio stream\tCtrl + R\n"
    "Open a dir with music files\tF4\n"
    "Add a dir with music files\tF3\n"
    "Move items\tCtrl + Up/Down, drag tracks\n"
    "Load mirvo playlist\tCtrl + O\n"
    "Save mirvo playlist\tCtrl + S\n"
    "Toggle layout list all\tF8\n"
    "Select all\tCtrl + A\n"
    "Remove file from list\tDel\n"
    "Delete file to recycled bin\tShift + Del\n"
    "\n"
    "EXTRA\n"
    "Properties\tF2\n"
    "Multiple filename renamer\tF2 on multiple selection\n"
    "Open Explorer in file folder\tCtrl + E\n"
    "Maximize, Restore\tF12\n"
    "Minimize to tray\tF11\n"
    "Find file in active list\tType something, Ctrl + F\n"
    "Softmute (%30)\tPause\n"
    "Open last opened directory\tF5\n"
    "Clear queued /shuffled list\tChange playmode\n"
    "Explore from mirvo directory\tCtrl + Alt + E\n"
    "Reset windows mixer\tCtrl + space\n"
    "Selected item(s) playing time\tCtrl + Alt + T\n"
    "Seek fine (0.1 sec)\tShift + cursor keys <- ->\n"
    "Seek big (60 sec)\tCtrl + cursor keys <- ->\n";

constexpr const char* kMakerAddress = "the project's home page";

}  // namespace

MainController::MainController(MainWindow& window, Player& player, Application& application,
                               ScrobbleClient* scrobbler)
    : QObject(&window),
      window_(window),
      p_(player),
      application_(application),
      scrobbler_(scrobbler) {
    session_ = std::make_unique<Session>(p_, *this, window_, scrobbler);
    engine_ = &session_->engine();
    commands_ = &session_->commands();
    meters_ = &session_->meters();
    commands_->OpenFileAc = [this] { OpenFileAc(p_); };
    commands_->OpenFolderAc = [this] { OpenDirAc(p_); };
    commands_->CopyPlayingTitle = [this] { CopyPlAc(p_); };
    commands_->OpenFind = [this](char typed) {
        OpenFind(typed == '\0' ? QString() : QString(QChar::fromLatin1(typed)));
    };
    commands_->ExitApplication = [this] { window_.close(); };
    application_.AttachPlayback(*engine_, *commands_);

    MakeCommands();
    BuildMenus();
    ConnectWindow();
    qApp->installEventFilter(this);
}

MainController::~MainController() {
    qApp->removeEventFilter(this);
}

void MainController::SettingsLoaded() {
    session_->SettingsLoaded();
    SetViewChecks();
}

QAction* MainController::Action(const std::string& name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void MainController::BuildMenus() {
    QMenuBar* bar = window_.menuBar();
    const auto a = [this](const char* name) { return Action(name); };
    const auto fill = [&](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (name == nullptr) {
                menu->addSeparator();
            } else {
                menu->addAction(a(name));
            }
        }
    };
    fill(bar->addMenu(QStringLiteral("&File")),
         {"OpenDirAc", "AddDirAc", "OpenFileAc", "AddRadioAc", nullptr, "LoadPlayListAc",
          "SavePlaylistAc", nullptr, "EscAc"});
    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    fill(edit, {"FileInfoAc", "DeleteAc", "RealDelAc", "ExplorerFile"});
    fill(edit->addMenu(QStringLiteral("&Tools")),
         {"RefreshAc", "JumpAc", "RenamerAc", "SleepTimerAc", "CopySelAc", "CropAc",
          "BrokenFilesAc", "DupAc", "CutAc", "CopyAc", "PastAc", "ListEntryAc", "NewListAc",
          "ClearShuffleHistoryAc", "SuffleListRealAc", "TotalTimeAc", "ExplorerExe"});
    fill(edit, {nullptr, "FindAc"});
    fill(bar->addMenu(QStringLiteral("&Play")),
         {"PlayAc", "PauseAc", "StopAc", "RecordStartAc", nullptr, "NextAc", "PrevAc", "QueuAc"});
    favoritesMenu_ = bar->addMenu(QStringLiteral("&Favorites"));
    fill(favoritesMenu_, {"FavoritesAddAc", "FavoritesOrganize", nullptr});
    RebuildFavoritesMenu();
    fill(bar->addMenu(QStringLiteral("&Options")),
         {"PreferencesAc", nullptr, "ModeAc1", "ModeAc2", "ModeAc3", "ModeAc4", "ModeAc5",
          "PlayModeToggleAc"});
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    fill(view, {"View1Ac", "View2Ac", "View3Ac", "ViewFormatPathAc", nullptr, "ViewPlayBarAc",
                "ViewProgressPanelAc"});
    fill(view->addMenu(QStringLiteral("&Level meter")),
         {"Level1Ac", "Level2Ac", "Level3Ac", nullptr, "VUToggleAc"});
    fill(bar->addMenu(QStringLiteral("&Help")), {"ShortcutsAc", "DocAc", nullptr, "AboutAc"});

    entryMenu_ = new QMenu(&window_);
    entryMenu_->setObjectName(QStringLiteral("PopupMenu3"));
    fill(entryMenu_, {"QueuAc", "DeleteAc", "ExplorerFile", nullptr, "FileInfoAc"});

    trayPopupMenu_ = new QMenu(&window_);
    trayPopupMenu_->setObjectName(QStringLiteral("TrayPopupMenu"));
    for (const int percent : {100, 60, 30, 0}) {
        trayPopupMenu_->addAction(QStringLiteral("&%1%").arg(percent), this,
                                  [this, percent] { engine_->SetVolume(percent * 10); });
    }
    trayPopupMenu_->addSeparator();
    fill(trayPopupMenu_, {"PlayAc", "PauseAc"});
    trayPopupMenu_->addAction(QStringLiteral("&Stop"), this, [this] { commands_->StopButton(); });
    trayPopupMenu_->addAction(a("NextAc"));
    trayPopupMenu_->addAction(QStringLiteral("Previous"), this, [this] { commands_->HotKey(4); });
    trayPopupMenu_->addAction(a("CopyPlAc"));
    trayPopupMenu_->addSeparator();
    trayPopupMenu_->addAction(QStringLiteral("&Open"), this, [this] { window_.BringToFront(); });
    trayPopupMenu_->addAction(QStringLiteral("&Exit"), this, [this] { EscAc(); });

    // Closing a menu, by Esc or otherwise, hands the keyboard back to the list:
    // left on the menu bar, arrows would walk the menus instead of the list.
    for (QMenu* menu : window_.findChildren<QMenu*>()) {
        if (menu != trayPopupMenu_) {
            connect(menu, &QMenu::aboutToHide, this, [this] {
                QTimer::singleShot(0, this, [this] {
                    if (QApplication::activePopupWidget() == nullptr &&
                        QApplication::activeModalWidget() == nullptr) {
                        window_.ListScreen->setFocus(Qt::PopupFocusReason);
                    }
                });
            });
        }
    }
}

void MainController::ConnectWindow() {
    Commands& c = *commands_;
    using Transport = MainWindow::Transport;
    connect(window_.TransportButton(Transport::Play), &QToolButton::clicked, this,
            [&c] { c.DispatchKey(kKeyEnter, kNoModifier); });
    connect(window_.TransportButton(Transport::Pause), &QToolButton::clicked, this,
            [&c] { c.PlayPauseButton(); });
    connect(window_.TransportButton(Transport::Stop), &QToolButton::clicked, this,
            [&c] { c.StopButton(); });
    connect(window_.TransportButton(Transport::Previous), &QToolButton::clicked, this,
            [&c] { c.DispatchKey(kKeyTab, kShift); });
    connect(window_.TransportButton(Transport::Next), &QToolButton::clicked, this,
            [&c] { c.DispatchKey(kKeyTab, kNoModifier); });
    connect(window_.SpeedButtonRecord, &QToolButton::clicked, this,
            [this] { engine_->recorder().RecordStartAcExecute(); });
    window_.StatusPanels[2]->installEventFilter(this);
    window_.ProgressPanel->installEventFilter(this);
    window_.centralWidget()->installEventFilter(this);
    window_.installEventFilter(this);
    window_.Progres->installEventFilter(this);
    THoxelListbox* list = window_.ListScreen;
    list->OnDragStart = [this](int y) { return DragStart(p_, drag_, y); };
    list->OnDragMove = [this](int y) { DragMoveTo(p_, drag_, y); };
    list->OnDragOutside = [this](int y) { return DragOverWindow(p_, drag_, y); };
    list->OnDragEnd = [this] { DragEnd(drag_); };
    // A double click plays the row, as Enter on it does.
    list->OnDoubleClick = [&c](int) { c.DispatchKey(kKeyEnter, kNoModifier); };
    window_.ListScreen->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window_.ListScreen, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        auto* list = static_cast<THoxelListbox*>(window_.ListScreen);
        const int row = list->TopRow() + at.y() / std::max(1, list->ItemHeight());
        SelectBeforeContextMenu(p_, row < list->RowCount() ? row : -1);
        entryMenu_->popup(list->viewport()->mapToGlobal(at));
    });
    window_.OnMeterAreaDrag = [this, startY = 0, startVolume = 0](MainWindow::MeterDrag what,
                                                                  int screenY) mutable {
        switch (what) {
            case MainWindow::MeterDrag::Press:
                startY = screenY;
                startVolume = p_.engine.Volume;
                window_.ShowVolumeBar(VolumeBarCause::Drag);
                break;
            case MainWindow::MeterDrag::Move:
                engine_->SetVolume(screenY <= 0 ? 1000 : startVolume + (startY - screenY) * 18);
                break;
            case MainWindow::MeterDrag::Release:
                window_.HideVolumeBar();
                p_.engine.MutedVolume = -1;
                break;
        }
    };
    SetViewChecks();
}

void MainController::SetViewChecks() {
    const QSignalBlocker controls(Action("ViewPlayBarAc"));
    const QSignalBlocker progress(Action("ViewProgressPanelAc"));
    Action("ViewPlayBarAc")->setChecked(p_.values.PlayBar);
    Action("ViewProgressPanelAc")->setChecked(p_.values.ProgressPanel);
    for (int style = 0; style < 3; ++style) {
        Action("Level" + std::to_string(style + 1) + "Ac")->setChecked(style == p_.values.VUStyle);
    }
    for (int mode = 0; mode < 5; ++mode) {
        Action("ModeAc" + std::to_string(mode + 1))->setChecked(mode == p_.engine.PlayMode);
    }
}

bool MainController::ListHasFocus() const {
    const QWidget* focus = QApplication::focusWidget();
    return focus != nullptr &&
           (focus == window_.ListScreen || window_.ListScreen->isAncestorOf(focus));
}

bool MainController::HandleKey(QKeyEvent* key, bool release) {
    const int vk = VirtualKey(key->key(), key->modifiers() & Qt::KeypadModifier);
    if (vk == 0) {
        return false;
    }
    const unsigned mods = ModifierBits(key->modifiers());
    // With the wide meter, the volume bar stands in for it while a volume key is down.
    const bool volumeKey =
        vk == kKeySubtract || vk == kKeyMinus || vk == kKeyAdd || vk == kKeyEquals;
    if (release) {
        if (!key->isAutoRepeat() && ListHasFocus()) {
            commands_->KeyUp(vk);
            if (volumeKey && p_.values.VUStyle == 2) {
                window_.HideVolumeBar();
            }
        }
        return false;
    }
    if (volumeKey && p_.values.VUStyle == 2 && ListHasFocus()) {
        window_.ShowVolumeBar(VolumeBarCause::Keys);
    }
    const auto it = shortcuts_.find({vk, mods});
    if (it != shortcuts_.end()) {
        if (it->second->isEnabled()) {
            it->second->trigger();
        }
        return true;
    }
    // Keys no command takes go to the dispatcher when the list has the focus.
    return ListHasFocus() && commands_->KeyDown(vk, mods);
}

bool MainController::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            // Only keys meant for the main window itself, not for its dialogs.
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget == nullptr || widget->window() != &window_ ||
                QApplication::activeModalWidget() != nullptr ||
                qobject_cast<QMenu*>(widget) != nullptr) {
                break;
            }
            auto* key = static_cast<QKeyEvent*>(event);
            if (event->type() == QEvent::ShortcutOverride) {
                // Claim our keys before Qt's shortcuts and menu mnemonics see them.
                const int vk = VirtualKey(key->key(), key->modifiers() & Qt::KeypadModifier);
                if (shortcuts_.count({vk, ModifierBits(key->modifiers())}) != 0) {
                    event->accept();
                    return true;
                }
                break;
            }
            // Events reach the filter once per widget up the chain; take the first.
            if (widget != QApplication::focusWidget() && QApplication::focusWidget() != nullptr) {
                break;
            }
            if (HandleKey(key, event->type() == QEvent::KeyRelease)) {
                return true;
            }
            break;
        }
        case QEvent::Move:
            if (watched == &window_ && window_.isVisible() && !window_.isMaximized() &&
                window_.screen() != nullptr) {
                // Pull the window onto the work area's edges when it comes near them.
                const QRect area = window_.screen()->availableGeometry();
                const Bounds now = window_.WindowBounds();
                const Bounds snapped =
                    SnapToWorkArea(now, {area.x(), area.y(), area.width(), area.height()});
                if (!(snapped == now)) {
                    window_.move(snapped.Left, snapped.Top);
                }
            }
            break;
        case QEvent::MouseButtonPress:
            if ((watched == window_.ProgressPanel || watched == window_.centralWidget()) &&
                !p_.values.CaptionBar) {
                // Without a caption bar the window moves by its body.
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton && mouse->buttons() == Qt::LeftButton &&
                    mouse->modifiers() == Qt::NoModifier && window_.windowHandle() != nullptr) {
                    window_.windowHandle()->startSystemMove();
                    return true;
                }
            }
            if (watched == window_.StatusPanels[2]) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                commands_->TogglePlayMode(mouse->button() == Qt::RightButton);
                SetViewChecks();
                return true;
            }
            [[fallthrough]];
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            if (watched == window_.Progres) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                const bool seekable =
                    p_.engine.DeviceReady && EntryKind(p_.playlist.PlayingEntry) != kKindStream;
                if (!seekable) {
                    break;
                }
                const int width = std::max(1, window_.Progres->width());
                const auto positionAt = [&] {
                    return static_cast<int>(std::nearbyint(
                        static_cast<double>(ProgressMax()) *
                        std::clamp(mouse->position().x(), 0.0, static_cast<double>(width)) /
                        width));
                };
                if (event->type() == QEvent::MouseButtonPress &&
                    mouse->button() == Qt::LeftButton) {
                    engine_->SeekPending = true;
                }
                if (engine_->SeekPending && event->type() != QEvent::MouseButtonRelease) {
                    const int pos = positionAt();
                    SetProgressPosition(pos);
                    const int length = ProgressMax();
                    p_.ui.view.SetTimeLabel(TimeLabelText(pos, length));
                    return true;
                }
                if (event->type() == QEvent::MouseButtonRelease &&
                    mouse->button() == Qt::LeftButton && engine_->SeekPending) {
                    engine_->SeekTo(engine_->MsToBytes(ProgressPosition()));
                    engine_->SeekPending = false;
                    return true;
                }
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void MainController::EscAc() {
    if (PreferencesShowing()) {
        preferences_->reject();
        return;
    }
    PlaylistState& pl = p_.playlist;
    pl.AbortRequested = true;
    if (shortcutsDialog_ && shortcutsDialog_->isVisible()) {
        shortcutsDialog_->close();
        return;
    }
    if (pl.ScanRunning) {
        return;  // the scan stops on its own and the window stays
    }
    if (EntryKind(pl.PlayingEntry) == kKindStream) {
        engine_->recorder().StopRecording();
    }
    window_.close();
}

void MainController::RebuildFavoritesMenu() {
    const QList<QAction*> items = favoritesMenu_->actions();
    for (qsizetype i = 3; i < items.size(); ++i) {
        std::erase_if(shortcuts_, [&](const auto& bound) { return bound.second == items[i]; });
        favoritesMenu_->removeAction(items[i]);
        delete items[i];
    }
    const std::vector<std::string> files = CollectFavorites(p_);
    for (std::size_t i = 0; i < files.size(); ++i) {
        // A title's "&" is shown, not taken as an access key.
        QString title = QString::fromStdString(FavoriteTitle(files[i]));
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = favoritesMenu_->addAction(title);
        const int position = static_cast<int>(i) + 3;
        connect(item, &QAction::triggered, this, [this, position] { OpenFavoriteEvent(position); });
        if (i < 9) {
            const QKeyCombination key(Qt::ControlModifier,
                                      static_cast<Qt::Key>(Qt::Key_1 + static_cast<int>(i)));
            item->setShortcut(QKeySequence(key));
            Route(key, item);
        }
    }
}

void MainController::OpenFavoriteEvent(int position) {
    if (position < 3) {
        return;
    }
    // The list is collected again: the folder may have changed since the menu was made.
    const std::vector<std::string> files = CollectFavorites(p_);
    const auto at = static_cast<std::size_t>(position - 3);
    if (at < files.size()) {
        OpenFavorite(p_, files[at]);
    }
}

void MainController::OrganizeFavorites() {
    if (favoritesForm_ == nullptr) {
        favoritesForm_ =
            new TFavorites_Form(&window_, p_, [this](const std::string& f) { ShowFolder(f); });
    }
    favoritesForm_->Open();
    RebuildFavoritesMenu();
}

void MainController::OpenFind(const QString& typed) {
    if (find_ == nullptr) {
        find_ = new TFind_Form(&window_, p_);
    }
    // The dialog plays and queues rows of the list as it found them.
    const Questions::Scope asking(p_.questions);
    find_->Open(typed, *window_.ListScreen);
}

void MainController::ShowPreferences() {
    if (preferences_ == nullptr) {
        preferences_ = new TPreferences_Form(&window_, p_, *engine_, scrobbler_, [this](int style) {
            meters_->SetLevelMeterStyle(style);
            SetViewChecks();
        });
    }
    preferences_->exec();
}

bool MainController::PreferencesShowing() const {
    return preferences_ != nullptr && preferences_->isVisible();
}

void MainController::ShowShortcuts() {
    if (!shortcutsDialog_) {
        shortcutsDialog_ = new QDialog(&window_);
        shortcutsDialog_->setWindowTitle(QStringLiteral("Additional functions"));
        shortcutsDialog_->resize(400, 450);
        auto* layout = new QVBoxLayout(shortcutsDialog_);
        auto* text = new QPlainTextEdit(QString::fromLatin1(kShortcutList), shortcutsDialog_);
        text->setObjectName(QStringLiteral("ShortcutList"));
        text->setReadOnly(true);
        text->setTabStopDistance(200);
        layout->addWidget(text);
    }
    if (const QScreen* screen = window_.screen()) {
        shortcutsDialog_->move(screen->geometry().center() - shortcutsDialog_->rect().center());
    }
    shortcutsDialog_->show();
    shortcutsDialog_->raise();
}

void MainController::ShowDocumentation() {
    // In the program folder, beside the executable where the build puts it, or
    // where an installed program keeps its documentation.
    std::error_code error;
    const std::string executableFolder = QCoreApplication::applicationDirPath().toStdString();
    for (const std::string& folder :
         {p_.ProgramFolder, executableFolder, JoinPath(executableFolder, "../share/doc/mirvo")}) {
        const std::string doc = JoinPath(folder, "Documentation.html");
        if (std::filesystem::exists(doc, error)) {
            p_.ui.desktop.OpenDocument(doc, [this, doc] {
                p_.ui.dialogs.ShowNotice(NoticeKind::Error,
                                         "No program could be started to show the "
                                         "documentation.\r\r" +
                                             doc);
            });
            return;
        }
    }
    p_.ui.dialogs.ShowNotice(NoticeKind::Information,
                             std::string("The documentation could not be found.\rPlease reinstall "
                                         "Mirvo or visit ") +
                                 kMakerAddress + " for more help.");
}

void MainController::ExploreFile() {
    const PlaylistState& pl = p_.playlist;
    std::string folder;
    std::error_code error;
    if (pl.PlaylistEntries.empty()) {
        const std::string playing = FolderOf(pl.PlayingEntry);
        if (!playing.empty() && std::filesystem::is_directory(playing, error)) {
            folder = playing;
        }
    } else {
        const int row = p_.ui.view.ListFocusedRow();
        if (row >= 0 && row < static_cast<int>(pl.PlaylistEntries.size())) {
            const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(row)];
            if (EntryKind(entry) != kKindStream) {
                folder = FolderOf(entry);
            }
        }
    }
    if (folder.empty()) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Warning, "No file selected to open its folder.");
        return;
    }
    ShowFolder(folder);
}

void MainController::ShowFolder(const std::string& folder) {
    ShowFolderOf(p_.ui.desktop, p_.ui.dialogs, folder);
}

void MainController::PropertiesAc() {
    const PlaylistState& pl = p_.playlist;
    const int row = p_.ui.view.ListFocusedRow();
    if (row < 0 || row >= static_cast<int>(pl.PlaylistEntries.size())) {
        return;
    }
    const std::string& entry = pl.PlaylistEntries[static_cast<std::size_t>(row)];
    if (!p_.ui.desktop.ShowItemProperties(entry)) {
        p_.ui.dialogs.ShowNotice(NoticeKind::Error,
                                 "No file manager answered to show the properties of:\r\r" + entry);
    }
}

void MainController::FileInfoAcExecute() {
    if (shortcutsDialog_) {
        shortcutsDialog_->close();
    }
    // Each dialog works on rows of the list: nothing from outside changes it meanwhile.
    const Questions::Scope asking(p_.questions);
    switch (ChoosePropertiesTarget(p_)) {
        case PropertiesTarget::File:
            if (!fileInfoForm_) {
                fileInfoForm_ = new TFileInfo_Form(&window_, p_, *engine_);
            }
            fileInfoForm_->ShowEntry(p_.ui.view.ListFocusedRow());
            break;
        case PropertiesTarget::Renamer:
            if (!renamerForm_) {
                renamerForm_ = new TReplaceFilenames_Form(&window_, p_);
            }
            renamerForm_->ShowSelection();
            break;
        case PropertiesTarget::Station: {
            if (!radioForm_) {
                radioForm_ = new TRadio_Form(&window_, p_.ui.loop);
            }
            const int focused = p_.ui.view.ListFocusedRow();
            const std::string entry =
                p_.playlist.PlaylistEntries[static_cast<std::size_t>(focused)];
            const auto fields = radioForm_->Ask(entry);
            const int row = RowOfEntry(p_.playlist, focused, entry);
            if (fields && row >= 0) {
                SetStationEntry(p_, row, fields->Address, fields->Title);
            }
            break;
        }
        case PropertiesTarget::Nothing:
            break;
    }
}

void MainController::SetProgressMax(int maximum) {
    window_.Progres->SetMax(maximum);
}
int MainController::ProgressMax() const {
    return static_cast<int>(window_.Progres->Max());
}
void MainController::SetProgressPosition(int position) {
    window_.Progres->SetPosition(position);
}
int MainController::ProgressPosition() const {
    return static_cast<int>(window_.Progres->Position());
}

void MainController::ShowVolume(int percent) {
    window_.LabelVolume->setText(QStringLiteral("%1 %").arg(percent));
    window_.VolumeProcesBar->SetPosition(percent);
}

void MainController::SetRecordVisible(bool visible) {
    window_.SpeedButtonRecord->setVisible(visible);
    window_.SpeedButtonRecord->setEnabled(visible);
    QAction* record = Action("RecordStartAc");
    record->setVisible(visible);
    record->setEnabled(visible);
}

void MainController::SetRecordCaption(const std::string& caption) {
    Action("RecordStartAc")->setText(QString::fromStdString(caption));
}

std::string MainController::ThousandsSeparator() const {
    return QLocale::system().groupSeparator().toStdString();
}

void MainController::SetTimeLabelLeft(int left) {
    window_.SetTimeLabelLeft(left);
}

bool MainController::PlayBarVisible() const {
    return p_.values.PlayBar;
}

}  // namespace mirvo
