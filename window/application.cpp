#include "window/application.h"

#include <QMessageBox>
#include <exception>

#include "window/Unit1.h"

bool VantorixApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        if (TForm1::ShowError)
            TForm1::ShowError(text);
        else
            QMessageBox::critical(nullptr, "Vantorix II", text);
    } catch (...) {
        if (TForm1::ShowError)
            TForm1::ShowError("Unknown error");
        else
            QMessageBox::critical(nullptr, "Vantorix II", "Unknown error");
    }
    return false;
}
