#include "window/application.h"

#include <QMessageBox>
#include <exception>

std::function<void(const QString&)> VantorixApplication::ShowError;

void VantorixApplication::ReportError(const QString& message)
{
    if (ShowError)
        ShowError(message);
    else
        QMessageBox::critical(nullptr, "Vantorix II", message);
}

bool VantorixApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportError("Unknown error");
    }
    return false;
}
