#include "window/application.h"

#include <QMessageBox>
#include <QPointer>
#include <exception>

std::function<void(const QString&)> VantorixApplication::ShowError;

void VantorixApplication::ReportError(const QString& message)
{
    if (ShowError) {
        ShowError(message);
        return;
    }
    // Owned by the window in front, which has the keys again afterwards.
    const QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox::critical(owner, "Vantorix II", message);
    if (owner)
        owner->activateWindow();
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
