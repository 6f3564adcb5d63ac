// The window plays the session's animations: each step shown as the
// session's view says, and the event loop free between the steps.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <set>

#include "form_fixture.h"
#include "window/virtual_keys.h"

namespace {

// A vertical three of colour 2 lands on two rows of two: seven cells go in
// one chain, which earns the bonus.
void SetUpBonusLanding(TForm1& form)
{
    SetFigureAt(form, {0, 2, 0, 0, 2, 0, 0, 2, 0}, 0, 16);
    for (int row : {17, 18})
        for (int col : {2, 3})
            form.Game->Stack[CellIndex(row, col)] = 2;
}

// What the window shows at the start of each wait, and what the session's
// view says it should.
class FrameProbe : public ProbeForm {
public:
    struct Frame {
        int Wait;
        bool Word, Amount;
        std::string Score;
        QImage Well;
    };
    void StartTimer(SessionTimer timer, int milliseconds) override
    {
        if (timer == SessionTimer::Wait) {
            const SessionView& view = Session->View();
            Shown.push_back({milliseconds, LBBonus->isVisibleTo(this), LBBonusN->isVisibleTo(this),
                             lbLi->text().toStdString(), PB->grab().toImage().copy(0, 0, 218, 559)});
            Told.push_back({milliseconds, view.BonusWord, view.BonusAmount, view.Score,
                            RenderWell(view.Well, 1, DefaultColours, {}, WellGeometry::Compute(560, VisibleRows, VisibleCols))});
        }
        ProbeForm::StartTimer(timer, milliseconds);
    }
    std::vector<Frame> Shown, Told;
};

TEST(Animation, TheWindowShowsEveryStepOfTheSessionsCascadeAndBonus)
{
    FrameProbe form;
    form.show();
    form.KeyPressDown('1');   // flat colours: the picture is the colour table's
    form.ChBox_Sound->setChecked(false);
    form.KeyPressDown(VK_RETURN);
    DeliverNotifications();
    SetUpBonusLanding(form);
    form.Timer1Timer();
    DeliverNotifications();
    const std::vector<int> waits = {15, 15, 15, 15, 15, 15, 15, 110, 60, 120, 60, 110, 60, 120, 60, 100};
    EXPECT_EQ(form.Waits, waits);
    ASSERT_EQ(form.Shown.size(), waits.size());
    ASSERT_EQ(form.Told.size(), waits.size());
    for (std::size_t k = 0; k < waits.size(); ++k) {
        const FrameProbe::Frame &shown = form.Shown[k], &told = form.Told[k];
        EXPECT_EQ(shown.Word, told.Word) << k;
        EXPECT_EQ(shown.Amount, told.Amount) << k;
        EXPECT_EQ(shown.Score, told.Score) << k;
        EXPECT_EQ(shown.Well.convertToFormat(QImage::Format_RGB32), told.Well.convertToFormat(QImage::Format_RGB32))
            << "the well at wait " << k;
    }
    EXPECT_EQ(form.Shown[6].Score, "63");
    EXPECT_TRUE(form.Shown[7].Word && !form.Shown[9].Word && form.Shown[9].Amount);
    EXPECT_EQ(form.lbLi->text(), "1.084");
    // Marked cells show black in flat colours, as empty ones do; the next
    // figure comes in after the cascade.
    EXPECT_FALSE(form.Shown[14].Well == form.Shown[15].Well);
}

// Waits on the clock, counting them.
class CountingForm : public TForm1 {
public:
    CountingForm() : TForm1(std::make_unique<RecordingSound>(Sounds)) {}
    void StartTimer(SessionTimer timer, int milliseconds) override
    {
        if (timer == SessionTimer::Wait)
            ++Waits;
        TForm1::StartTimer(timer, milliseconds);
    }
    std::vector<std::string> Sounds;
    int Waits = 0;
};

TEST(Animation, TheWindowTakesEventsBetweenTwoRemovals)
{
    CountingForm form;
    form.show();
    form.ChBox_Sound->setChecked(false);
    form.KeyPressDown(VK_RETURN);
    DeliverNotifications();
    SetUpBonusLanding(form);
    form.Timer1Timer();
    // A timer of the test's own, every millisecond: which waits it fired in.
    std::set<int> firedDuring;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (form.Session->Animating())
            firedDuring.insert(form.Waits);
    });
    probe.start(1);
    QElapsedTimer clock;
    clock.start();
    do
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    while ((form.Session->Animating() || form.Waits == 0) && clock.elapsed() < 5000);
    EXPECT_EQ(form.Waits, 16);
    EXPECT_EQ(form.Game->Score, 1084);
    // Waits 2 to 7 follow the first six removals.
    const auto between = std::find_if(firedDuring.begin(), firedDuring.end(), [](int w) { return w >= 2 && w <= 7; });
    EXPECT_NE(between, firedDuring.end()) << "fired in none of the waits between two removals";
    EXPECT_TRUE(firedDuring.count(16)) << "nor in the wait after the landing";
}

}  // namespace
