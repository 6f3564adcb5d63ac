// The desktop window's own picture of the well at the end of a watched
// replay, in the flat colour mode, against a picture of the web edition's
// page in the same state: the same pixels, or the differences told.
// Usage: web_desktop_well REPLAY WELL.png [DESKTOP.png]
// (run in a folder of its own: the window reads and writes its files there)

#include <QImage>
#include <cstdio>

#include "window/form_fixture.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: web_desktop_well REPLAY WELL.png [DESKTOP.png]\n");
        return 64;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    VantorixApplication app(argc, argv);
    TForm1::OpenAddress = [](const QUrl&) { return true; };
    ProbeForm form;
    form.show();
    if (!form.WatchReplayFile(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "the window cannot watch %s\n", argv[1]);
        return 2;
    }
    for (int tick = 0; form.Watching() && tick < 10'000'000; ++tick)
        Tick(form);
    form.Session->Key('1');
    DeliverNotifications();
    const QImage desktop = form.PB->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(0, 0, 218, 559);
    if (argc > 3)
        desktop.save(QString::fromLocal8Bit(argv[3]));
    const QImage web = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_RGB32);
    if (web.size() != desktop.size()) {
        std::fprintf(stderr, "the web picture is %dx%d, the well %dx%d\n", web.width(), web.height(),
                     desktop.width(), desktop.height());
        return 1;
    }
    int differing = 0, firstX = -1, firstY = -1;
    for (int y = 0; y < desktop.height(); ++y)
        for (int x = 0; x < desktop.width(); ++x)
            if (desktop.pixel(x, y) != web.pixel(x, y) && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (differing > 0) {
        std::fprintf(stderr, "%d pixels differ, the first at %d,%d: desktop %08X, web %08X\n", differing, firstX,
                     firstY, desktop.pixel(firstX, firstY), web.pixel(firstX, firstY));
        return 1;
    }
    std::printf("the web edition's well is the desktop's, pixel for pixel (score %s)\n",
                form.lbLi->text().toStdString().c_str());
    return 0;
}
