#pragma once
// Small widget kinds of the window design.

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>
#include <functional>

// A label that reports clicks; other mouse releases go on to the window.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (rect().contains(event->position().toPoint()))
            emit clicked();
        event->accept();
    }
};

// The name entry: it keeps every key it is given, so that no key goes on to
// the window a second time (the window has already seen it).
class TNameEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QLineEdit::keyPressEvent(event);
        event->accept();
    }
};

// The paint box of the well: its paint handler is the window's.
class TPaintBox : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override;
};
