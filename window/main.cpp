#include "window/Unit1.h"
#include "window/application.h"

int main(int argc, char** argv)
{
    VantorixApplication app(argc, argv);
    app.setApplicationName("Vantorix II");
    // Ties the window to its menu entry (Wayland has no window class).
    app.setDesktopFileName("org.vantorix.Vantorix2");
    TForm1 form;
    form.show();
    return app.exec();
}
