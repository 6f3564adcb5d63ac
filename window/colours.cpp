// The colours: the six cell colours of the options panel and the table the
// well is drawn with, the cell pictures made from them, and the window's
// background.

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

void TForm1::RebuildCellImages()
{
    // Flat colours need no pictures; the pictures already made stay.
    if (Flags.ColourMode == 2)
        MakeBitmaps(true);
    else if (Flags.ColourMode == 3)
        MakeBitmaps(false);
}

WinColour TForm1::PanelColour(int panel) const
{
    return PanelColourValues[std::size_t(panel)];
}

void TForm1::SetPanelColour(int panel, WinColour colour)
{
    PanelColourValues[std::size_t(panel)] = colour;
    SetRoleColour(ColourPanels[panel], QPalette::Window, ToQColor(colour));
    ColourPanels[panel]->setAutoFillBackground(true);
}

void TForm1::CopyPanelsToColourTable()
{
    for (int k = 0; k < 6; ++k)
        Colours[k + 1] = PanelColour(k);
    Colours[7] = 0;
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
    SetPanelColour(panel, SelectColor(PanelColour(panel)));
    // The dialog took the focus; its return reads the options file again,
    // and under X11 that may come after this: the file must hold the choice.
    Write_Options();
    CopyPanelsToColourTable();
    RebuildCellImages();
    DrawWell();
    RepaintNow();
    TakeBackFocus();
}

void TForm1::FormColorClick()
{
    SetBackgroundColour(ToQColor(SelectColor(FromQColor(BackgroundColour()))));
    TakeBackFocus();
}

void TForm1::DefColorClick()
{
    for (int k = 0; k < 6; ++k)
        SetPanelColour(k, DefaultColours[k + 1]);
    CopyPanelsToColourTable();
    SetBackgroundColour(ToQColor(DefaultBackground));
    RebuildCellImages();
    DrawWell();
    RepaintNow();
}
