#pragma once
// Small widget kinds of the window design.

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>
#include <functional>

// Sets a colour of a widget's palette in every colour group, so that it
// stays the same when the widget is disabled or the window inactive.
inline void SetRoleColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, role, colour);
    widget->setPalette(palette);
}

// A label that reports clicks; other mouse releases go on to the window.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
    void hovered();
    void left();

protected:
    void enterEvent(QEnterEvent*) override { emit hovered(); }
    void leaveEvent(QEvent*) override { emit left(); }
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
