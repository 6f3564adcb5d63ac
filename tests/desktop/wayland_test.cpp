// The real game natively on Wayland, on a headless sway of its own: driven
// with virtual-keyboard keys (wtype), watched through the compositor's window
// tree (swaymsg) and pictures of its output (grim).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool SwayInstalled = false;
QString WaylandSocket;   // the compositor's, by its full path

// A server of the session, writing to log; it dies with the test.
pid_t Spawn(const QStringList& command, const QString& log, const std::function<bool()>& prepare = {})
{
    std::vector<QByteArray> words;
    for (const QString& word : command)
        words.push_back(word.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const QByteArray logPath = log.toLocal8Bit();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(out, 2);
        if (prepare && !prepare())
            _exit(126);
        // After any change of user, which clears it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int k = 0; k < 50 && waitpid(pid, nullptr, WNOHANG) == 0; ++k)
        usleep(100000);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, WNOHANG);
}

QByteArray Tool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return process.readAllStandardOutput();
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

QRect RectOf(const QJsonObject& node)
{
    const QJsonObject r = node["rect"].toObject();
    return {r["x"].toInt(), r["y"].toInt(), r["width"].toInt(), r["height"].toInt()};
}

// The compositor's nodes of the windows of process pid.
QList<QJsonObject> WindowsOf(const QJsonObject& node, qint64 pid)
{
    QList<QJsonObject> found;
    if (node["pid"].toInteger() == pid)
        found << node;
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node[children].toArray())
            found << WindowsOf(child.toObject(), pid);
    return found;
}

QRect OutputRect()
{
    return RectOf(QJsonDocument::fromJson(Tool("swaymsg", {"-t", "get_outputs"})).array().at(0).toObject());
}

QImage Grab(QRect area)
{
    const QString region = QString("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    return QImage::fromData(Tool("grim", {"-g", region, "-"}), "PNG");
}

// Where anything but black shows: cells in the well.
QRect Coloured(const QImage& picture)
{
    QRect box;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) & 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
    return box;
}

bool OneColour(const QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != picture.pixel(0, 0))
                return false;
    return !picture.isNull();
}

void Keys(const QStringList& keys)
{
    QStringList arguments;
    for (const QString& key : keys)
        arguments << "-k" << key << "-s" << "30";
    Tool("wtype", arguments);
}

// Places in the 800 x 600 design.
const QRect Captions(45, 105, 209, 362);   // the level heading and the key help
const QRect Well(291, 19, 218, 559);       // the black inside the paint box
const QRect NameEntry(552, 17, 193, 30);
constexpr int Cell = 31;   // the well's pitch: 7 columns of 18 rows

class Wayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SwayInstalled)
            GTEST_SKIP() << "sway is not installed (packages sway, wtype, grim)";
        ASSERT_TRUE(Folder.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("WAYLAND_DISPLAY", WaylandSocket);
        env.insert("HOME", Folder.path());
        env.insert("XDG_RUNTIME_DIR", Folder.path());
        env.insert("PULSE_SERVER", "unix:" + Folder.filePath("none"));
        // The window is borderless: with no decorations to ask about, Qt
        // leaves EGL unloaded, whose driver leaks at exit beyond naming.
        env.insert("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
        env.insert("LSAN_OPTIONS", "suppressions=" VANTORIX2_LSAN_SUPPRESSIONS);
        Game.setProcessEnvironment(env);
        Game.setWorkingDirectory(Folder.path());
        Game.setProcessChannelMode(QProcess::MergedChannels);
        Game.start(VANTORIX2_BINARY, {});
        ASSERT_TRUE(Game.waitForStarted(5000));
        // Mapped, and floated by the rule of the configuration.
        ASSERT_TRUE(WaitFor([&] { return Node()["type"] == "floating_con"; }, 20000))
            << "the game window never came up: " << Game.readAll().toStdString();
        // Its first picture on the output, not the desktop behind it.
        ASSERT_TRUE(WaitFor([&] { return !OneColour(First = Grab(InDesign(Captions))); }));
        EXPECT_TRUE(WaitFor([&] { return Node()["focused"].toBool(); })) << "focused from the start";
        Home = RectOf(Node());
    }

    void TearDown() override
    {
        if (Game.state() == QProcess::Running)
            Close();
        const QString log = QString::fromUtf8(Game.readAll());
        EXPECT_FALSE(log.contains("Sanitizer")) << log.toStdString();
        EXPECT_FALSE(log.contains("qt.qpa.wayland")) << "Qt has nothing to warn of: " << log.toStdString();
        EXPECT_EQ(Game.exitStatus(), QProcess::NormalExit) << log.toStdString();
    }

    // Closed as the compositor closes it.
    void Close()
    {
        Tool("swaymsg", {QString("[pid=%1] kill").arg(Game.processId())});
        if (!Game.waitForFinished(10000))
            Game.kill();
    }

    QList<QJsonObject> Windows() const
    {
        return WindowsOf(QJsonDocument::fromJson(Tool("swaymsg", {"-t", "get_tree"})).object(), Game.processId());
    }
    QJsonObject Node() const { return Windows().value(0); }
    QString Title() const { return Node()["name"].toString(); }
    bool FullScreen() const { return Node()["fullscreen_mode"].toInt() == 1; }
    // A place of the design on the screen: the design is centred in the window.
    QRect InDesign(QRect area) const
    {
        const QRect window = RectOf(Node());
        const QPoint design = window.topLeft() + QPoint((window.width() - 800) / 2, (window.height() - 600) / 2);
        return area.translated(design);
    }
    QRect Figure() const { return Coloured(Grab(InDesign(Well))); }
    QString Options() const
    {
        QFile file(Folder.filePath("vantorix2.ini"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QByteArray Records() const
    {
        QFile file(Folder.filePath("vantorix2.rez"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        // A bare zlib stream: qUncompress wants a size hint before it.
        return qUncompress(QByteArray("\x00\x10\x00\x00", 4) + file.readAll());
    }

    QTemporaryDir Folder;
    QProcess Game;
    QImage First;   // the captions as first shown
    QRect Home;     // where the window stands at start
};

TEST_F(Wayland, AFreshFolderShowsEnglishFromTheFirstFrame)
{
    ASSERT_FALSE(First.isNull());
    Keys({"l"});
    ASSERT_TRUE(WaitFor([&] { return Grab(InDesign(Captions)) != First; })) << "L switched the language";
    Keys({"l"});
    EXPECT_TRUE(WaitFor([&] { return Grab(InDesign(Captions)) == First; }))
        << "the first frame showed the captions that L came back to, not others replaced later";
    Close();
    EXPECT_TRUE(Options().contains("English=1")) << "and they were English: " << Options().toStdString();
}

TEST_F(Wayland, KeysPlayInTheWell)
{
    EXPECT_TRUE(Figure().isEmpty());
    Keys({"Return"});
    QRect figure;
    ASSERT_TRUE(WaitFor([&] { return !(figure = Figure()).isEmpty(); })) << "Enter started a game";
    Keys({"Left"});
    EXPECT_TRUE(WaitFor([&] { return Figure().left() == figure.left() - Cell; })) << "one column left";
    Keys({"space"});
    EXPECT_TRUE(WaitFor([&] { return Figure().bottom() >= Well.height() - Cell; })) << "dropped to the floor";
}

TEST_F(Wayland, FTogglesOneFullScreenWindowWithTheGameInIt)
{
    const QImage windowed = Grab(InDesign(QRect(0, 0, 800, 600)));
    Keys({"f"});
    ASSERT_TRUE(WaitFor([&] { return FullScreen() && RectOf(Node()) == OutputRect(); }))
        << QJsonDocument(Node()).toJson().toStdString();
    const QRect screen = OutputRect();
    EXPECT_TRUE(WaitFor([&] { return Grab(QRect(screen.topLeft(), QSize(1, 1))).pixelColor(0, 0) == Qt::black; }))
        << "the window itself covers the screen, black around the design";
    EXPECT_EQ(Grab(InDesign(QRect(0, 0, 800, 600))), windowed) << "the game drawn in the middle, as it was";
    EXPECT_EQ(Windows().size(), 1) << "one window";

    Keys({"f"});
    EXPECT_TRUE(WaitFor([&] { return !FullScreen() && RectOf(Node()) == Home; })) << "back where it was";
}

// sway has no minimising: the boss key still pauses the game, hides it and
// says "Reports", and the next key only brings it back.
TEST_F(Wayland, TheBossKeyCoversThePausedGameWhereNothingMinimises)
{
    Keys({"Return", "f"});
    QRect before;
    ASSERT_TRUE(WaitFor([&] { return FullScreen() && !(before = Figure()).isEmpty(); }));
    QFile::remove(Folder.filePath("vantorix2.ini"));
    Keys({"Escape"});
    ASSERT_TRUE(WaitFor([&] { return Title() == "Reports"; })) << Title().toStdString();
    EXPECT_TRUE(WaitFor([&] { return !FullScreen() && RectOf(Node()) == Home; })) << "the desktop while away";
    EXPECT_TRUE(WaitFor([&] { return OneColour(Grab(RectOf(Node()))); })) << "nothing of the game in view";
    EXPECT_TRUE(WaitFor([&] { return Options().contains("English=1"); })) << "written while away";
    QTest::qWait(3000);

    Keys({"Left"});
    EXPECT_TRUE(WaitFor([&] { return Title() == "Vantorix II" && FullScreen(); })) << "back, in full screen";
    QRect after;
    // Once the page is gone from the picture too.
    ASSERT_TRUE(WaitFor([&] { return !(after = Figure()).isEmpty() && after.size() != Well.size(); }));
    EXPECT_LT(after.bottom() - before.bottom(), 2 * Cell) << "paused while away";
    EXPECT_EQ(after.left(), before.left()) << "the key that brought it back did nothing else";
}

TEST_F(Wayland, ANameTypedOverTheProposedOneIsKept)
{
    const QImage closed = Grab(InDesign(NameEntry));
    Keys({"Return"});
    ASSERT_TRUE(WaitFor([&] { return !Figure().isEmpty(); }));
    Keys({"space"});
    ASSERT_TRUE(WaitFor([&] { return Figure().bottom() >= Well.height() - Cell; }));
    Keys({"Return"});   // the game ends, and its score enters the records
    ASSERT_TRUE(WaitFor([&] { return Grab(InDesign(NameEntry)) != closed; })) << "the name entry opened";
    // Each of them a command key outside the name entry.
    Tool("wtype", {"Olaf"});
    Keys({"Return"});
    ASSERT_TRUE(WaitFor([&] { return Records().contains("Olaf"); })) << "the typed name kept";
    EXPECT_FALSE(Records().contains(getpwuid(geteuid())->pw_name)) << "the proposed login name is gone";
    EXPECT_FALSE(FullScreen()) << "F went to the name";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    SwayInstalled = !QStandardPaths::findExecutable("sway").isEmpty();
    if (!SwayInstalled)
        return RUN_ALL_TESTS();

    // sway refuses to run as root; there it runs as nobody, in a runtime
    // folder of that user's, which root can still reach.
    QTemporaryDir runtime, logs;
    const bool root = geteuid() == 0;
    const passwd* nobody = getpwnam("nobody");
    if (root && (!nobody || chown(runtime.path().toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid) != 0)) {
        fprintf(stderr, "no user nobody to run sway as\n");
        return 1;
    }
    const uid_t uid = root ? nobody->pw_uid : geteuid();
    const gid_t gid = root ? nobody->pw_gid : getegid();
    QFile config(runtime.filePath("config"));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    // No bar, no wallpaper; windows float at their own size, as on a
    // stacking desktop.
    config.write("xwayland disable\n"
                 "output * resolution 1024x768 position 0 0\n"
                 "default_border none\n"
                 "default_floating_border none\n"
                 "for_window [app_id=\".*\"] floating enable\n");
    config.close();
    const QByteArray runtimePath = runtime.path().toLocal8Bit();
    const QString swayLog = logs.filePath("sway.log");
    const pid_t sway = Spawn({"sway", "-c", config.fileName()}, swayLog, [&] {
        setenv("XDG_RUNTIME_DIR", runtimePath.constData(), 1);
        setenv("WLR_BACKENDS", "headless", 1);
        setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
        setenv("WLR_RENDERER", "pixman", 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("DISPLAY");
        return !root || (setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0);
    });
    QDir folder(runtime.path());
    const auto socket = [&](const char* pattern) {
        const QStringList found = folder.entryList({pattern}, QDir::System);
        return found.isEmpty() ? QString() : folder.filePath(found[0]);
    };
    if (!WaitFor([&] { return !socket("wayland-[0-9]").isEmpty() && !socket("sway-ipc.*.sock").isEmpty(); }, 10000)) {
        QFile log(swayLog);
        log.open(QIODevice::ReadOnly);
        fprintf(stderr, "sway did not start:\n%s\n", log.readAll().constData());
        Stop(sway);
        return 1;
    }
    WaylandSocket = socket("wayland-[0-9]");
    qputenv("WAYLAND_DISPLAY", WaylandSocket.toLocal8Bit());
    qputenv("SWAYSOCK", socket("sway-ipc.*.sock").toLocal8Bit());
    qunsetenv("DISPLAY");
    // A keyboard that stays: each wtype brings one of its own, and a seat
    // left without any takes the focus from every window.
    const pid_t keyboard = Spawn({"wtype", "-s", "3600000"}, logs.filePath("wtype.log"));
    int result = 1;
    if (WaitFor([] { return Tool("swaymsg", {"-t", "get_inputs"}).contains("\"keyboard\""); }))
        result = RUN_ALL_TESTS();
    else
        fprintf(stderr, "no keyboard came up (package wtype)\n");
    Stop(keyboard);
    Stop(sway);
    return result;
}
