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

private:
    std::vector<std::string>& Log;
};

// Records every wait with what the bonus labels show meanwhile; waits
// really (a millisecond at most) so the engine sees the pause.
class ProbeForm : public TForm1 {
public:
    ProbeForm() : TForm1(std::make_unique<RecordingSound>(SoundLog)) {}
    void Delay(int milliseconds) override
    {
        Waits.push_back(milliseconds);
        BonusStates.push_back(std::string(LBBonus->isVisibleTo(this) ? "word" : "") +
                              (LBBonusN->isVisibleTo(this) ? "amount" : ""));
        TForm1::Delay(std::min(milliseconds, 1));
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

// Delivers the queued game notifications.
inline void DeliverNotifications()
{
    // Events posted while the queue is served wait for the next round.
    for (int round = 0; round < 10; ++round)
        QCoreApplication::sendPostedEvents();
}

// What the well shows for a cell of this code at its bottom left corner.
inline QColor ShownCell(TForm1& form, std::uint8_t code)
{
    form.Game->Display[CellIndex(18, 1)] = code;
    return form.PB->grab().toImage().pixelColor(15, 540);
}
