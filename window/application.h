#pragma once
#include <QApplication>

// The application: one general handler shows an error raised in any event
// handler in a message box, and the program goes on.
class VantorixApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};
