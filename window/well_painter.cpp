#include "well_painter.h"

#include <QPainter>
#include <cmath>

WellGeometry WellGeometry::Compute(int paintBoxHeight, int rows, int cols)
{
    WellGeometry g;
    g.CellSize = static_cast<int>(std::lround(double(paintBoxHeight - 1) / rows)) - 1;
    g.WellImageWidth = cols * (g.CellSize + 1) + 1;
    g.WellImageHeight = rows * (g.CellSize + 1) + 1;
    return g;
}

QImage ShadeTemplate(WinColour colour, const QImage& shading)
{
    const QImage source = shading.convertToFormat(QImage::Format_RGB32);
    QImage picture(source.size(), QImage::Format_RGB32);
    const QColor c = ToQColor(colour);
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < source.width(); ++x)
            out[x] = qRgb(c.red() & qRed(in[x]), c.green() & qGreen(in[x]), c.blue() & qBlue(in[x]));
    }
    return picture;
}

QImage RenderWell(const Grid& display, int colourMode, const ColourTable& colours, const CellPictures& pictures,
                  const WellGeometry& geometry)
{
    QImage image;
    RenderWellInto(image, display, colourMode, colours, pictures, geometry);
    return image;
}

void RenderWellInto(QImage& image, const Grid& display, int colourMode, const ColourTable& colours,
                    const CellPictures& pictures, const WellGeometry& geometry)
{
    const QSize size(geometry.WellImageWidth, geometry.WellImageHeight);
    if (image.size() != size || image.format() != QImage::Format_RGB32)
        image = QImage(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    // Each picture is one pitch wide and anchored at the image's corner, so
    // every cell shows the picture's pixels 1..CellSize.
    const QRect shown(1, 1, geometry.CellSize, geometry.CellSize);
    for (int row = 1; row < BorderRow; ++row) {
        for (int col = 1; col < BorderCol; ++col) {
            const std::uint8_t code = display[CellIndex(row, col)];
            if (code == CellEmpty)
                continue;
            const QRect cell = geometry.CellRect(row, col);
            const bool known = code <= CellMarked;
            if (colourMode == 1 && known)
                painter.fillRect(cell, ToQColor(colours[code]));
            else if ((colourMode == 2 || colourMode == 3) && known && !pictures[code].isNull())
                painter.drawImage(cell.topLeft(), pictures[code], shown);
            else
                painter.fillRect(cell, Qt::white);
        }
    }
}

ColourTable DefaultColourTable()
{
    ColourTable table{};
    const GameOptions builtIn;
    for (std::size_t k = 0; k < builtIn.Colours.size(); ++k)
        table[k + 1] = WinColour(builtIn.Colours[k]);
    return table;
}
