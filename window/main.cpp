#include <QStringList>
#include <cstdio>

#include "window/Unit1.h"
#include "window/application.h"

int main(int argc, char** argv)
{
    VantorixApplication app(argc, argv);
    app.setApplicationName("Vantorix II");
    // Ties the window to its menu entry (Wayland has no window class).
    app.setDesktopFileName("org.vantorix.Vantorix2");
    // vantorix2 --replay FILE: the game starts by playing that replay.
    QString replay;
    const QStringList args = app.arguments();
    for (qsizetype k = 1; k < args.size(); ++k) {
        if (args[k] == "--replay" && k + 1 < args.size()) {
            replay = args[++k];
        } else if (args[k].startsWith("--replay=")) {
            replay = args[k].mid(9);
        } else {
            std::fprintf(stderr, "usage: vantorix2 [--replay FILE]\n");
            return 2;
        }
    }
    TForm1 form;
    form.show();
    if (!replay.isEmpty())
        form.WatchReplayFile(replay);
    return app.exec();
}
