#pragma once
#include <QEvent>

// An event type of the program's own: each class derived from it (as
// Derived) registers one type with Qt the first time it is asked for.
template <typename Derived>
class CustomEvent : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }

protected:
    CustomEvent() : QEvent(EventType()) {}
};

// A game notification posted by the engine, queued like any other event.
class GameNotificationEvent : public CustomEvent<GameNotificationEvent> {
public:
    explicit GameNotificationEvent(int code) : Code(code) {}
    const int Code;
};
