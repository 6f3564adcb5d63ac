// Drawing benchmarks: the well picture of a full well in each colour mode,
// and the window's whole DrawWell (render and immediate repaint) offscreen.
// Run by hand on a Release build.

#include <benchmark/benchmark.h>

#include <QApplication>

#include "window/Unit1.h"
#include "window/well_painter.h"

namespace {

Grid FullWell()
{
    Grid grid{};
    for (int row = 0; row < 20; ++row)
        for (int col = 0; col < 9; ++col)
            grid[CellIndex(row, col)] = static_cast<std::uint8_t>(
                (col == 0 || col == 8 || row == 19) ? int(CellBorder) : row == 0 ? 0 : 1 + (row * 7 + col) % 6);
    return grid;
}

void BM_RenderWell(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    CellPictures pictures;
    for (int k = 1; k <= 7; ++k)
        pictures[k] = ShadeTemplate(DefaultColours[k], QImage(mode == 3 ? QString(":/BMP_%1").arg(k) : ":/BMP_7"));
    const Grid well = FullWell();
    const WellGeometry geometry;
    for (auto _ : state)
        benchmark::DoNotOptimize(RenderWell(well, mode, DefaultColours, pictures, geometry));
}
BENCHMARK(BM_RenderWell)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

void BM_DrawWell(benchmark::State& state)
{
    TForm1 form;
    form.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    form.KeyPressDown('0' + int(state.range(0)));   // the colour mode's key, as a player chooses it
    form.Game->Display = FullWell();
    // Count the paints, to be sure each call really drew the well.
    long paints = 0;
    auto paint = form.PB->OnPaint;
    form.PB->OnPaint = [&](QPainter& painter) {
        ++paints;
        paint(painter);
    };
    for (auto _ : state)
        form.Game->WindowHandle->DrawWell();   // the engine asks, the session steps, the window draws
    state.counters["paints_per_call"] = double(paints) / double(state.iterations());
}
BENCHMARK(BM_DrawWell)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(vantorix2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
