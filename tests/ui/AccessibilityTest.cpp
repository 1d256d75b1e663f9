// The window as a screen reader sees it: AT-SPI on the test's own session bus
// (started around this test by dbus-run-session, the accessibility bus and
// registry activated on it), Qt's accessibility switched on, the window on
// Xvfb, and pyatspi as the client in a process of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include "engine/EngineFixtures.h"
#include "fakes/FakeServices.h"
#include "fakes/StartedWindow.h"
#include "fakes/WhenShown.h"
#include "ui/PreferencesForm.h"

namespace mirvo {
namespace {

struct Node {
    int depth = 0;
    QString role, name, description;
    QStringList states;
    int children = 0;
    double value = -1;
};

// The client's lines; the loop runs meanwhile, so the window can answer it.
class Client {
  public:
    explicit Client(const QStringList& args) {
        process_.start(QStringLiteral("/usr/bin/python3"),
                       QStringList{QStringLiteral(MIRVO_ATSPI_CLIENT)} + args);
    }
    // The next line, waiting for it up to 30 s.
    QString Line() {
        for (int i = 0; i < 3000 && !process_.canReadLine(); ++i) {
            if (process_.state() == QProcess::NotRunning && !process_.canReadLine()) {
                return {};
            }
            QTest::qWait(10);
        }
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    bool Finish() {
        for (int i = 0; i < 6000 && process_.state() != QProcess::NotRunning; ++i) {
            QTest::qWait(10);
        }
        rest_ += QString::fromUtf8(process_.readAllStandardOutput());
        if (process_.exitCode() != 0) {
            ADD_FAILURE() << process_.readAllStandardError().toStdString();
        }
        return process_.exitCode() == 0;
    }
    QString Rest() const { return rest_; }
    ~Client() {
        process_.kill();
        process_.waitForFinished();
    }

  private:
    QProcess process_;
    QString rest_;
};

std::vector<Node> Tree() {
    Client client({QStringLiteral("tree"), QString::number(::getpid())});
    EXPECT_TRUE(client.Finish());
    std::vector<Node> nodes;
    for (const QString& line : client.Rest().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        Node n;
        n.depth = o[QLatin1String("depth")].toInt();
        n.role = o[QLatin1String("role")].toString();
        n.name = o[QLatin1String("name")].toString();
        n.description = o[QLatin1String("description")].toString();
        for (const auto& s : o[QLatin1String("states")].toArray()) {
            n.states << s.toString();
        }
        n.children = o[QLatin1String("children")].toInt();
        n.value = o[QLatin1String("value")].toDouble(-1);
        nodes.push_back(n);
    }
    return nodes;
}

// The nodes below the first one with `role` and `name`, that one included.
std::vector<Node> Below(const std::vector<Node>& nodes, const QString& role, const QString& name) {
    std::vector<Node> out;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].role == role && nodes[i].name == name) {
            out.push_back(nodes[i]);
            for (std::size_t j = i + 1; j < nodes.size() && nodes[j].depth > nodes[i].depth; ++j) {
                out.push_back(nodes[j]);
            }
            break;
        }
    }
    return out;
}

const Node* Find(const std::vector<Node>& nodes, const QString& role, const QString& name) {
    for (const Node& n : nodes) {
        if (n.role == role && n.name == name) {
            return &n;
        }
    }
    return nullptr;
}

// What the keyboard reaches has a name; rows and cells are read by their text,
// which may be empty.
void ExpectNamed(const std::vector<Node>& nodes) {
    for (const Node& n : nodes) {
        if (n.states.contains(QLatin1String("focusable")) && n.role != QLatin1String("list item") &&
            n.role != QLatin1String("table cell")) {
            EXPECT_FALSE(n.name.trimmed().isEmpty())
                << "a " << n.role.toStdString() << " without a name at depth " << n.depth;
        }
    }
}

QString Dump(const std::vector<Node>& nodes) {
    QString out;
    for (const Node& n : nodes) {
        out += QString(n.depth * 2, QLatin1Char(' ')) + n.role + QStringLiteral(" \"") + n.name +
               QLatin1Char('"');
        if (!n.description.isEmpty()) {
            out += QStringLiteral(" (") + n.description + QLatin1Char(')');
        }
        if (n.value >= 0) {
            out += QStringLiteral(" value ") + QString::number(n.value);
        }
        out += QLatin1Char('\n');
    }
    return out;
}

class Accessibility : public test::WindowTest {
  protected:
    void SetUp() override {
        for (const char* name : {"First song", "Second song", "Third song"}) {
            const std::string wav = home / (std::string(name) + ".wav");
            test::WriteWav(wav, test::Tone(44100, 30.0, 440), 44100);
            files.push_back(wav);
        }
        Open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->window));
    }
};

TEST_F(Accessibility, TheWindowsControlsAreNamedAndTheListAndBarsRead) {
    QTest::keyClick(app->window.ListScreen, Qt::Key_Return);  // the first song plays
    app->controller.engine().StatusTick();
    const std::vector<Node> tree = Tree();
    const std::vector<Node> window =
        Below(tree, QStringLiteral("frame"), app->window.windowTitle());
    ASSERT_FALSE(window.empty()) << Dump(tree).toStdString();
    QFile dump(QStringLiteral("accessibility-tree.txt"));
    if (dump.open(QIODevice::WriteOnly)) {
        dump.write(Dump(window).toUtf8());
    }
    ExpectNamed(window);
    for (const char* button : {"Play", "Pause", "Stop", "Previous", "Next"}) {
        EXPECT_TRUE(Find(window, QStringLiteral("push button"), QLatin1String(button))) << button;
    }
    const std::vector<Node> list =
        Below(window, QStringLiteral("list"), QStringLiteral("Playlist"));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].children, 3);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].name, QStringLiteral("First song.wav"));
    EXPECT_EQ(list[1].description, QStringLiteral("playing"));
    EXPECT_TRUE(list[1].states.contains(QLatin1String("selected")));
    EXPECT_EQ(list[2].name, QStringLiteral("Second song.wav"));
    EXPECT_TRUE(list[2].description.isEmpty());

    const Node* position = Find(window, QStringLiteral("progress bar"), QStringLiteral("Position"));
    ASSERT_TRUE(position);
    EXPECT_EQ(position->description, QStringLiteral("0:00 of 0:30"));
    const Node* volume = Find(window, QStringLiteral("slider"), QStringLiteral("Volume"));
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->value, 100);
    EXPECT_EQ(volume->description, QStringLiteral("100 %"));
    // The meters are pictures, with no value to read out.
    for (const Node& n : window) {
        if (n.name == QLatin1String("Level meter") && n.role != QLatin1String("menu item")) {
            EXPECT_EQ(n.role, QStringLiteral("image"));
            EXPECT_LT(n.value, 0);
        }
    }
    EXPECT_TRUE(Find(window, QStringLiteral("menu"), QStringLiteral("File")) ||
                Find(window, QStringLiteral("menu item"), QStringLiteral("File")));

    // Volume down twice: the slider reads the new value.
    for (int i = 0; i < 2; ++i) {
        QTest::keyClick(app->window.ListScreen, Qt::Key_Minus, Qt::KeypadModifier);
    }
    const int percent = app->player.engine.Volume / 10;
    ASSERT_LT(percent, 100);
    const std::vector<Node> later = Tree();
    const Node* after = Find(later, QStringLiteral("slider"), QStringLiteral("Volume"));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->value, percent);
    EXPECT_EQ(after->description, QStringLiteral("%1 %").arg(percent));
}

TEST_F(Accessibility, MovingTheCursorRowTellsTheNewRow) {
    app->window.activateWindow();
    app->window.ListScreen->setFocus();
    Client listener({QStringLiteral("focus"), QString::number(::getpid()), QStringLiteral("20")});
    ASSERT_EQ(listener.Line(), QStringLiteral("ready"));
    QTest::keyClick(app->window.ListScreen, Qt::Key_Down);
    QString heard;
    for (int i = 0; i < 5 && !heard.contains(QLatin1String("Second song")); ++i) {
        heard += listener.Line();
    }
    EXPECT_TRUE(
        heard.contains(QLatin1String("\"focus\": \"Second song.wav\", \"role\": \"list item\"")))
        << heard.toStdString();
}

TEST_F(Accessibility, EveryControlOfTheSettingsIsNamed) {
    bool looked = false;
    test::WhenShown<TPreferences_Form>([&](TPreferences_Form& form) {
        looked = true;
        const std::vector<Node> settings =
            Below(Tree(), QStringLiteral("dialog"), QStringLiteral("Settings"));
        EXPECT_GT(settings.size(), 50u);
        QFile dump(QStringLiteral("accessibility-settings.txt"));
        if (dump.open(QIODevice::WriteOnly)) {
            dump.write(Dump(settings).toUtf8());
        }
        ExpectNamed(settings);
        for (const char* named : {"Settings pages", "Music folders", "Global hotkeys",
                                  "Mirvo output:", "Username:", "Choose temp folder"}) {
            bool found = false;
            for (const Node& n : settings) {
                found = found || n.name == QLatin1String(named);
            }
            EXPECT_TRUE(found) << named;
        }
        form.reject();
    });
    QTest::keyClick(app->window.ListScreen, Qt::Key_F6);
    EXPECT_TRUE(looked);
}

}  // namespace
}  // namespace mirvo
