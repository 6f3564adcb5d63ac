// The real game on a private Xvfb display under the openbox window manager,
// as a player has it: driven with real key and mouse events (xdotool,
// XTEST), watched through the window manager's own properties (xprop) and a
// capture of the screen.

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A server of the session, quiet; it dies with the test, even a crashed one.
void Spawn(const std::vector<std::string>& command, int keepFd = -1)
{
    if (fork() == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (keepFd >= 0)
            dup2(keepFd, 3);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        std::vector<char*> argv;
        for (const std::string& word : command)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

// Runs an X tool on the private display and returns what it printed.
QString Tool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

QString Property(const QString& window, const char* name)
{
    return window.isEmpty() ? Tool("xprop", {"-root", name}) : Tool("xprop", {"-id", window, name});
}

// The windows in the task list, as the window manager keeps it.
QStringList Clients()
{
    const QString list = Property({}, "_NET_CLIENT_LIST");
    return list.section('#', 1).remove(' ').split(',', Qt::SkipEmptyParts);
}

QString ActiveWindow()
{
    return Property({}, "_NET_ACTIVE_WINDOW").section('#', 1).trimmed();
}

QRect Geometry(const QString& window)
{
    const QString info = Tool("xwininfo", {"-id", window});
    const auto field = [&](const char* name) { return info.section(name, 1).section('\n', 0, 0).trimmed().toInt(); };
    return {field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"), field("Height:")};
}

QColor ScreenPixel(QPoint at)
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixelColor(at);
}

void Keys(const QStringList& keys)
{
    Tool("xdotool", QStringList{"key", "--delay", "30"} + keys);
}

void Click(QPoint at)
{
    Tool("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

const QColor Navy(0, 0, 0x80), ListBack(0xD4, 0xD0, 0xC8), Background(0x6A, 0x6A, 0x6A);

// The game, started in a folder of its own, as the one window of the desktop.
class Desktop : public ::testing::Test {
protected:
    void SetUp() override { Start(true); }

    void Start(bool focused)
    {
        ASSERT_TRUE(Folder.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Folder.path());
        env.insert("XDG_RUNTIME_DIR", Folder.path());
        env.insert("PULSE_SERVER", "unix:" + Folder.filePath("none"));   // silent, and none is started
        // The D-Bus library leaks a buffer of its own at exit.
        env.insert("LSAN_OPTIONS", "suppressions=" VANTORIX2_LSAN_SUPPRESSIONS);
        Game.setProcessEnvironment(env);
        Game.setWorkingDirectory(Folder.path());
        Game.setProcessChannelMode(QProcess::MergedChannels);
        Game.start(VANTORIX2_BINARY, {});
        ASSERT_TRUE(Game.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return Clients().size() == 1 && (!focused || ActiveWindow() == Clients()[0]); }, 20000))
            << "the game window never came up: " << Game.readAll().toStdString();
        Window = Clients()[0];
        Home = Geometry(Window);
        Design = Home.topLeft();
    }

    void TearDown() override
    {
        if (Game.state() == QProcess::Running) {
            Tool("wmctrl", {"-i", "-c", Window});   // closed as the window manager closes it
            if (!Game.waitForFinished(10000))
                Game.kill();
        }
        const QString log = QString::fromUtf8(Game.readAll());
        EXPECT_FALSE(log.contains("Sanitizer")) << log.toStdString();
        EXPECT_EQ(Game.exitStatus(), QProcess::NormalExit) << log.toStdString();
    }

    bool FullScreen() const { return Property(Window, "_NET_WM_STATE").contains("_NET_WM_STATE_FULLSCREEN"); }
    QString Title() const { return Property(Window, "_NET_WM_NAME").section('"', 1, 1); }
    bool Iconic() const { return Property(Window, "WM_STATE").contains("Iconic"); }
    QString Options() const
    {
        QFile file(Folder.filePath("vantorix2.ini"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir Folder;
    QProcess Game;
    QString Window;
    QRect Home;      // where the window stands at start
    QPoint Design;   // the screen point of the design's top left corner
};

// The window manager of the session, replaced by one started with config
// (empty: its own defaults); returns once the new one runs.
void ReplaceWindowManager(const QString& config)
{
    const QString before = Property({}, "_NET_SUPPORTING_WM_CHECK");
    std::vector<std::string> command{"openbox", "--replace", "--sm-disable"};
    if (!config.isEmpty())
        command.insert(command.end(), {"--config-file", config.toStdString()});
    Spawn(command);
    WaitFor([&] {
        const QString now = Property({}, "_NET_SUPPORTING_WM_CHECK");
        return now.contains('#') && now != before;
    });
}

// Started where new windows get no focus (as a window started from a
// terminal often has it): nothing has activated it yet.
class UnfocusedStart : public Desktop {
protected:
    void SetUp() override
    {
        QFile config(Folder.filePath("rc.xml"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("<openbox_config xmlns=\"http://openbox.org/3.4/rc\"><focus><focusNew>no</focusNew>"
                     "</focus></openbox_config>\n");
        config.close();
        ReplaceWindowManager(config.fileName());
        Start(false);
    }
    void TearDown() override
    {
        Desktop::TearDown();
        ReplaceWindowManager({});
    }
};

TEST_F(UnfocusedStart, TheFirstFrameShowsOneLanguageTheOptionsOne)
{
    const QRect captions(Design + QPoint(45, 105), QSize(209, 362));   // the level heading and the key help
    ASSERT_TRUE(WaitFor([&] { return ScreenPixel(captions.topLeft() + QPoint(150, 100)) != QColor(Qt::black); }));
    QTest::qWait(300);
    EXPECT_NE(ActiveWindow(), Window);
    const QImage first = QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(captions);
    Tool("wmctrl", {"-i", "-a", Window});   // its first activation reads the options again
    ASSERT_TRUE(WaitFor([&] { return ActiveWindow() == Window; }));
    QTest::qWait(300);
    EXPECT_EQ(QGuiApplication::primaryScreen()->grabWindow(0).toImage().copy(captions), first)
        << "the captions changed at the first activation";
    EXPECT_TRUE(Options().contains("English=1"));
}

TEST_F(Desktop, AClickOnTheBlackInFullScreenLeavesTheGameInFront)
{
    Keys({"f"});
    const QRect screen(0, 0, 1024, 768);
    ASSERT_TRUE(WaitFor([&] { return FullScreen() && Geometry(Window) == screen; }))
        << FullScreen() << " " << Tool("xwininfo", {"-id", Window}).toStdString();
    Design = QPoint((1024 - 800) / 2, (768 - 600) / 2);
    Keys({"Return"});   // a game runs: a click opens no menu
    Click({10, 10});
    QTest::qWait(300);
    EXPECT_EQ(Clients(), QStringList{Window}) << "one entry in the task list";
    EXPECT_EQ(ActiveWindow(), Window);
    EXPECT_EQ(ScreenPixel({10, 10}), QColor(Qt::black));
    EXPECT_EQ(ScreenPixel(Design + QPoint(650, 500)), ListBack) << "the records list is in view";
    EXPECT_EQ(ScreenPixel(Design + QPoint(270, 300)), Background);

    Keys({"f"});
    EXPECT_TRUE(WaitFor([&] { return !FullScreen() && Geometry(Window) == Home; })) << "back where it was";
}

TEST_F(Desktop, TheBossKeyHidesTheGameAndARestoreReadsTheOptions)
{
    Keys({"f"});
    ASSERT_TRUE(WaitFor([&] { return FullScreen(); }));
    QFile::remove(Folder.filePath("vantorix2.ini"));
    Keys({"Escape"});
    ASSERT_TRUE(WaitFor([&] { return Iconic(); })) << "minimised to the task list";
    EXPECT_TRUE(WaitFor([&] { return Title() == "Reports"; })) << Title().toStdString();
    EXPECT_TRUE(WaitFor([&] { return Options().contains("English=1"); })) << "written while away";
    QFile file(Folder.filePath("vantorix2.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Options]\nEnglish=0\nRussian=1\n");
    file.close();

    Tool("wmctrl", {"-i", "-a", Window});   // as a click on its task-list entry
    ASSERT_TRUE(WaitFor([&] { return !Iconic() && ActiveWindow() == Window; }));
    EXPECT_TRUE(WaitFor([&] { return Title() == "Vantorix II"; })) << Title().toStdString();
    EXPECT_TRUE(FullScreen()) << "back in full screen";
    QTest::qWait(300);
    EXPECT_FALSE(Iconic()) << "and it stays";
    Keys({"Escape"});
    ASSERT_TRUE(WaitFor([&] { return Iconic(); }));
    EXPECT_TRUE(WaitFor([&] { return Options().contains("Russian=1\n"); }))
        << "read on return, written again: " << Options().toStdString();
}

TEST_F(Desktop, TheGameHasTheKeysAgainAfterItsDialogs)
{
    // The colour dialog, from a panel of the options.
    Keys({"o"});
    ASSERT_TRUE(WaitFor([&] { return ScreenPixel(Design + QPoint(270, 140)) == Navy; }));
    Click(Design + QPoint(257 + 51 + 15, 120 + 129 + 15));
    ASSERT_TRUE(WaitFor([&] { return Clients().size() == 2 && ActiveWindow() != Window; })) << "the dialog opens";
    Keys({"Escape"});
    ASSERT_TRUE(WaitFor([&] { return Clients().size() == 1 && ActiveWindow() == Window; }));
    Keys({"o"});
    EXPECT_TRUE(WaitFor([&] { return ScreenPixel(Design + QPoint(270, 140)) == Background; }))
        << "O reached the game: the options closed";

    // An erase question, in Russian, from the menu: a record first.
    Keys({"Return", "Return", "Return", "l"});
    Click(Design + QPoint(270, 300));
    QTest::qWait(300);
    Keys({"Down", "Down", "Down", "Down", "Return"});   // past the watch item: the record has its replay
    ASSERT_TRUE(WaitFor([&] { return Tool("wmctrl", {"-l"}).contains("Отвечать быстро!!!"); }));
    Keys({"Escape"});
    ASSERT_TRUE(WaitFor([&] { return Clients().size() == 1 && ActiveWindow() == Window; }));
    Keys({"F1"});
    EXPECT_TRUE(WaitFor([&] { return ScreenPixel(Design + QPoint(542, 384)) == Navy; }))
        << "F1 reached the game: the about panel opened";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir folder;
    // Xvfb picks a free display and tells it through descriptor 3.
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return 1;
    Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, pipeEnds[1]);
    close(pipeEnds[1]);
    pollfd ready{pipeEnds[0], POLLIN, 0};
    char number[16] = {};
    if (poll(&ready, 1, 10000) != 1 || read(pipeEnds[0], number, sizeof number - 1) <= 0) {
        fprintf(stderr, "Xvfb did not start (packages xvfb, openbox, xdotool, wmctrl, x11-utils)\n");
        return 1;
    }
    const QString display = ":" + QString(number).trimmed();
    qputenv("DISPLAY", display.toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("HOME", folder.path().toUtf8());
    Spawn({"openbox", "--sm-disable"});
    QGuiApplication app(argc, argv);
    if (!WaitFor([] { return Property({}, "_NET_SUPPORTING_WM_CHECK").contains('#'); }, 10000)) {
        fprintf(stderr, "openbox did not start on %s\n", qPrintable(display));
        return 1;
    }
    return RUN_ALL_TESTS();
}
