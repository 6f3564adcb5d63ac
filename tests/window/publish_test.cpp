#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEnterEvent>
#include <QUrl>
#include <fstream>

#include "form_fixture.h"
#include "window/virtual_keys.h"
#include "online/publish_address.h"
#include "online/loopback_server.h"
#include "storage/zlib_stream.h"

namespace {

void Store(const std::vector<RecordEntry>& entries)
{
    std::ofstream("vantorix2.rez", std::ios::binary) << CompressStream(WriteRecordsSnapshot(entries, DesignColumnWidths));
}

// Records what the window opened and answers its message boxes.
struct Opened {
    Opened()
    {
        Saved = TForm1::OpenAddress;
        TForm1::OpenAddress = [this](const QUrl& url) {
            Urls.push_back(url.toString().toStdString());
            return true;
        };
        TForm1::AnswerDialog = [this](QMessageBox::Icon icon, const QString& caption, const QString&,
                                      QMessageBox::StandardButtons) {
            Boxes.push_back({icon, caption.toStdString()});
            return QMessageBox::Ok;
        };
    }
    ~Opened()
    {
        TForm1::OpenAddress = Saved;
        TForm1::AnswerDialog = nullptr;
    }
    std::function<bool(const QUrl&)> Saved;
    std::vector<std::string> Urls;
    std::vector<std::pair<QMessageBox::Icon, std::string>> Boxes;
};

// Publishes and lets the window run until the answer came.
void Publish(TForm1& form)
{
    form.Send_Results();
    QElapsedTimer waited;
    waited.start();
    while (form.Publishing() && waited.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(form.Publishing());
}

}  // namespace

TEST(Publishing, ASuccessIsToldAndOpensTheRecordsPage)
{
    AnsweringServer server(200);
    Store({{"1", "AUTOPILOT", "12.500"}, {"2", "Аня Ли", "9.000"}});
    Opened opened;
    std::ofstream("vantorix2.ini") << "[Online]\nServer=" << server.Host() << "\n";
    ProbeForm form;
    form.RB_RusClick();
    Publish(form);
    {
        std::lock_guard lock(server.Mutex);
        EXPECT_EQ(server.LastTarget, "/datas/html/add.php?name=%C0%ED%FF%20%CB%E8&self=9000&autopilot=12500");
    }
    ASSERT_EQ(opened.Boxes.size(), 1u);
    EXPECT_EQ(opened.Boxes[0], std::make_pair(QMessageBox::NoIcon, std::string("Поздравляем!")));
    EXPECT_EQ(opened.Urls, std::vector<std::string>{"http://" + server.Host() + "/view.php?v=results"});
    EXPECT_FALSE(form.State().MenuToggle) << "flipped by the page and again by the publish";
}

TEST(Publishing, AFailureIsToldInTheWindowsLanguage)
{
    for (int status : {404, 0}) {
        std::unique_ptr<AnsweringServer> server = status ? std::make_unique<AnsweringServer>(status) : nullptr;
        Store({{"1", "Ann", "10"}});
        Opened opened;
        const std::string host = server ? server->Host() : "127.0.0.1:" + std::to_string(ClosedPort());
        std::ofstream("vantorix2.ini") << "[Online]\nServer=" << host << "\n";
        ProbeForm form;
        form.RB_EngClick();
        Publish(form);
        ASSERT_EQ(opened.Boxes.size(), 1u) << status;
        EXPECT_EQ(opened.Boxes[0], std::make_pair(QMessageBox::Critical, std::string("Error!"))) << status;
        EXPECT_TRUE(opened.Urls.empty()) << status;
        EXPECT_TRUE(form.State().MenuToggle) << status;
    }
}

// A server that takes the connection and never answers: the window goes on
// (its timers fire, it repaints) until the publish gives up, then tells it
// as before; a second publish meanwhile starts nothing.
TEST(Publishing, TheWindowGoesOnWhileTheServerSaysNothing)
{
    SilentServer server;
    Store({{"1", "Ann", "10"}});
    Opened opened;
    std::ofstream("vantorix2.ini") << "[Online]\nServer=127.0.0.1:" << server.Port << "\n";
    const CheckUrlLimits saved = TForm1::PublishLimits;
    TForm1::PublishLimits.TotalMilliseconds = 1500;
    ProbeForm form;
    form.show();
    form.RB_EngClick();
    struct PaintCounter : QObject {
        int Paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            Paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    form.ClientArea->installEventFilter(&counter);
    int fired = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++fired;
        form.ClientArea->update();
    });
    timer.start(50);
    form.Send_Results();
    ASSERT_TRUE(form.Publishing());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    form.Send_Results();
    form.KeyPressDown(VK_RETURN);
    EXPECT_FALSE(form.Game->Running) << "no keys until the answer";
    Publish(form);
    TForm1::PublishLimits = saved;
    EXPECT_GE(fired, 10);
    EXPECT_GE(counter.Paints, 5);
    ASSERT_EQ(opened.Boxes.size(), 1u);
    EXPECT_EQ(opened.Boxes[0], std::make_pair(QMessageBox::Critical, std::string("Error!")));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form.State().MenuToggle);
}

TEST(Links, WithoutAServerInTheOptionsTheDefaultOneIsShown)
{
    const QString site = QString::fromStdString(SiteAddress(DefaultRecordsServer));
    for (const char* options : {"", "[Online]\nServer=\n", "[Online]\nServer=  \nMail=\n"}) {
        if (*options)
            std::ofstream("vantorix2.ini") << options;
        ProbeForm form;
        EXPECT_EQ(form.Label10->text(), site) << options;
        EXPECT_EQ(form.Label12->text(), site) << options;
        EXPECT_EQ(form.Label9->text(), "E-mail...") << options;
    }
}

TEST(Links, TheOptionsNameTheServerAndTheMailAndTheLabelsOpenThem)
{
    std::ofstream("vantorix2.ini") << "[Online]\nServer=records.test:9000\nMail=team@records.test\n";
    Opened opened;
    ProbeForm form;
    EXPECT_EQ(form.Label12->text(), "http://records.test:9000/");
    EXPECT_EQ(form.Label9->text(), "team@records.test");
    emit form.Label12->clicked();
    emit form.Label10->clicked();
    emit form.Label5->clicked();
    emit form.Label4->clicked();
    EXPECT_EQ(opened.Urls, (std::vector<std::string>{"http://records.test:9000/", "http://records.test:9000/",
                                                     "mailto:team@records.test?subject=VANTORIX2 1.3",
                                                     "http://records.test:9000/view.php?v=results"}));
    form.close();   // writes the options
    std::ifstream in("vantorix2.ini");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("[Online]\nServer=records.test:9000\nMail=team@records.test\n"), std::string::npos)
        << "kept as it was";
}

TEST(Links, HoveringUnderlinesAndKeepsBoldAndItalic)
{
    ProbeForm form;
    for (QLabel* link : std::initializer_list<QLabel*>{form.Label4, form.Label5, form.Label11, form.Label9,
                                                       form.Label10, form.Label12}) {
        const QFont before = link->font();
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(link, &enter);
        EXPECT_TRUE(link->font().underline()) << link->objectName().toStdString();
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(link, &leave);
        EXPECT_FALSE(link->font().underline()) << link->objectName().toStdString();
        EXPECT_EQ(link->font().bold(), before.bold());
        EXPECT_EQ(link->font().italic(), before.italic());
    }
    // Labels that are no links stay as they are.
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(form.Label7, &enter);
    EXPECT_FALSE(form.Label7->font().underline());
}
