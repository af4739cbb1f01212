#include "HistoryWindow.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <limits>

#include "DeviationPanel.h"
#include "ShadingLegend.h"
#include "WorkerPool.h"
#include "counter/CounterQuery.h"
#include "history/PlotScale.h"

namespace velmor {

namespace {

constexpr int kLiveIntervalMs = 1000;
constexpr int kSettleMs = 120;
// The longest range read as raw rows; beyond it the roll-ups are drawn.
constexpr std::int64_t kMaxRawSeconds = 24000;
// A range the window may be asked for: 1970 .. 2200 in ms.
constexpr std::int64_t kLatestMs = 7258118400000;

struct CPlotStyle {
    const char* m_pszLabel;  // the value axis
    const char* m_pszName;   // readout and statistics
    const char* m_pszUnit;
    double m_dScale;  // stored value -> shown value
    QColor m_color;
};

// Frequency error is shown in parts in 10^12: the unit's figures live there.
const std::array<CPlotStyle, kHistoryPlotCount> kStyles = {{
    {"1PPS (ns)", "1PPS", "ns", 1.0, QColor(20, 90, 200)},
    {"Freq. (1e-12)", "Freq", "\u00d71e-12", 1e12, QColor(190, 60, 20)},
    {"DAC", "DAC", "", 1.0, QColor(40, 140, 60)},
    {"Temp. (\u00b0C)", "Temp", "\u00b0C", 1.0, QColor(150, 40, 150)},
    {"Sats used", "Sats", "", 1.0, QColor(60, 60, 60)},
}};

// How each value axis reaches around its data and how the drift is written.
// Counts (DAC steps, satellites) get whole-number ticks; the satellites get
// no drift column; the frequency's drift is the fraction per day, as an
// oscillator's ageing is quoted.
struct CAxisStyle {
    CAxisTraits m_traits;
    bool m_bDrift;
    CDriftUnit m_drift;
};
const std::array<CAxisStyle, kHistoryPlotCount> kAxisStyles = {{
    {{2.0, false}, true, {1.0, "ns/day"}},
    {{0.2, false}, true, {1e-12, "/day"}},
    {{2.0, true}, true, {1.0, "/day"}},
    {{0.2, false}, true, {1.0, "\u00b0C/day"}},
    {{2.0, true}, false, {}},
}};
constexpr int kValueTicks = 4;
// The percentile scale: what lies beyond these is cut off and marked.
constexpr double kLowPercentile = 1;
constexpr double kHighPercentile = 99;

double KeyOf(std::int64_t ms) { return static_cast<double>(ms) / 1000.0; }
std::int64_t MsOf(double key)
{
    if (!std::isfinite(key)) return 0;
    return static_cast<std::int64_t>(std::clamp(key * 1000.0, 0.0, static_cast<double>(kLatestMs)));
}

QString FormatUtc(std::int64_t ms, const char* format = "yyyy-MM-dd HH:mm:ss")
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QString::fromLatin1(format));
}

QString Number(double v)
{
    if (!std::isfinite(v)) return QStringLiteral("-");
    return QString::number(v, 'g', 5);
}

// The worker's read of the shading periods, on its own connection.
CPeriodsResult ReadPeriodsOff(std::string path, std::int64_t unit, std::int64_t fromMs, std::int64_t toMs,
                              std::uint64_t generation)
{
    CPeriodsResult result;
    result.m_qwGeneration = generation;
    CHistoryQuery query;
    std::string error;
    if (query.Open(path, error)) result.m_periods = query.ReadPeriods(unit, fromMs, toMs);
    return result;
}

}  // namespace

CHistoryWindow::CHistoryWindow(std::string dbPath, QWidget* pParent, CProfile* pProfile)
    : QWidget(pParent, Qt::Window), m_strPath(std::move(dbPath))
{
    setWindowTitle(QStringLiteral("Velmor - History"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* pLayout = new QVBoxLayout(this);

    auto* pBar = new QHBoxLayout;
    pBar->addWidget(new QLabel(QStringLiteral("Unit:"), this));
    m_pUnit = new QComboBox(this);
    m_pUnit->setObjectName(QStringLiteral("unit"));
    m_pUnit->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pBar->addWidget(m_pUnit);
    pBar->addSpacing(12);
    static const char* const kSpanTexts[] = {"10 min", "1 h", "6 h", "1 day", "1 week", "All"};
    static const char* const kSpanNames[] = {"span10m", "span1h", "span6h", "span1d", "span1w", "spanAll"};
    for (std::size_t i = 0; i < kSpansS.size(); ++i) {
        auto* pButton = new QPushButton(QString::fromUtf8(kSpanTexts[i]), this);
        pButton->setObjectName(QString::fromLatin1(kSpanNames[i]));
        // As narrow as their texts allow when the screen is small (the
        // style's usual minimum is wider).
        pButton->setMinimumWidth(pButton->fontMetrics().horizontalAdvance(pButton->text()) + 16);
        const int span = kSpansS[i];
        connect(pButton, &QPushButton::clicked, this, [this, span] { ShowSpan(span); });
        pBar->addWidget(pButton);
    }
    pBar->addSpacing(12);
    m_pPercentile = new QCheckBox(QStringLiteral("1st\u201399th percentile"), this);
    m_pPercentile->setObjectName(QStringLiteral("percentile"));
    m_pPercentile->setToolTip(QStringLiteral("Scale each plot to the 1st to 99th percentile of what is shown; "
                                             "points beyond it are marked with a triangle at the edge"));
    pBar->addWidget(m_pPercentile);
    pBar->addStretch(1);
    pLayout->addLayout(pBar);

    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("message"));
    m_pMessage->setWordWrap(true);
    m_pMessage->hide();
    pLayout->addWidget(m_pMessage);

    m_pTabs = new QTabWidget(this);
    pLayout->addWidget(m_pTabs, 1);

    auto* pPlotsPage = new QWidget(m_pTabs);
    auto* pPlotsLayout = new QVBoxLayout(pPlotsPage);
    pPlotsLayout->setContentsMargins(0, 0, 0, 0);
    m_pPlot = new QCustomPlot(pPlotsPage);
    m_pPlot->setObjectName(QStringLiteral("plots"));
    m_pPlot->setMinimumHeight(300);
    pPlotsLayout->addWidget(m_pPlot, 1);
    pPlotsLayout->addWidget(new CShadingLegend(pPlotsPage));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_pHover = new QLabel(pPlotsPage);
    m_pHover->setObjectName(QStringLiteral("hover"));
    m_pHover->setFont(fixed);
    m_pHover->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The readout and the table ask for their width, but do not hold the
    // window wider than a small screen: they are cut off at the right.
    m_pHover->setMinimumWidth(1);
    pPlotsLayout->addWidget(m_pHover);
    m_pStats = new QLabel(pPlotsPage);
    m_pStats->setObjectName(QStringLiteral("statistics"));
    m_pStats->setFont(fixed);
    m_pStats->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pStats->setMinimumWidth(1);
    pPlotsLayout->addWidget(m_pStats);
    m_pTabs->addTab(pPlotsPage, QStringLiteral("&Plots"));

    m_pDeviation = new CDeviationPanel(m_strPath, pProfile, m_pTabs);
    m_pTabs->addTab(m_pDeviation, QStringLiteral("&Deviation"));

    BuildPlots();

    connect(m_pUnit, &QComboBox::currentIndexChanged, this, [this] {
        m_periods.clear();
        ShowSpan(m_nSpanS);
    });
    connect(m_pPercentile, &QCheckBox::toggled, this, [this] {
        UpdateValueAxes();
        m_pPlot->replot();
    });
    connect(m_pTabs, &QTabWidget::currentChanged, this, [this] { StartDeviation(); });
    connect(&m_periodsWatcher, &QFutureWatcher<CPeriodsResult>::finished, this, [this] {
        m_bPeriodsRunning = false;
        const CPeriodsResult result = m_periodsWatcher.result();
        if (result.m_qwGeneration == m_qwPeriodsGeneration) {
            m_periods = result.m_periods;
            ApplyPeriods();
        }
        if (m_bPeriodsAgain) StartPeriods();
        emit PeriodsUpdated();
    });
    connect(m_pDeviation, &CDeviationPanel::Updated, this, &CHistoryWindow::DeviationUpdated);

    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        LoadSeries(VisibleFromMs(), VisibleToMs());
        StartDeviation();
    });
    connect(&m_liveTimer, &QTimer::timeout, this, &CHistoryWindow::OnLiveTick);
    m_liveTimer.start(kLiveIntervalMs);

    resize(1000, 760);
    if (EnsureOpen()) ShowSpan(86400);
}

// The workers hold copies of what they read and nothing of the window: one
// still running when the window goes finishes on its own, unheard.
CHistoryWindow::~CHistoryWindow()
{
    // A counter plot out of the layout belongs to nobody: back in, the plot
    // deletes it with the others.
    if (!m_bCounterShown && m_pPlot && m_pCounterRect) m_pPlot->plotLayout()->addElement(kHistoryPlotCount, 0, m_pCounterRect);
}

void CHistoryWindow::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    // Roll-ups were read for another width: read them again for this one.
    if (m_nLoadedBucketS > 0 && std::abs(m_pPlot->width() - m_nLoadedPixels) * 4 > m_nLoadedPixels)
        m_settleTimer.start(kSettleMs);
}

bool CHistoryWindow::EnsureOpen()
{
    if (m_bOpen) return true;
    std::string error;
    if (!m_query.Open(m_strPath, error)) {
        m_pMessage->setText(QStringLiteral("No history to show yet: %1").arg(QString::fromStdString(error)));
        m_pMessage->show();
        return false;
    }
    m_bOpen = true;
    m_pMessage->hide();
    FillUnits();
    return true;
}

void CHistoryWindow::FillUnits()
{
    m_units = m_query.ListUnits(false);
    const QSignalBlocker block(m_pUnit);
    m_pUnit->clear();
    int newest = -1;
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        const CHistoryUnit& unit = m_units[i];
        m_pUnit->addItem(QStringLiteral("%1 on %2")
                             .arg(QString::fromStdString(unit.m_strPartNumber.empty() ? "(unidentified)"
                                                                                       : unit.m_strPartNumber),
                                  QString::fromStdString(unit.m_strDevice)));
        if (unit.m_llLastMs && (newest < 0 || !m_units[static_cast<std::size_t>(newest)].m_llLastMs ||
                                *unit.m_llLastMs > *m_units[static_cast<std::size_t>(newest)].m_llLastMs))
            newest = static_cast<int>(i);
    }
    if (newest >= 0) m_pUnit->setCurrentIndex(newest);
}

std::int64_t CHistoryWindow::UnitId() const
{
    const int i = m_pUnit->currentIndex();
    if (i < 0 || i >= static_cast<int>(m_units.size())) return -1;
    return m_units[static_cast<std::size_t>(i)].m_llId;
}

bool CHistoryWindow::UnitExtent(std::int64_t& firstMs, std::int64_t& lastMs)
{
    const std::int64_t id = UnitId();
    return id >= 0 && m_query.ReadExtent(id, firstMs, lastMs);
}

void CHistoryWindow::BuildPlots()
{
    QCustomPlot& plot = *m_pPlot;
    plot.plotLayout()->clear();
    plot.addLayer(QStringLiteral("shading"), plot.layer(QStringLiteral("grid")), QCustomPlot::limBelow);
    plot.addLayer(QStringLiteral("bands"), plot.layer(QStringLiteral("main")), QCustomPlot::limBelow);
    plot.setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot.setNoAntialiasingOnDrag(true);
    auto* pGroup = new QCPMarginGroup(&plot);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat(QStringLiteral("MM-dd\nHH:mm:ss"));
    for (int i = 0; i < kHistoryPlotCount; ++i) {
        auto* pRect = new QCPAxisRect(&plot);
        plot.plotLayout()->addElement(i, 0, pRect);
        pRect->setMarginGroup(QCP::msLeft | QCP::msRight, pGroup);
        pRect->setRangeDrag(Qt::Horizontal);
        pRect->setRangeZoom(Qt::Horizontal);
        QCPAxis* pX = pRect->axis(QCPAxis::atBottom);
        QCPAxis* pY = pRect->axis(QCPAxis::atLeft);
        pX->setTicker(ticker);
        // Only the lowest plot labels the shared time axis.
        const bool bottom = i == kHistoryPlotCount - 1;
        pX->setTickLabels(bottom);
        if (!bottom) pRect->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msTop);
        if (!bottom) pRect->setMargins(QMargins(0, 0, 0, 4));
        pY->setLabel(QString::fromUtf8(kStyles[static_cast<std::size_t>(i)].m_pszLabel));
        // Ticks at a step of our choosing (UpdateValueAxes): whole numbers
        // for counts, labels that differ for nearly constant data.
        QSharedPointer<QCPAxisTickerFixed> valueTicker(new QCPAxisTickerFixed);
        valueTicker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
        pY->setTicker(valueTicker);
        pY->setNumberFormat(QStringLiteral("f"));
        m_valueTickers[static_cast<std::size_t>(i)] = valueTicker.data();
        const QColor color = kStyles[static_cast<std::size_t>(i)].m_color;
        QCPGraph* pGraph = plot.addGraph(pX, pY);
        pGraph->setPen(QPen(color, 1));
        pGraph->setAdaptiveSampling(true);
        auto* pBand = new QCPErrorBars(pX, pY);
        pBand->setLayer(QStringLiteral("bands"));
        pBand->setDataPlottable(pGraph);
        pBand->setErrorType(QCPErrorBars::etValueError);
        pBand->setWhiskerWidth(0);
        pBand->setSymbolGap(0);
        QColor band = color;
        band.setAlpha(60);
        pBand->setPen(QPen(band, 1));
        pBand->setSelectable(QCP::stNone);
        // The points a percentile scale cuts off: a triangle at the edge
        // they leave by, pointing away.
        for (const bool above : {true, false}) {
            QCPGraph* pMarks = plot.addGraph(pX, pY);
            pMarks->removeFromLegend();
            pMarks->setLineStyle(QCPGraph::lsNone);
            pMarks->setScatterStyle(QCPScatterStyle(above ? QCPScatterStyle::ssTriangle
                                                          : QCPScatterStyle::ssTriangleInverted,
                                                    QPen(color.darker(150), 1), QBrush(color), 7));
            pMarks->setSelectable(QCP::stNone);
            (above ? m_clippedAbove : m_clippedBelow)[static_cast<std::size_t>(i)] = pMarks;
        }
        m_rects[static_cast<std::size_t>(i)] = pRect;
        m_graphs[static_cast<std::size_t>(i)] = pGraph;
        m_bands[static_cast<std::size_t>(i)] = pBand;
        // Dragging or zooming one plot moves them all.
        connect(pX, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &CHistoryWindow::OnRangeChanged);
    }
    // The counter's phase: its own axis rect, kept out of the layout until
    // the unit has counter samples; it follows the shared time axis.
    m_pCounterRect = new QCPAxisRect(&plot);
    m_pCounterRect->setMarginGroup(QCP::msLeft | QCP::msRight, pGroup);
    m_pCounterRect->setRangeDrag(Qt::Horizontal);
    m_pCounterRect->setRangeZoom(Qt::Horizontal);
    QCPAxis* pCounterX = m_pCounterRect->axis(QCPAxis::atBottom);
    pCounterX->setTicker(ticker);
    m_pCounterRect->axis(QCPAxis::atLeft)->setLabel(QStringLiteral("Counter A\u2212B (ns)"));
    m_pCounterGraph = plot.addGraph(pCounterX, m_pCounterRect->axis(QCPAxis::atLeft));
    m_pCounterGraph->setPen(QPen(QColor(0, 130, 130), 1));
    m_pCounterGraph->setAdaptiveSampling(true);
    m_pCounterRect->setVisible(false);
    connect(m_rects[0]->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [pCounterX](const QCPRange& range) {
                if (pCounterX->range() != range) pCounterX->setRange(range);
            });
    connect(pCounterX, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, &CHistoryWindow::OnRangeChanged);
    connect(&plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* pEvent) { HoverAt(pEvent->pos()); });
}

void CHistoryWindow::ShowCounterPlot(bool shown)
{
    if (shown == m_bCounterShown) return;
    m_bCounterShown = shown;
    QCPLayoutGrid& layout = *m_pPlot->plotLayout();
    QCPAxisRect* pLastUnit = m_rects[kHistoryPlotCount - 1];
    // The lowest plot labels the shared time axis.
    pLastUnit->axis(QCPAxis::atBottom)->setTickLabels(!shown);
    if (shown) {
        pLastUnit->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msTop);
        pLastUnit->setMargins(QMargins(0, 0, 0, 4));
        layout.addElement(kHistoryPlotCount, 0, m_pCounterRect);
        m_pCounterRect->setVisible(true);
        m_pCounterRect->axis(QCPAxis::atBottom)->setRange(m_rects[0]->axis(QCPAxis::atBottom)->range());
    } else {
        pLastUnit->setAutoMargins(QCP::msAll);
        layout.take(m_pCounterRect);
        layout.simplify();
        m_pCounterRect->setVisible(false);
    }
}

void CHistoryWindow::LoadCounter(std::int64_t fromMs, std::int64_t toMs, int bucketS)
{
    const int i = m_pUnit->currentIndex();
    if (i < 0 || i >= static_cast<int>(m_units.size())) return;
    const CCounterPhaseRead read = ReadCounterPhase(m_strPath, m_units[static_cast<std::size_t>(i)].m_strDevice, "A-B",
                                                    fromMs, toMs, {}, std::int64_t{bucketS} * 1000);
    ShowCounterPlot(!read.m_strCounter.empty());
    if (!m_bCounterShown) return;
    QVector<double> keys;
    QVector<double> values;
    keys.reserve(static_cast<qsizetype>(read.m_points.size() + 16));
    values.reserve(keys.capacity());
    // A slip, a gap or a restart breaks the line: nothing bridges it.
    const double gapS = bucketS > 0 ? 2.5 * bucketS : 3.5;
    double lastKey = -1;
    for (const CCounterPhasePoint& point : read.m_points) {
        const double key = KeyOf(point.m_llHostMs) + bucketS / 2.0;
        if (lastKey >= 0 && (point.m_bSegmentStart || key - lastKey > gapS)) {
            keys.push_back((key + lastKey) / 2);
            values.push_back(std::numeric_limits<double>::quiet_NaN());
        }
        lastKey = key;
        keys.push_back(key);
        values.push_back(point.m_dPhaseSeconds * 1e9);
    }
    m_pCounterGraph->setData(keys, values, true);
    bool found = false;
    const QCPRange range = m_pCounterGraph->getValueRange(found);
    if (found) {
        const double pad = std::max(range.size() * 0.05, 0.001);
        m_pCounterRect->axis(QCPAxis::atLeft)->setRange(range.lower - pad, range.upper + pad);
    }
}

void CHistoryWindow::ShowSpan(int seconds)
{
    if (!EnsureOpen()) return;
    m_nSpanS = seconds;
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
    if (!UnitExtent(firstMs, lastMs)) return;
    // A little room after the newest row, so that the live edge shows.
    const std::int64_t toMs = lastMs + 1000;
    // A span longer than the record shows the whole record.
    const std::int64_t fromMs = seconds > 0 ? std::max(toMs - std::int64_t{seconds} * 1000, firstMs) : firstMs;
    m_bFollowing = true;
    m_bSettingRange = true;
    for (QCPAxisRect* pRect : m_rects) pRect->axis(QCPAxis::atBottom)->setRange(KeyOf(fromMs), KeyOf(toMs));
    m_bSettingRange = false;
    m_settleTimer.stop();
    LoadSeries(fromMs, toMs);
    StartDeviation();
}

void CHistoryWindow::ShowRange(std::int64_t fromMs, std::int64_t toMs)
{
    if (toMs <= fromMs) return;
    m_bFollowing = false;
    m_bSettingRange = true;
    for (QCPAxisRect* pRect : m_rects) pRect->axis(QCPAxis::atBottom)->setRange(KeyOf(fromMs), KeyOf(toMs));
    m_bSettingRange = false;
    m_settleTimer.stop();
    LoadSeries(fromMs, toMs);
    StartDeviation();
}

void CHistoryWindow::Reload() { LoadSeries(VisibleFromMs(), VisibleToMs()); }

std::int64_t CHistoryWindow::VisibleFromMs() const
{
    return MsOf(m_rects[0]->axis(QCPAxis::atBottom)->range().lower);
}
std::int64_t CHistoryWindow::VisibleToMs() const { return MsOf(m_rects[0]->axis(QCPAxis::atBottom)->range().upper); }

void CHistoryWindow::OnRangeChanged(const QCPRange& range)
{
    if (m_bSettingRange) return;
    m_bSettingRange = true;
    for (QCPAxisRect* pRect : m_rects) {
        QCPAxis* pX = pRect->axis(QCPAxis::atBottom);
        if (pX->range() != range) pX->setRange(range);
    }
    m_bSettingRange = false;
    // The operator moved the view: it follows new rows only while its right
    // edge stays at the newest one.
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
    m_bFollowing = UnitExtent(firstMs, lastMs) && MsOf(range.upper) >= lastMs;
    // Read again once the range settles, when it leaves what was read or
    // would now be drawn from much finer or coarser data.
    const std::int64_t fromMs = MsOf(range.lower);
    const std::int64_t toMs = MsOf(range.upper);
    const std::int64_t widthS = (toMs - fromMs) / 1000 + 1;
    const bool outside = fromMs < m_llLoadedFromMs || toMs > m_llLoadedToMs;
    const int wantBucket = widthS * 3 <= kMaxRawSeconds ? 0 : 1;
    const bool detail = (wantBucket == 0) != (m_nLoadedBucketS == 0) ||
                        (m_nLoadedBucketS > 0 && widthS / std::max(1, m_nLoadedBucketS) < m_pPlot->width() / 4);
    if (outside || detail) m_settleTimer.start(kSettleMs);
    UpdateValueAxes();
    UpdateStatistics();
    m_pPlot->replot(QCustomPlot::rpQueuedReplot);
}

void CHistoryWindow::OnLiveTick()
{
    if (!EnsureOpen()) return;
    if (m_units.empty() || UnitId() < 0) {
        FillUnits();
        if (UnitId() >= 0) ShowSpan(m_nSpanS);
        return;
    }
    if (!m_bFollowing || !isVisible()) return;
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
    if (!UnitExtent(firstMs, lastMs) || lastMs + 1000 <= VisibleToMs()) return;
    // Drawn from roll-ups, the picture changes only once a bucket has filled.
    if (m_nLoadedBucketS > 0 && lastMs - m_llLoadedLastMs < std::int64_t{m_nLoadedBucketS} * 1000) return;
    // A view that starts at the first row grows with the record up to its
    // span; any other keeps its width and slides.
    const std::int64_t toMs = lastMs + 1000;
    std::int64_t fromMs = VisibleFromMs() + (toMs - VisibleToMs());
    if (VisibleFromMs() <= firstMs)
        fromMs = m_nSpanS > 0 ? std::max(firstMs, toMs - std::int64_t{m_nSpanS} * 1000) : firstMs;
    m_bSettingRange = true;
    for (QCPAxisRect* pRect : m_rects) pRect->axis(QCPAxis::atBottom)->setRange(KeyOf(fromMs), KeyOf(toMs));
    m_bSettingRange = false;
    LoadSeries(fromMs, toMs);
}

void CHistoryWindow::LoadSeries(std::int64_t fromMs, std::int64_t toMs)
{
    const std::int64_t id = UnitId();
    if (id < 0 || toMs <= fromMs) return;
    // A width either side, so that a pan shows data at once.
    const std::int64_t widthMs = toMs - fromMs;
    std::int64_t loadFrom = std::max<std::int64_t>(0, fromMs - widthMs);
    std::int64_t loadTo = std::min(kLatestMs, toMs + widthMs);
    std::int64_t firstMs = 0;
    std::int64_t lastMs = 0;
    if (UnitExtent(firstMs, lastMs)) {
        loadFrom = std::max(loadFrom, firstMs);
        loadTo = std::min(loadTo, lastMs + 1);
    }
    if (loadTo <= loadFrom) loadTo = loadFrom + 1;
    const std::int64_t spanS = (loadTo - loadFrom + 999) / 1000;
    // Raw rows while they are few; else about one point per pixel of the
    // visible range, each with its min/max envelope. Before the window is
    // laid out its width is not known yet.
    const int pixels = std::max(1000, m_pPlot->width());
    m_nLoadedPixels = std::max(1, m_pPlot->width());
    m_llLoadedLastMs = loadTo - 1;
    const double perVisible = static_cast<double>(loadTo - loadFrom) / static_cast<double>(widthMs);
    const int maxPoints = spanS <= kMaxRawSeconds ? static_cast<int>(spanS)
                                                  : static_cast<int>(std::clamp(pixels * perVisible, 1.0 * pixels,
                                                                                3.0 * pixels));
    int bucketS = 0;
    for (int i = 0; i < kHistoryPlotCount; ++i) {
        const CHistorySeries series =
            m_query.ReadSeries(id, kHistoryPlotQuantities[static_cast<std::size_t>(i)], loadFrom, loadTo, maxPoints);
        const double scale = kStyles[static_cast<std::size_t>(i)].m_dScale;
        const std::size_t n = series.m_points.size();
        QVector<double> keys;
        QVector<double> means;
        QVector<double> lows;
        QVector<double> highs;
        keys.reserve(static_cast<qsizetype>(n + n / 8));
        means.reserve(keys.capacity());
        const bool envelope = series.m_nBucketSeconds > 0;
        if (envelope) {
            lows.reserve(keys.capacity());
            highs.reserve(keys.capacity());
        }
        // Where rows are missing the line breaks (a NaN between the points):
        // a missing second of the unit's time, or a long silence.
        const double gapS = series.m_nBucketSeconds > 0 ? 2.5 * series.m_nBucketSeconds : 3.5;
        constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
        double lastKey = -1;
        for (const CSeriesPoint& p : series.m_points) {
            const double key = KeyOf(p.m_llHostMs);
            if (lastKey >= 0 && (key - lastKey > gapS || p.m_bBreakBefore)) {
                keys.push_back((key + lastKey) / 2);
                means.push_back(kNaN);
                if (envelope) {
                    lows.push_back(0);
                    highs.push_back(0);
                }
            }
            lastKey = key;
            // Roll-up points sit in the middle of their bucket.
            keys.push_back(key + series.m_nBucketSeconds / 2.0);
            means.push_back(p.m_dMean * scale);
            if (envelope) {
                lows.push_back(std::max(0.0, (p.m_dMean - p.m_dMin) * scale));
                highs.push_back(std::max(0.0, (p.m_dMax - p.m_dMean) * scale));
            }
        }
        m_graphs[static_cast<std::size_t>(i)]->setData(keys, means, true);
        m_bands[static_cast<std::size_t>(i)]->setData(lows, highs);
        bucketS = std::max(bucketS, series.m_nBucketSeconds);
    }
    LoadCounter(loadFrom, loadTo, bucketS);
    m_llLoadedFromMs = fromMs - widthMs;
    m_llLoadedToMs = toMs + widthMs;
    m_nLoadedBucketS = bucketS;
    UpdateValueAxes();
    UpdateStatistics();
    StartPeriods();
    m_pPlot->replot();
}

void CHistoryWindow::UpdateValueAxes()
{
    const bool percentile = m_pPercentile->isChecked();
    int clipped = 0;
    for (int i = 0; i < kHistoryPlotCount; ++i) {
        const auto s = static_cast<std::size_t>(i);
        // Each visible point's extent: its value, or its roll-up's min..max.
        const QCPRange keys = m_rects[s]->axis(QCPAxis::atBottom)->range();
        const QCPGraphDataContainer& data = *m_graphs[s]->data();
        const QCPErrorBarsDataContainer& band = *m_bands[s]->data();
        const bool envelope = band.size() == data.size();
        std::vector<double> pointKeys;
        std::vector<double> lows;
        std::vector<double> highs;
        for (auto it = data.findBegin(keys.lower, false); it != data.constEnd() && it->key <= keys.upper; ++it) {
            if (!std::isfinite(it->value)) continue;
            double low = it->value;
            double high = it->value;
            if (envelope) {
                const QCPErrorBarsData& e = band.at(static_cast<qsizetype>(it - data.constBegin()));
                low -= e.errorMinus;
                high += e.errorPlus;
            }
            pointKeys.push_back(it->key);
            lows.push_back(low);
            highs.push_back(high);
        }
        QVector<double> aboveKeys;
        QVector<double> aboveValues;
        QVector<double> belowKeys;
        QVector<double> belowValues;
        if (!lows.empty()) {
            CAxisRange shown{*std::min_element(lows.begin(), lows.end()), *std::max_element(highs.begin(), highs.end())};
            CAxisRange cut;
            if (percentile && PercentileRange(lows, kLowPercentile, kHighPercentile, cut))
                shown.m_dLower = cut.m_dLower;
            if (percentile && PercentileRange(highs, kLowPercentile, kHighPercentile, cut))
                shown.m_dUpper = cut.m_dUpper;
            const CAxisStyle& style = kAxisStyles[s];
            const CAxisRange axis = PaddedRange(shown.m_dLower, shown.m_dUpper, style.m_traits);
            QCPAxis* pY = m_rects[s]->axis(QCPAxis::atLeft);
            pY->setRange(axis.m_dLower, axis.m_dUpper);
            const double step = TickStep(axis.m_dLower, axis.m_dUpper, kValueTicks, style.m_traits.m_bIntegral);
            m_valueTickers[s]->setTickStep(step);
            pY->setNumberPrecision(TickDecimals(step));
            // What the axis cannot show is marked just inside its edge.
            const double inset = (axis.m_dUpper - axis.m_dLower) * 0.04;
            if (percentile) {
                for (const CClipMark& mark : ClippedPoints(lows, highs, axis)) {
                    (mark.m_bAbove ? aboveKeys : belowKeys).push_back(pointKeys[mark.m_nIndex]);
                    (mark.m_bAbove ? aboveValues : belowValues)
                        .push_back(mark.m_bAbove ? axis.m_dUpper - inset : axis.m_dLower + inset);
                }
            }
        }
        clipped += static_cast<int>(aboveKeys.size() + belowKeys.size());
        m_clippedAbove[s]->setData(aboveKeys, aboveValues, true);
        m_clippedBelow[s]->setData(belowKeys, belowValues, true);
    }
    m_nClippedPoints = clipped;
}

void CHistoryWindow::UpdateStatistics()
{
    // Each point stands for its count of rows; the drift is the slope of a
    // least-squares line through the points, per day, fitted to the values
    // less the first one (the sums then keep their digits).
    const QCPRange keys = m_rects[0]->axis(QCPAxis::atBottom)->range();
    QStringList lines;
    lines << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                 .arg(QString(), -6)
                 .arg(QStringLiteral("mean"), 12)
                 .arg(QStringLiteral("RMS"), 12)
                 .arg(QStringLiteral("min"), 12)
                 .arg(QStringLiteral("max"), 12)
                 .arg(QString(), -7)
                 .arg(QStringLiteral("drift"));
    for (int i = 0; i < kHistoryPlotCount; ++i) {
        const auto s = static_cast<std::size_t>(i);
        const QCPGraphDataContainer& data = *m_graphs[s]->data();
        const QCPErrorBarsDataContainer& band = *m_bands[s]->data();
        const bool envelope = band.size() == data.size();
        long double w = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        double firstKey = 0;
        double lastKey = 0;
        double v0 = 0;
        const double t0 = keys.lower;
        for (auto it = data.findBegin(keys.lower, false); it != data.constEnd() && it->key <= keys.upper; ++it) {
            const double v = it->value;
            const auto index = static_cast<qsizetype>(it - data.constBegin());
            const double lowV = envelope ? v - band.at(index).errorMinus : v;
            const double highV = envelope ? v + band.at(index).errorPlus : v;
            if (!std::isfinite(v)) continue;
            if (w == 0) {
                v0 = v;
                firstKey = it->key;
            }
            lastKey = it->key;
            const long double x = (it->key - t0) / 86400.0;
            const long double y = static_cast<long double>(v) - v0;
            w += 1;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
            syy += static_cast<long double>(v) * v;
            lo = std::min(lo, lowV);
            hi = std::max(hi, highV);
        }
        const CPlotStyle& style = kStyles[s];
        if (w == 0) {
            lines << QStringLiteral("%1 %2").arg(QString::fromUtf8(style.m_pszName), -6).arg(QStringLiteral("no data"), 12);
            continue;
        }
        const double mean = static_cast<double>(v0 + sy / w);
        const double rms = std::sqrt(static_cast<double>(syy / w));
        const long double denominator = w * sxx - sx * sx;
        const double drift = w > 1 && denominator > 0 ? static_cast<double>((w * sxy - sx * sy) / denominator)
                                                      : std::numeric_limits<double>::quiet_NaN();
        const CAxisStyle& axis = kAxisStyles[s];
        const QString driftText =
            axis.m_bDrift ? QString::fromStdString(FormatDrift(drift, (lastKey - firstKey) / 86400.0,
                                                               std::max(std::abs(lo), std::abs(hi)), axis.m_drift))
                          : QString();
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                     .arg(QString::fromUtf8(style.m_pszName), -6)
                     .arg(Number(mean), 12)
                     .arg(Number(rms), 12)
                     .arg(Number(lo), 12)
                     .arg(Number(hi), 12)
                     .arg(QString::fromUtf8(style.m_pszUnit), -7)
                     .arg(driftText)
                     .trimmed();
    }
    m_pStats->setText(lines.join(QLatin1Char('\n')));
}

void CHistoryWindow::HoverAt(const QPoint& pos)
{
    QCPAxisRect* pRect = m_pPlot->axisRectAt(pos);
    if (!pRect) return;
    const double key = pRect->axis(QCPAxis::atBottom)->pixelToCoord(pos.x());
    QString text = FormatUtc(MsOf(key)) + QStringLiteral(" UTC");
    for (int i = 0; i < kHistoryPlotCount; ++i) {
        const auto s = static_cast<std::size_t>(i);
        const QCPGraphDataContainer& data = *m_graphs[s]->data();
        QString value = QStringLiteral("-");
        if (!data.isEmpty()) {
            // The nearer of the points either side of the mouse.
            auto it = data.findBegin(key, true);
            auto next = it;
            if (next != data.constEnd()) ++next;
            if (next != data.constEnd() && std::abs(next->key - key) < std::abs(it->key - key)) it = next;
            const QCPRange visible = pRect->axis(QCPAxis::atBottom)->range();
            // Only a point within a few pixels in time counts.
            const double tolerance = visible.size() / std::max(1, pRect->width()) * 8;
            if (it != data.constEnd() && std::abs(it->key - key) <= tolerance) value = Number(it->value);
        }
        text += QStringLiteral("   %1 %2%3")
                    .arg(QString::fromUtf8(kStyles[s].m_pszName), value,
                         value == QStringLiteral("-") || !*kStyles[s].m_pszUnit
                             ? QString()
                             : QStringLiteral(" ") + QString::fromUtf8(kStyles[s].m_pszUnit));
    }
    m_pHover->setText(text);
}

QString CHistoryWindow::HoverText() const { return m_pHover->text(); }

void CHistoryWindow::StartPeriods()
{
    const std::int64_t id = UnitId();
    if (id < 0) return;
    if (m_bPeriodsRunning) {
        m_bPeriodsAgain = true;
        return;
    }
    m_bPeriodsAgain = false;
    m_bPeriodsRunning = true;
    m_periodsWatcher.setFuture(QtConcurrent::run(&HistoryWorkerPool(), ReadPeriodsOff, m_strPath, id,
                                                 m_llLoadedFromMs, m_llLoadedToMs, ++m_qwPeriodsGeneration));
}

void CHistoryWindow::ApplyPeriods()
{
    // Items on the shading layer are ours: all of them go and come back.
    for (int i = m_pPlot->itemCount() - 1; i >= 0; --i) {
        QCPAbstractItem* pItem = m_pPlot->item(i);
        if (pItem->layer() == m_pPlot->layer(QStringLiteral("shading"))) m_pPlot->removeItem(pItem);
    }
    // Periods closer than a pixel merge: a flapping unit shades a band,
    // not thousands of slivers.
    const double pixelS = (VisibleToMs() - VisibleFromMs()) / 1000.0 / std::max(1, m_pPlot->width());
    std::vector<CHistoryPeriod> merged;
    for (const CHistoryPeriod& p : m_periods) {
        if (!merged.empty() && merged.back().m_kind == p.m_kind &&
            (p.m_llFromMs - merged.back().m_llToMs) / 1000.0 < pixelS) {
            merged.back().m_llToMs = std::max(merged.back().m_llToMs, p.m_llToMs);
            continue;
        }
        merged.push_back(p);
    }
    constexpr std::size_t kMaxShaded = 400;
    if (merged.size() > kMaxShaded) merged.resize(kMaxShaded);
    for (const CHistoryPeriod& p : merged) {
        const QColor color = ShadingColor(p.m_kind);
        // At least a pixel or two wide, so that a short loss still shows.
        const double from = KeyOf(p.m_llFromMs);
        const double to = std::max(KeyOf(p.m_llToMs), from + 2 * pixelS);
        for (QCPAxisRect* pRect : m_rects) {
            auto* pItem = new QCPItemRect(m_pPlot);
            pItem->setLayer(QStringLiteral("shading"));
            pItem->setClipAxisRect(pRect);
            for (QCPItemPosition* pPos : {pItem->topLeft, pItem->bottomRight}) {
                pPos->setAxisRect(pRect);
                pPos->setAxes(pRect->axis(QCPAxis::atBottom), pRect->axis(QCPAxis::atLeft));
                pPos->setTypeX(QCPItemPosition::ptPlotCoords);
                pPos->setTypeY(QCPItemPosition::ptAxisRectRatio);
            }
            pItem->topLeft->setCoords(from, 0);
            pItem->bottomRight->setCoords(to, 1);
            pItem->setPen(Qt::NoPen);
            pItem->setBrush(color);
            pItem->setSelectable(false);
        }
    }
    m_pPlot->replot(QCustomPlot::rpQueuedReplot);
}

void CHistoryWindow::StartDeviation()
{
    // Only while its tab is shown: a month of phase takes a while to read.
    if (m_pTabs->currentWidget() != m_pDeviation) return;
    const std::int64_t id = UnitId();
    if (id < 0) return;
    m_pDeviation->Request(id, VisibleFromMs(), VisibleToMs());
}

int CHistoryWindow::PlottedPoints(int plot) const
{
    if (plot < 0 || plot >= kHistoryPlotCount) return 0;
    int n = 0;
    for (const QCPGraphData& d : *m_graphs[static_cast<std::size_t>(plot)]->data())
        if (std::isfinite(d.value)) ++n;
    return n;
}

QString CHistoryWindow::StatisticsText() const { return m_pStats->text(); }
QCustomPlot* CHistoryWindow::DeviationPlot() const { return m_pDeviation->Plot(); }
QString CHistoryWindow::DeviationSummary() const { return m_pDeviation->Summary(); }
int CHistoryWindow::DeviationPoints() const { return m_pDeviation->Points(); }
bool CHistoryWindow::IsDeviationBusy() const { return m_pDeviation->IsBusy(); }

}  // namespace velmor
