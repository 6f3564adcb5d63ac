#pragma once
#include <QEvent>

// A game notification posted by the engine, queued like any other event.
class GameNotificationEvent : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    explicit GameNotificationEvent(int code) : QEvent(EventType()), Code(code) {}
    const int Code;
};
