#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "form_fixture.h"
#include "platform/colour_dialog.h"
#include "common/score_text.h"
#include "window/well_painter.h"

namespace {

Grid EmptyDisplay()
{
    Grid grid{};
    for (int row = 0; row < 20; ++row)
        grid[CellIndex(row, 0)] = grid[CellIndex(row, 8)] = CellBorder;
    for (int col = 0; col < 9; ++col)
        grid[CellIndex(19, col)] = CellBorder;
    return grid;
}

// A template whose every pixel tells its own place: grey = 8 * x + y.
QImage PlaceTemplate()
{
    QImage image(31, 31, QImage::Format_RGB32);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 31; ++x) {
            const int v = (x * 8 + y) & 0xFF;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

TEST(WellGeometry, FollowsThePaintBox)
{
    const WellGeometry g = WellGeometry::Compute(560, 18, 7);
    EXPECT_EQ(g.CellSize, 30);
    EXPECT_EQ(g.WellImageWidth, 218);
    EXPECT_EQ(g.WellImageHeight, 559);
    EXPECT_EQ(CellRect(g, 18, 1), QRect(QPoint(1, 528), QPoint(30, 557)));
    EXPECT_EQ(CellRect(g, 1, 7), QRect(QPoint(187, 1), QPoint(216, 30)));
}

TEST(RenderWell, PaintsCellsBetweenBlackGridLines)
{
    const WellGeometry g;
    Grid display = EmptyDisplay();
    for (int row = 1; row <= 18; ++row)
        for (int col = 1; col <= 7; ++col)
            display[CellIndex(row, col)] = static_cast<std::uint8_t>(1 + (row + col) % 6);
    const QImage image = RenderWell(display, 1, DefaultColours, {}, g);
    ASSERT_EQ(image.size(), QSize(218, 559));
    for (int row = 1; row <= 18; ++row)
        for (int col = 1; col <= 7; ++col) {
            const QRect cell = CellRect(g, row, col);
            const QColor expected = ToQColor(DefaultColours[1 + (row + col) % 6]);
            EXPECT_EQ(image.pixelColor(cell.topLeft()), expected);
            EXPECT_EQ(image.pixelColor(cell.bottomRight()), expected);
        }
    for (int x = 0; x <= 217; x += 31)
        for (int y : {0, 15, 300, 558})
            EXPECT_EQ(image.pixelColor(x, y), QColor(Qt::black)) << x << "," << y;
    for (int y = 0; y <= 558; y += 31)
        EXPECT_EQ(image.pixelColor(100, y), QColor(Qt::black)) << y;
}

TEST(RenderWell, MarksAreBlackAndUnknownModesWhite)
{
    const WellGeometry g;
    CellPictures pictures;
    for (int k = 1; k <= 7; ++k)
        pictures[k] = ShadeTemplate(DefaultColours[k], PlaceTemplate());
    Grid display = EmptyDisplay();
    display[CellIndex(5, 3)] = CellMarked;
    display[CellIndex(6, 3)] = 4;
    const QPoint marked = CellRect(g, 5, 3).center(), coloured = CellRect(g, 6, 3).topLeft();
    struct Case {
        int mode;
        bool whiteCells;
    } cases[] = {{1, false}, {2, false}, {3, false}, {0, true}, {4, true}, {255, true}};
    for (const Case& c : cases) {
        const QImage image = RenderWell(display, c.mode, DefaultColours, pictures, g);
        EXPECT_EQ(image.pixelColor(marked), c.whiteCells ? QColor(Qt::white) : QColor(Qt::black)) << c.mode;
        if (c.whiteCells) {
            EXPECT_EQ(image.pixelColor(coloured), QColor(Qt::white)) << c.mode;
        }
        EXPECT_EQ(image.pixelColor(CellRect(g, 7, 3).center()), QColor(Qt::black)) << "empty, mode " << c.mode;
    }
    EXPECT_EQ(RenderWell(display, 2, DefaultColours, {}, g).pixelColor(coloured), QColor(Qt::white))
        << "a picture not built yet leaves the cell white";
}

TEST(RenderWell, EveryCellShowsPixelsOneToThirtyOfItsPicture)
{
    const WellGeometry g;
    CellPictures pictures;
    pictures[2] = ShadeTemplate(0xFFFFFF, PlaceTemplate());
    Grid display = EmptyDisplay();
    display[CellIndex(1, 1)] = 2;
    display[CellIndex(18, 7)] = 2;
    display[CellIndex(9, 4)] = 2;
    const QImage image = RenderWell(display, 3, DefaultColours, pictures, g);
    for (auto [row, col] : {std::pair{1, 1}, {18, 7}, {9, 4}}) {
        const QRect cell = CellRect(g, row, col);
        for (int dy : {0, 7, 29})
            for (int dx : {0, 13, 29})
                EXPECT_EQ(image.pixel(cell.x() + dx, cell.y() + dy), pictures[2].pixel(1 + dx, 1 + dy))
                    << row << "," << col << " +" << dx << "," << dy;
    }
}

QColor ShownBackground(const ProbeForm& form)
{
    return form.ClientArea->palette().color(QPalette::Window);
}

TEST(WellOnScreen, ThePaintBoxShowsTheDisplayGrid)
{
    ProbeForm form;
    form.KeyPressDown('1');
    form.Game->Display[CellIndex(18, 1)] = 3;
    form.Game->WindowHandle->DrawWell();
    const QImage shot = form.PB->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(225, 560));
    EXPECT_EQ(shot.pixelColor(15, 540), ToQColor(DefaultColours[3]));
    EXPECT_EQ(shot.pixelColor(15, 500), QColor(Qt::black));
}

// The paint box is 225 x 560 and its picture 218 x 559: the rest of it, and
// the column outside the frame line at window x 512, show the window's
// background, whichever the player chose; the picture stays as it was.
TEST(WellOnScreen, TheStripBesideTheWellShowsTheWindowBackground)
{
    ProbeForm form;
    form.KeyPressDown('1');
    for (int row = 12; row <= 18; ++row)
        form.Game->Display[CellIndex(row, 1 + row % 7)] = static_cast<std::uint8_t>(1 + row % 6);
    form.Game->Display[CellIndex(18, 7)] = 2;   // the cell nearest the strip
    form.Game->WindowHandle->DrawWell();
    const QImage well =
        RenderWell(form.Game->Display, 1, DefaultColours, {}, WellGeometry::Compute(560, VisibleRows, VisibleCols));
    const QRect picture(form.PB->pos(), well.size());
    ASSERT_EQ(picture, QRect(291, 19, 218, 559));
    ASSERT_EQ(form.PB->geometry(), QRect(291, 19, 225, 560));

    const struct {
        const char* step;
        std::function<void()> act;
        QColor background;
    } steps[] = {
        {"at start", [] {}, QColor(0x6A, 0x6A, 0x6A)},
        {"chosen", [&] {
             form.SelectColor = [](WinColour) { return WinColour(0x123456); };
             form.FormColorClick();
         }, QColor(0x56, 0x34, 0x12)},
        {"chosen again", [&] {
             form.SelectColor = [](WinColour) { return WinColour(0x80FF00); };
             form.FormColorClick();
         }, QColor(0x00, 0xFF, 0x80)},
        {"default colours", [&] { form.DefColorClick(); }, QColor(0x6A, 0x6A, 0x6A)},
    };
    for (const auto& step : steps) {
        step.act();
        ASSERT_EQ(ShownBackground(form), step.background) << step.step;
        const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shot.size(), QSize(800, 600));
        // Beside the picture (x 509..515) and below it (y 578), but for the
        // frame line at x 512.
        std::vector<QPoint> wrong;
        for (int y = 19; y <= 578; ++y)
            for (int x = y == 578 ? 291 : 509; x <= 515; ++x)
                if (x != 512 && shot.pixelColor(x, y) != step.background)
                    wrong.push_back({x, y});
        EXPECT_TRUE(wrong.empty()) << step.step << ": " << wrong.size() << " pixels, the first at " << wrong[0].x()
                                   << "," << wrong[0].y() << " is " << shot.pixelColor(wrong[0]).name().toStdString();
        for (int y : {15, 300, 580})
            EXPECT_EQ(shot.pixelColor(512, y), ToQColor(0xA3A3A3)) << step.step << ": the frame line at " << y;
        EXPECT_EQ(shot.copy(picture), well.convertToFormat(QImage::Format_RGB32)) << step.step;
        EXPECT_EQ(shot.pixelColor(291 + 187, 19 + 528), ToQColor(DefaultColours[2])) << step.step;
    }
}

TEST(MakeBitmaps, AndsEachColourWithItsTemplate)
{
    ProbeForm form;
    const QImage bevel(":/BMP_7");
    ASSERT_EQ(bevel.size(), QSize(31, 31));
    for (bool bevelled : {true, false}) {
        form.KeyPressDown(bevelled ? '2' : '3');
        for (int k = 1; k <= 6; ++k) {
            const QImage shading(bevelled ? ":/BMP_7" : QString(":/BMP_%1").arg(k));
            const QImage shown = form.CellImageViews[std::size_t(k - 1)]->pixmap().toImage();
            const QColor colour = ToQColor(DefaultColours[k]);
            for (auto [x, y] : {std::pair{0, 0}, {15, 15}, {3, 27}, {30, 30}}) {
                const QRgb t = shading.pixel(x, y);
                EXPECT_EQ(shown.pixel(x, y),
                          qRgb(colour.red() & qRed(t), colour.green() & qGreen(t), colour.blue() & qBlue(t)))
                    << k << " at " << x << "," << y;
            }
        }
        // A marked cell is black, not the white of a picture never made.
        EXPECT_EQ(ShownCell(form, 7), QColor(Qt::black)) << bevelled;
    }
}

TEST(ColourSetUp, ChosenColoursReachTheTableAndTheWell)
{
    ProbeForm form;
    form.KeyPressDown('1');
    form.SelectColor = [](WinColour) { return WinColour(0x123456); };
    form.ColorClick(2);
    const QColor chosen(0x56, 0x34, 0x12);
    EXPECT_EQ(form.ColourPanels[2]->palette().color(QPalette::Window), chosen);
    EXPECT_EQ(ShownCell(form, 3), chosen);
    EXPECT_EQ(ShownCell(form, 7), QColor(Qt::black));

    // In mode 2 the picture is made again from the new colour.
    form.KeyPressDown('2');
    form.ColorClick(3);
    const QRgb bevel = QImage(":/BMP_7").pixel(15, 15);
    EXPECT_EQ(form.CellImageViews[3]->pixmap().toImage().pixel(15, 15),
              qRgb(0x56 & qRed(bevel), 0x34 & qGreen(bevel), 0x12 & qBlue(bevel)));

    // Mode 1 does not rebuild the pictures.
    form.KeyPressDown('1');
    const QImage before = form.CellImageViews[4]->pixmap().toImage();
    form.ColorClick(4);
    EXPECT_EQ(ShownCell(form, 5), chosen);
    EXPECT_EQ(form.CellImageViews[4]->pixmap().toImage(), before);

    form.FormColorClick();
    EXPECT_EQ(ShownBackground(form), chosen);

    form.DefColorClick();
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(form.ColourPanels[std::size_t(k)]->palette().color(QPalette::Window), ToQColor(DefaultColours[k + 1]));
    EXPECT_EQ(ShownCell(form, 3), ToQColor(DefaultColours[3]));
    EXPECT_EQ(ShownBackground(form), QColor(0x6A, 0x6A, 0x6A));
    EXPECT_EQ(form.State().ColourMode, 1) << "the mode stays";
}

TEST(WinColourValue, RedIsTheLowByteBothWays)
{
    const std::pair<WinColour, QColor> cases[] = {
        {0x0000FF, QColor(255, 0, 0)},       {0x00FF00, QColor(0, 255, 0)},   {0xFF0000, QColor(0, 0, 255)},
        {0x123456, QColor(0x56, 0x34, 0x12)}, {0x000000, QColor(Qt::black)}, {0xFFFFFF, QColor(Qt::white)},
    };
    for (const auto& [value, colour] : cases) {
        EXPECT_EQ(ToQColor(value), colour) << std::hex << value;
        EXPECT_EQ(FromQColor(colour), value) << std::hex << value;
    }
    EXPECT_EQ(FromQColor(QColor(1, 2, 3, 4)), 0x030201u) << "the alpha is dropped";
}

TEST(ColourDialog, ShortFormOnlyForBasicComponents)
{
    struct Case {
        WinColour colour;
        bool shortForm;
    } cases[] = {
        {0x40C0FF, true},    // red 255, green 192, blue 64
        {0x41C0FF, false},   // blue 65
        {0x000000, true},    {0xFFFFFF, true},   {0xA080A0, true},
        {0x6A6A6A, false},   {0x0000FE, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OpensShortForm(c.colour), c.shortForm) << std::hex << c.colour;
}

TEST(ScoreText, FormatsWithGroupsOfThree)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"},         {7, "7"},           {999, "999"},           {1000, "1.000"},
        {12345, "12.345"}, {100000, "100.000"}, {1000000, "1.000.000"}, {3456800, "3.456.800"},
        {2147483647, "2.147.483.647"},
    };
    for (const auto& [number, text] : cases) {
        EXPECT_EQ(FormatScore(number), text);
        EXPECT_EQ(AntiFormatScore(text), number);
    }
    for (std::int64_t n = 0; n <= 2147483647; n += 9876543)
        EXPECT_EQ(AntiFormatScore(FormatScore(std::int32_t(n))), n);
}

TEST(ScoreText, ReadsDigitsWithStopsAnywhereAndRejectsTheRest)
{
    EXPECT_EQ(AntiFormatScore("1.2.3"), 123);
    EXPECT_EQ(AntiFormatScore("..4.5"), 45);
    for (const char* bad : {"", ".", "abc", "1,000", "12 3", "2.147.483.648", "99999999999", "-", "1e3"}) {
        try {
            AntiFormatScore(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const ConversionError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

}  // namespace
