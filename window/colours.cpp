// The colours: the cell pictures made from the session's colour table, the
// colour panels, and the window's background.

#include "window/Unit1.h"

void TForm1::MakeBitmaps(bool bevelled)
{
    const QImage bevel(":/BMP_7");
    for (int k = 1; k <= 7; ++k) {
        const QImage shading = bevelled ? bevel : QImage(QString(":/BMP_%1").arg(k));
        CellImages[k] = ShadeTemplate(Colours[k], shading);
    }
    for (int k = 0; k < 6; ++k)
        CellImageViews[k]->setPixmap(QPixmap::fromImage(CellImages[k + 1]));
}

void TForm1::MakePictures(bool bevelled)
{
    MakeBitmaps(bevelled);
}

void TForm1::SetPanelColour(int panel, WinColour colour)
{
    SetRoleColour(ColourPanels[panel], QPalette::Window, ToQColor(colour));
    ColourPanels[panel]->setAutoFillBackground(true);
}

QColor TForm1::BackgroundColour() const
{
    return ClientArea->palette().color(QPalette::Window);
}

void TForm1::SetBackgroundColour(const QColor& colour)
{
    SetRoleColour(ClientArea, QPalette::Window, colour);
    ClientArea->setAutoFillBackground(true);
}

void TForm1::ColorClick(int panel)
{
    const WinColour shown = WinColour(Session->Options().Colours[std::size_t(panel)]);
    Session->SetColour(panel, std::int32_t(SelectColor(shown)));
    TakeBackFocus();
}

void TForm1::FormColorClick()
{
    SetBackgroundColour(ToQColor(SelectColor(FromQColor(BackgroundColour()))));
    TakeBackFocus();
}

void TForm1::DefColorClick()
{
    SetBackgroundColour(ToQColor(DefaultBackground));
    Session->DefaultColours();
}
