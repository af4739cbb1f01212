#pragma once
// The History window: the recorded 1PPS time difference, frequency error,
// DAC value, temperature and satellites used as stacked time plots on one
// time axis (and under them the reference counter's phase, when one was
// recorded beside the unit), with the coasting periods and link losses shaded, a readout
// under the mouse and the statistics of what is shown; and, on its second
// tab (CDeviationPanel), the stability table of the 1PPS phase over the same
// time range. It reads the database through its own
// read-only connections, so recording goes on undisturbed; the slow reads
// (shading periods over weeks, the phase for the deviations) run on worker
// threads and never hold up the window.

#include <QFutureWatcher>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryQuery.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QTabWidget;
class QCustomPlot;
class QCPAxisRect;
class QCPGraph;
class QCPErrorBars;
class QCPRange;
class QCPAxisTickerFixed;

namespace velmor {

class CDeviationPanel;
class CProfile;

// The quantities of the stacked plots, top to bottom.
inline constexpr std::array<HistoryQuantity, 5> kHistoryPlotQuantities = {
    HistoryQuantity::PpsOffset, HistoryQuantity::FrequencyError, HistoryQuantity::Dac,
    HistoryQuantity::Temperature, HistoryQuantity::SatellitesUsed};
inline constexpr int kHistoryPlotCount = static_cast<int>(kHistoryPlotQuantities.size());

struct CPeriodsResult {
    std::uint64_t m_qwGeneration = 0;
    std::vector<CHistoryPeriod> m_periods;
};

class CHistoryWindow : public QWidget {
    Q_OBJECT
public:
    // The spans the buttons offer, in seconds; 0 is "all".
    static constexpr std::array<int, 6> kSpansS = {600, 3600, 6 * 3600, 86400, 7 * 86400, 0};

    // |pProfile| (may be null) keeps the window's choices between sessions.
    explicit CHistoryWindow(std::string dbPath, QWidget* pParent = nullptr, CProfile* pProfile = nullptr);
    ~CHistoryWindow() override;

    // Shows the last |seconds| of the unit's record (0: all of it) and
    // follows new rows while the right edge is at the newest one.
    void ShowSpan(int seconds);
    // Shows [from, to) in host UTC milliseconds; stops following.
    void ShowRange(std::int64_t fromMs, std::int64_t toMs);
    // Reads the plotted range again now (the live timer does this each second).
    void Reload();

    // What tests and benchmarks look at.
    QCustomPlot* Plot() const { return m_pPlot; }
    QCustomPlot* DeviationPlot() const;
    CDeviationPanel* Deviation() const { return m_pDeviation; }
    QTabWidget* Tabs() const { return m_pTabs; }
    int PlottedPoints(int plot) const;
    // The reference counter's A-B phase under the unit's plots; shown only
    // while the unit has counter samples recorded beside it.
    QCPAxisRect* CounterRect() const { return m_pCounterRect; }
    QCPGraph* CounterGraph() const { return m_pCounterGraph; }
    bool IsCounterShown() const { return m_bCounterShown; }
    std::int64_t VisibleFromMs() const;
    std::int64_t VisibleToMs() const;
    QString StatisticsText() const;
    QString DeviationSummary() const;
    QString HoverText() const;
    int DeviationPoints() const;
    int ShadedPeriods() const { return static_cast<int>(m_periods.size()); }
    bool IsDeviationBusy() const;
    bool IsPeriodsBusy() const { return m_bPeriodsRunning; }
    // The "1st\u201399th percentile" scale, and how many points it cuts off
    // (marked at the plots' edges) in the range shown.
    QCheckBox* PercentileScale() const { return m_pPercentile; }
    int ClippedMarks() const { return m_nClippedPoints; }
    // The readout for the mouse at |pos| in the plot's coordinates.
    void HoverAt(const QPoint& pos);

signals:
    void DeviationUpdated();
    void PeriodsUpdated();

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    bool EnsureOpen();
    void FillUnits();
    void BuildPlots();
    void OnRangeChanged(const QCPRange& range);
    void OnLiveTick();
    void LoadSeries(std::int64_t fromMs, std::int64_t toMs);
    void UpdateValueAxes();
    // Reads the counter's phase over [from, to) and shows or hides its plot.
    void LoadCounter(std::int64_t fromMs, std::int64_t toMs, int bucketS);
    void ShowCounterPlot(bool shown);
    void UpdateStatistics();
    void StartPeriods();
    void ApplyPeriods();
    void StartDeviation();
    std::int64_t UnitId() const;
    bool UnitExtent(std::int64_t& firstMs, std::int64_t& lastMs);

    std::string m_strPath;
    CHistoryQuery m_query;
    bool m_bOpen = false;
    std::vector<CHistoryUnit> m_units;

    QComboBox* m_pUnit = nullptr;
    QTabWidget* m_pTabs = nullptr;
    QCustomPlot* m_pPlot = nullptr;
    std::array<QCPAxisRect*, kHistoryPlotCount> m_rects{};
    std::array<QCPGraph*, kHistoryPlotCount> m_graphs{};
    // The min/max envelope of roll-up points, as bars from min to max under
    // each mean (dense enough to read as a band; a channel fill between two
    // ragged graphs costs a hundred times more to draw).
    std::array<QCPErrorBars*, kHistoryPlotCount> m_bands{};
    // Each value axis's ticker (owned by its axis) and the marks of the
    // points a percentile scale cuts off.
    std::array<QCPAxisTickerFixed*, kHistoryPlotCount> m_valueTickers{};
    std::array<QCPGraph*, kHistoryPlotCount> m_clippedAbove{};
    std::array<QCPGraph*, kHistoryPlotCount> m_clippedBelow{};
    QCPAxisRect* m_pCounterRect = nullptr;
    QCPGraph* m_pCounterGraph = nullptr;
    bool m_bCounterShown = false;
    QCheckBox* m_pPercentile = nullptr;
    int m_nClippedPoints = 0;
    QLabel* m_pHover = nullptr;
    QLabel* m_pStats = nullptr;
    QLabel* m_pMessage = nullptr;

    CDeviationPanel* m_pDeviation = nullptr;

    QTimer m_liveTimer;
    QTimer m_settleTimer;  // reloads once the range stops changing
    int m_nSpanS = 86400;
    bool m_bFollowing = true;
    bool m_bSettingRange = false;
    std::int64_t m_llLoadedFromMs = 0;
    std::int64_t m_llLoadedToMs = 0;
    int m_nLoadedBucketS = -1;
    int m_nLoadedPixels = 1;
    std::int64_t m_llLoadedLastMs = 0;

    std::vector<CHistoryPeriod> m_periods;
    std::uint64_t m_qwPeriodsGeneration = 0;
    bool m_bPeriodsRunning = false;
    bool m_bPeriodsAgain = false;
    QFutureWatcher<CPeriodsResult> m_periodsWatcher;
};

}  // namespace velmor
