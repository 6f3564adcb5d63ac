#include "window/application.h"

#include <exception>

#include "window/Unit1.h"

bool VantorixApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        TForm1::ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        TForm1::ReportError("Unknown error");
    }
    return false;
}
