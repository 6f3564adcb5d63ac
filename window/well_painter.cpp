#include "well_painter.h"

namespace {

// An RGB32 image's words are the drawing's 0xAARRGGBB pixels.
PixelView ViewOf(const QImage& image)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return {};
    return {reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(), image.height(),
            int(image.bytesPerLine() / 4)};
}

PixelTarget TargetOf(QImage& image)
{
    return {reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(),
            int(image.bytesPerLine() / 4)};
}

}  // namespace

QImage ShadeTemplate(WinColour colour, const QImage& shading)
{
    const QImage source = shading.convertToFormat(QImage::Format_RGB32);
    QImage picture(source.size(), QImage::Format_RGB32);
    ShadeTemplate(colour, ViewOf(source), TargetOf(picture));
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
    CellPictureViews views{};
    for (std::size_t k = 1; k < views.size(); ++k)
        views[k] = ViewOf(pictures[k]);
    DrawWell(TargetOf(image), display, colourMode, colours, views, geometry);
}

ColourTable DefaultColourTable()
{
    ColourTable table{};
    const GameOptions builtIn;
    for (std::size_t k = 0; k < builtIn.Colours.size(); ++k)
        table[k + 1] = WinColour(builtIn.Colours[k]);
    return table;
}
