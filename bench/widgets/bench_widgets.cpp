// Paint cycle of a widget whose static layers are cached, against the same widget rebuilding them at
// every paint, for value-only changes; and the cost of one DrawWidgetText call.

#include "iScaleComponent.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>

namespace {

// A gauge-like widget: bevelled background, a shaded disc drawn line by line and a labelled scale
// (static); a needle and the value text (dynamic).
class BenchGauge : public TiScaleComponent {
public:
    BenchGauge() {
        resize(150, 220);
        SetBorderStyle(ibsLowered);
        SetPositionMax(400);
        SetTickMajorCount(9);
        TiScaleLayout& l = Scale()->Layout;
        l.Low = 0;
        l.High = 400;
        l.PixelLow = 200;
        l.PixelHigh = 20;
        l.BaseLine = 80;
    }

protected:
    void iPaintTo(QPainter& Canvas) override {
        PaintStaticLayers(Canvas, [this](QPainter& p) {
            DrawBackGround(p, BackGroundColor());
            const QPoint c(40, 110);
            const int r = 30;
            for (double m = -std::trunc(r / M_SQRT2 + 2); m < r / M_SQRT2 + 2; m += 0.5) {
                const double half2 = r * r - 2 * m * m;
                if (half2 <= 0)
                    continue;
                const double half = std::sqrt(half2) / M_SQRT2;
                const int shade = 128 + int(m * 2);
                p.setPen(QColor(shade, shade, shade));
                iLine(p, QPoint(c.x() + iRound(m - half), c.y() + iRound(m + half)),
                      QPoint(c.x() + iRound(m + half), c.y() + iRound(m - half)));
            }
            DrawScale(p, false);
        });
        const int y = Scale()->Layout.Map().ToPixel(Position());
        Canvas.setPen(Qt::red);
        iLine(Canvas, QPoint(60, y), QPoint(85, y));
        QRect box(5, 200, 60, 16);
        DrawWidgetText(Canvas, QString::number(Position(), 'f', 1), box, BackGroundColor(), true,
                       itfCenter | itfVCenter | itfSingleLine);
    }
};

void PaintValueChanges(benchmark::State& state, bool cached) {
    BenchGauge w;
    w.SetCachedDrawing(cached);
    w.RenderToImage();
    int i = 0;
    for (auto _ : state) {
        w.SetPosition(++i % 400);
        QImage img = w.RenderToImage();
        benchmark::DoNotOptimize(img.constBits());
    }
}

void BM_PaintCycle_CachedBackground(benchmark::State& state) {
    PaintValueChanges(state, true);
}
void BM_PaintCycle_RebuildEachPaint(benchmark::State& state) {
    PaintValueChanges(state, false);
}
BENCHMARK(BM_PaintCycle_CachedBackground);
BENCHMARK(BM_PaintCycle_RebuildEachPaint);

void BM_DrawWidgetText(benchmark::State& state) {
    QImage img(200, 60, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    SelectFont(p, TFont());
    const unsigned flags = unsigned(state.range(0));
    const bool enabled = state.range(1) != 0;
    for (auto _ : state) {
        QRect r(0, 0, 120, 40);
        benchmark::DoNotOptimize(
            TiComponent::DrawWidgetText(p, QStringLiteral("Output 12.5 kW"), r, clBtnFace, enabled, flags));
    }
}
BENCHMARK(BM_DrawWidgetText)
    ->ArgNames({"flags", "enabled"})
    ->Args({itfCenter | itfVCenter | itfSingleLine, 1})
    ->Args({itfCenter | itfVCenter | itfSingleLine, 0})
    ->Args({itfLeft | itfWordBreak, 1})
    ->Args({itfSingleLine | itfEndEllipsis | itfPrefix, 1})
    ->Args({itfCalcRect | itfSingleLine, 1});

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
