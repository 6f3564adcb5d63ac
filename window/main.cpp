#include "window/Unit1.h"
#include "window/application.h"

int main(int argc, char** argv)
{
    VantorixApplication app(argc, argv);
    app.setApplicationName("Vantorix II");
    TForm1 form;
    form.show();
    return app.exec();
}
