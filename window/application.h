#pragma once
#include <QApplication>
#include <functional>

// The application: one general handler shows an error raised in any event
// handler in a message box, and the program goes on.
class VantorixApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error instead of the box, when set (tests and tools collect
    // them here).
    static std::function<void(const QString&)> ShowError;
    // Where every error the program reports goes: ShowError, or a box.
    static void ReportError(const QString& message);
};
