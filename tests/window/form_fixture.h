#pragma once
// A game window for tests: silent, with recorded sounds and waits, and
// helpers to drive it without a display.

#include <QCoreApplication>
#include <QImage>
#include <string>
#include <vector>

#include "window/Unit1.h"
#include "window/application.h"

class RecordingSound : public SoundOutput {
public:
    explicit RecordingSound(std::vector<std::string>& log) : Log(log) {}
    void PlayWave(const QString& resource, bool wait) override
    {
        Log.push_back("wave " + resource.toStdString() + (wait ? " wait" : ""));
    }
    void Beep(int frequency, int milliseconds) override
    {
        Log.push_back("beep " + std::to_string(frequency) + " " + std::to_string(milliseconds));
    }
    int QueueWave(const QString& resource) override
    {
        PlayWave(resource, true);
        return 0;
    }
    void QueueTone(int frequency, int milliseconds) override { Beep(frequency, milliseconds); }

private:
    std::vector<std::string>& Log;
};

// Records every wait of an animation with what the bonus labels show
// meanwhile, and ends it at the next round of posted events instead of on
// the clock.
class ProbeForm : public TForm1 {
public:
    ProbeForm() : TForm1(std::make_unique<RecordingSound>(SoundLog)) {}
    void StartTimer(SessionTimer timer, int milliseconds) override
    {
        if (timer != SessionTimer::Wait) {
            TForm1::StartTimer(timer, milliseconds);
            return;
        }
        Waits.push_back(milliseconds);
        BonusStates.push_back(std::string(LBBonus->isVisibleTo(this) ? "word" : "") +
                              (LBBonusN->isVisibleTo(this) ? "amount" : ""));
        QMetaObject::invokeMethod(this, [this] { Session->TimerFired(SessionTimer::Wait); }, Qt::QueuedConnection);
    }
    std::vector<std::string> SoundLog;
    std::vector<int> Waits;
    std::vector<std::string> BonusStates;
};

inline void SetFigureAt(TForm1& form, const TFigure::Box& cells, int x, int y)
{
    form.Game->Figure.Cells = cells;
    form.Game->Figure.X = static_cast<std::uint8_t>(x);
    form.Game->Figure.Y = static_cast<std::uint8_t>(y);
    form.Game->Figure.RecomputeExtent();
}

// Delivers the queued game notifications, and plays out the animations
// they start (a probe's waits end at the next round).
inline void DeliverNotifications()
{
    // Events posted while the queue is served wait for the next round.
    for (int round = 0; round < 400; ++round)
        QCoreApplication::sendPostedEvents();
}

// What the event loop does: a tick of whichever timer runs, then the queued
// notices and keys.
inline void Tick(TForm1& form)
{
    if (form.Timer3->isActive())
        form.Timer3Timer();
    else if (form.Timer1->isActive())
        form.Timer1Timer();
    DeliverNotifications();
}

// What the well shows for a cell of this code at its bottom left corner.
inline QColor ShownCell(TForm1& form, std::uint8_t code)
{
    form.Game->Display[CellIndex(18, 1)] = code;
    form.Game->WindowHandle->DrawWell();
    return form.PB->grab().toImage().pixelColor(15, 540);
}
