// The baseline of bench/idle_bench.sh: an empty Qt Widgets window of the
// game's size, so that what Qt and the X server cost on their own shows.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare window");
    window.resize(800, 600);
    window.show();
    return app.exec();
}
