// The History window over a month of one-second rows (2.6 million), drawn
// offscreen: the time from asking for the window to its first plots on
// screen, the jump to the whole month, a redraw of the five stacked plots
// while the operator pans and zooms, and the Deviation tab over the month.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <qcustomplot.h>

#include "DeviationPanel.h"
#include "HistoryBenchData.h"
#include "HistoryWindow.h"

namespace velmor {
namespace {

// The plots' area as the targets state it.
constexpr int kPlotWidth = 1600;
constexpr int kPlotHeight = 600;

std::unique_ptr<CHistoryWindow> OpenWindow(int spanS)
{
    auto window = std::make_unique<CHistoryWindow>(benchdata::MonthDatabase());
    window->Plot()->setFixedSize(kPlotWidth, kPlotHeight);
    window->show();
    QApplication::processEvents();
    if (spanS != 86400) window->ShowSpan(spanS);
    QApplication::processEvents();
    return window;
}

// From construction to the first plots painted (the default: the last day).
void BM_HistoryOpenMonth(benchmark::State& state)
{
    benchdata::MonthDatabase();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto window = std::make_unique<CHistoryWindow>(benchdata::MonthDatabase());
        window->Plot()->setFixedSize(kPlotWidth, kPlotHeight);
        window->show();
        QApplication::processEvents();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        state.counters["points"] = window->PlottedPoints(0);
    }
}
BENCHMARK(BM_HistoryOpenMonth)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The "All" button over the month: read from the roll-ups and drawn.
void BM_HistoryShowAll(benchmark::State& state)
{
    auto window = OpenWindow(86400);
    for (auto _ : state) {
        window->ShowSpan(86400);
        QElapsedTimer clock;
        clock.start();
        window->ShowSpan(0);
        QApplication::processEvents();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        state.counters["points"] = window->PlottedPoints(0);
    }
}
BENCHMARK(BM_HistoryShowAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// One step of a drag (range(0) = 1) or a wheel zoom (range(0) = 0) over the
// span range(1), as the mouse handlers do it: the shared time axis moves,
// the value axes and statistics follow, the five plots are drawn at once.
void BM_HistoryRedraw(benchmark::State& state)
{
    const bool pan = state.range(0) == 1;
    auto window = OpenWindow(static_cast<int>(state.range(1)));
    QCPAxis* pX = window->Plot()->axisRect(0)->axis(QCPAxis::atBottom);
    int step = 0;
    double replotMs = 0;
    for (auto _ : state) {
        const QCPRange range = pX->range();
        const double sign = (step++ / 10) % 2 == 0 ? 1.0 : -1.0;
        if (pan)
            pX->setRange(range.lower + sign * range.size() * 0.02, range.upper + sign * range.size() * 0.02);
        else
            pX->scaleRange(sign > 0 ? 0.97 : 1.0 / 0.97, range.center());
        window->Plot()->replot(QCustomPlot::rpImmediateRefresh);
        replotMs += window->Plot()->replotTime();
    }
    state.counters["replot_ms"] = replotMs / static_cast<double>(step);
    state.counters["points"] = window->PlottedPoints(0);
}
BENCHMARK(BM_HistoryRedraw)
    ->ArgNames({"pan", "span_s"})
    ->Args({1, 3600})
    ->Args({1, 86400})
    ->Args({1, 0})
    ->Args({0, 86400})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond);

// The Deviation tab over the whole month, every statistic it offers with
// bounds: the time from opening the tab to the drawn result (the read and
// the analysis run on the worker), and the longest the GUI thread went
// without turning its event loop meanwhile.
void BM_HistoryDeviationMonth(benchmark::State& state)
{
    auto window = OpenWindow(0);
    window->findChild<QCheckBox*>(QStringLiteral("totdev"))->setChecked(true);
    window->findChild<QCheckBox*>(QStringLiteral("mtie"))->setChecked(true);
    double stallMs = 0;
    for (auto _ : state) {
        window->Tabs()->setCurrentIndex(0);
        // A new range each time, so the tab computes again.
        window->ShowSpan(state.iterations() % 2 == 0 ? 0 : 29 * 86400);
        QElapsedTimer clock;
        clock.start();
        window->Tabs()->setCurrentIndex(1);
        qint64 last = clock.nsecsElapsed();
        while (window->IsDeviationBusy() || window->DeviationPoints() == 0) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            const qint64 now = clock.nsecsElapsed();
            stallMs = std::max(stallMs, static_cast<double>(now - last) * 1e-6);
            last = now;
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        state.counters["points"] = window->DeviationPoints();
    }
    state.counters["gui_stall_ms"] = stallMs;
}
BENCHMARK(BM_HistoryDeviationMonth)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace velmor

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
