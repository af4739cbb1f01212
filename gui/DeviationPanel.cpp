#include "DeviationPanel.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <limits>

#include "counter/CounterQuery.h"
#include "history/HistoryQuery.h"
#include "history/HistoryTime.h"
#include "WorkerPool.h"
#include "settings/Profile.h"

namespace velmor {

namespace {

// The statistics the tab can draw, each with its colour and axis (seconds
// on the right).
struct CSeriesStyle {
    Statistic m_statistic;
    const char* m_pszName;
    QColor m_color;
    bool m_bSeconds;
};
constexpr std::array<Statistic, 6> kDrawn = {Statistic::Adev, Statistic::Mdev,   Statistic::Tdev,
                                             Statistic::Hdev, Statistic::Totdev, Statistic::Mtie};
const std::array<CSeriesStyle, 6> kSeriesStyles = {{
    {Statistic::Adev, "ADEV", QColor(20, 90, 200), false},
    {Statistic::Mdev, "MDEV", QColor(40, 140, 60), false},
    {Statistic::Tdev, "TDEV (s)", QColor(190, 60, 20), true},
    {Statistic::Hdev, "HDEV", QColor(150, 40, 150), false},
    {Statistic::Totdev, "TOTDEV", QColor(0, 150, 160), false},
    {Statistic::Mtie, "MTIE (s)", QColor(120, 90, 30), true},
}};
constexpr std::size_t Index(Statistic s) { return static_cast<std::size_t>(s); }

const char* const kDriftNames[] = {"none", "linear", "mean"};

QString FormatUtc(std::int64_t ms, const char* format)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QString::fromLatin1(format));
}

QString Grouped(std::size_t n)
{
    QString digits = QString::number(static_cast<qulonglong>(n));
    for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QChar(0x2009));
    return digits;
}

bool SameJob(const CDeviationJob& a, const CDeviationJob& b)
{
    return a.m_source == b.m_source && a.m_strChannel == b.m_strChannel && a.m_strPath == b.m_strPath &&
           a.m_llUnit == b.m_llUnit && a.m_llFromMs == b.m_llFromMs &&
           a.m_llToMs == b.m_llToMs && a.m_bLockedOnly == b.m_bLockedOnly && a.m_nSettleS == b.m_nSettleS &&
           a.m_request.m_abStatistics == b.m_request.m_abStatistics && a.m_request.m_drift == b.m_request.m_drift &&
           a.m_request.m_bConfidence == b.m_request.m_bConfidence &&
           a.m_request.m_dConfidence == b.m_request.m_dConfidence &&
           a.m_request.m_taus.m_spacing == b.m_request.m_taus.m_spacing &&
           a.m_request.m_taus.m_anMultiples == b.m_request.m_taus.m_anMultiples;
}

// The one read of the recorded phase: a sample counts as locked once the
// unit has been locked without a break for the Settle time.
std::vector<CPhaseSample> ReadSettledPhase(CHistoryQuery& query, const CDeviationJob& job)
{
    return query.ReadPhase(job.m_llUnit, job.m_llFromMs, job.m_llToMs, job.m_nSettleS);
}

QString IsoTime(std::int64_t ms)
{
    return QString::fromStdString(ms % 1000 == 0 ? FormatIsoUtcSeconds(ms) : FormatIsoUtcMs(ms));
}

}  // namespace

const char* NoiseTypeName(int alpha)
{
    switch (alpha) {
    case 2: return "white PM";
    case 1: return "flicker PM";
    case 0: return "white FM";
    case -1: return "flicker FM";
    case -2: return "random-walk FM";
    default: return "?";
    }
}

const char* NoiseTypeShortName(int alpha)
{
    switch (alpha) {
    case 2: return "WPM";
    case 1: return "FPM";
    case 0: return "WFM";
    case -1: return "FFM";
    case -2: return "RWFM";
    default: return "?";
    }
}

CDeviationResult ComputeDeviation(const CDeviationJob& job, std::uint64_t generation)
{
    CDeviationResult result;
    result.m_qwGeneration = generation;
    result.m_job = job;
    CHistoryQuery query;
    if (!query.Open(job.m_strPath, result.m_strError)) return result;
    if (job.m_source != DeviationSource::SelfReport) {
        // The counter's record beside this unit: every sample in the range,
        // cut where it slipped, paused or restarted.
        std::string device;
        for (const CHistoryUnit& unit : query.ListUnits())
            if (unit.m_llId == job.m_llUnit) device = unit.m_strDevice;
        CCounterPhaseRead read = ReadCounterPhase(job.m_strPath, device, job.m_strChannel, job.m_llFromMs, job.m_llToMs);
        result.m_strCounter = read.m_strCounter;
        if (!read.m_strError.empty()) result.m_strError = read.m_strError;
        const std::vector<std::vector<double>> segments = CounterSegments(read.m_points);
        for (const auto& segment : segments) {
            if (segment.size() < 3) continue;
            ++result.m_nCounterSegments;
            result.m_nCounterSamples += segment.size();
        }
        const std::vector<std::span<const double>> pieces(segments.begin(), segments.end());
        result.m_counterAnalysis = Analyse(pieces, job.m_request);
        if (!result.m_counterAnalysis.m_rows.empty())
            result.m_strCounterTable = FormatAnalysisTable(result.m_counterAnalysis, job.m_request);
        if (job.m_source == DeviationSource::Counter) return result;
    }
    const std::vector<CPhaseSample> phase = ReadSettledPhase(query, job);
    // Cut as velmor-history stats --db cuts: a new segment at every break
    // the query marks and after every sample left out, so that the copied
    // table is the command's.
    std::vector<std::vector<double>> segments;
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;  // each segment's first and last host time
    bool inSegment = false;
    for (const CPhaseSample& sample : phase) {
        if (job.m_bLockedOnly && !sample.m_bLocked) {
            inSegment = false;
            continue;
        }
        if (!inSegment || sample.m_bSegmentStart) {
            segments.emplace_back();
            spans.emplace_back(sample.m_llHostMs, sample.m_llHostMs);
        }
        inSegment = true;
        segments.back().push_back(sample.m_dPhaseSeconds);
        spans.back().second = sample.m_llHostMs;
    }
    // The summary counts what the estimators can use: a segment too short
    // for one Allan term adds nothing.
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (segments[k].size() < 3) continue;
        if (result.m_nSegments++ == 0) result.m_llFirstMs = spans[k].first;
        result.m_llLastMs = spans[k].second;
        result.m_nSamples += segments[k].size();
    }
    const std::vector<std::span<const double>> pieces(segments.begin(), segments.end());
    result.m_analysis = Analyse(pieces, job.m_request);
    if (!result.m_analysis.m_rows.empty()) result.m_strTable = FormatAnalysisTable(result.m_analysis, job.m_request);
    return result;
}

CDeviationPanel::CDeviationPanel(std::string dbPath, CProfile* pProfile, QWidget* pParent)
    : QWidget(pParent), m_strPath(std::move(dbPath)), m_pProfile(pProfile)
{
    auto* pLayout = new QVBoxLayout(this);
    auto* pBar = new QHBoxLayout;
    m_pSource = new QComboBox(this);
    m_pSource->setObjectName(QStringLiteral("deviationSource"));
    m_pSource->addItem(QStringLiteral("self-report"));
    m_pSource->addItem(QStringLiteral("reference counter"));
    m_pSource->addItem(QStringLiteral("self-report vs reference"));
    const int source = m_pProfile ? m_pProfile->GetInt(kHistorySection, kDeviationSourceKey, 0) : 0;
    m_pSource->setCurrentIndex(source >= 0 && source <= 2 ? source : 0);
    m_pSource->setToolTip(QStringLiteral("The unit's own report of its 1PPS offset, the reference counter's "
                                         "A\u2212B phase recorded beside it, or both overlaid"));
    m_pLockedOnly = new QCheckBox(QStringLiteral("locked periods only"), this);
    m_pLockedOnly->setObjectName(QStringLiteral("lockedOnly"));
    m_pLockedOnly->setChecked(true);
    pBar->addWidget(m_pLockedOnly);
    auto* pSettleLabel = new QLabel(QStringLiteral("Settle:"), this);
    pBar->addWidget(pSettleLabel);
    m_pSettle = new QSpinBox(this);
    m_pSettle->setObjectName(QStringLiteral("settle"));
    m_pSettle->setRange(0, 86400);
    m_pSettle->setSuffix(QStringLiteral(" s"));
    // Typing 120 asks once, not for 1, 12 and 120.
    m_pSettle->setKeyboardTracking(false);
    m_pSettle->setToolTip(QStringLiteral("A locked period counts only after the unit has been locked "
                                         "continuously for this long"));
    const int stored = m_pProfile ? m_pProfile->GetInt(kHistorySection, kSettleKey, kDefaultSettleSeconds)
                                  : kDefaultSettleSeconds;
    m_pSettle->setValue(stored >= 0 && stored <= 86400 ? stored : kDefaultSettleSeconds);
    pSettleLabel->setBuddy(m_pSettle);
    pBar->addWidget(m_pSettle);
    pBar->addSpacing(12);
    auto* pDriftLabel = new QLabel(QStringLiteral("Drift:"), this);
    pBar->addWidget(pDriftLabel);
    m_pDrift = new QComboBox(this);
    m_pDrift->setObjectName(QStringLiteral("drift"));
    m_pDrift->addItem(QStringLiteral("none"));
    m_pDrift->addItem(QStringLiteral("linear"));
    m_pDrift->addItem(QStringLiteral("mean"));
    m_pDrift->setToolTip(QStringLiteral("Taken out of each segment before any statistic: nothing; a line fitted "
                                        "to frequency (a quadratic to phase); or the mean frequency"));
    pDriftLabel->setBuddy(m_pDrift);
    pBar->addWidget(m_pDrift);
    pBar->addSpacing(12);
    m_pTotdev = new QCheckBox(QStringLiteral("TOTDEV"), this);
    m_pTotdev->setObjectName(QStringLiteral("totdev"));
    m_pTotdev->setToolTip(QStringLiteral("The total deviation, on the left axis"));
    pBar->addWidget(m_pTotdev);
    m_pMtie = new QCheckBox(QStringLiteral("MTIE"), this);
    m_pMtie->setObjectName(QStringLiteral("mtie"));
    m_pMtie->setToolTip(QStringLiteral("The maximum time-interval error, in seconds on the right axis"));
    pBar->addWidget(m_pMtie);
    pBar->addStretch(1);
    m_pCopy = new QPushButton(QStringLiteral("Copy table"), this);
    m_pCopy->setObjectName(QStringLiteral("copyTable"));
    m_pCopy->setEnabled(false);
    pBar->addWidget(m_pCopy);
    pLayout->addLayout(pBar);

    auto* pInfo = new QHBoxLayout;
    // On the summary's row: the bar above is as wide as a small screen.
    pInfo->addWidget(m_pSource);
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("deviationSummary"));
    m_pSummary->setMinimumWidth(1);
    pInfo->addWidget(m_pSummary, 1);
    m_pDriftLabel = new QLabel(this);
    m_pDriftLabel->setObjectName(QStringLiteral("driftModel"));
    m_pDriftLabel->setMinimumWidth(1);
    pInfo->addWidget(m_pDriftLabel);
    pLayout->addLayout(pInfo);

    m_pPlot = new QCustomPlot(this);
    m_pPlot->setObjectName(QStringLiteral("deviations"));
    pLayout->addWidget(m_pPlot, 1);
    BuildPlot();

    connect(m_pLockedOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_pSettle->setEnabled(on);
        Start();
    });
    connect(m_pSettle, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (m_pProfile) m_pProfile->WriteString(kHistorySection, kSettleKey, std::to_string(seconds));
        Start();
    });
    connect(m_pDrift, &QComboBox::currentIndexChanged, this, [this] { Start(); });
    connect(m_pSource, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_pProfile) m_pProfile->WriteString(kHistorySection, kDeviationSourceKey, std::to_string(index));
        Start();
    });
    connect(m_pTotdev, &QCheckBox::toggled, this, [this] { Start(); });
    connect(m_pMtie, &QCheckBox::toggled, this, [this] { Start(); });
    connect(m_pCopy, &QPushButton::clicked, this, [this] {
        if (!Table().isEmpty()) QApplication::clipboard()->setText(Table());
    });
    connect(&m_watcher, &QFutureWatcher<CDeviationResult>::finished, this, [this] {
        m_bRunning = false;
        const CDeviationResult result = m_watcher.result();
        if (result.m_qwGeneration == m_qwGeneration) Apply(result);
        if (m_bAgain) Start();
        emit Updated();
    });
}

// A worker holds copies of what it reads: one still running when the panel
// goes finishes on its own, unheard.
CDeviationPanel::~CDeviationPanel() = default;

void CDeviationPanel::BuildPlot()
{
    QCustomPlot& plot = *m_pPlot;
    plot.legend->setVisible(true);
    // Deviations fall with tau: the lower left is where the legend hides least.
    plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignLeft);
    plot.yAxis2->setVisible(true);
    for (QCPAxis* pAxis : {plot.xAxis, plot.yAxis, plot.yAxis2}) {
        pAxis->setScaleType(QCPAxis::stLogarithmic);
        pAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        pAxis->setNumberFormat(QStringLiteral("eb"));
        pAxis->setNumberPrecision(0);
        pAxis->grid()->setSubGridVisible(pAxis != plot.yAxis2);
    }
    plot.xAxis->setLabel(QStringLiteral("tau (s)"));
    plot.yAxis->setLabel(QStringLiteral("ADEV, MDEV, HDEV, TOTDEV"));
    plot.yAxis2->setLabel(QStringLiteral("TDEV, MTIE (s)"));
    // Room above the plot for the noise types.
    plot.axisRect()->setMinimumMargins(QMargins(0, 36, 0, 0));
    for (const CSeriesStyle& style : kSeriesStyles) {
        QCPAxis* pValue = style.m_bSeconds ? plot.yAxis2 : plot.yAxis;
        QCPGraph* pGraph = plot.addGraph(plot.xAxis, pValue);
        pGraph->setName(QString::fromLatin1(style.m_pszName));
        QPen pen(style.m_color, 1.5);
        if (style.m_bSeconds) pen.setStyle(Qt::DashLine);
        pGraph->setPen(pen);
        pGraph->setScatterStyle(QCPScatterStyle(style.m_statistic == Statistic::Mtie ? QCPScatterStyle::ssSquare
                                                                                     : QCPScatterStyle::ssCircle,
                                                5));
        m_graphs[Index(style.m_statistic)] = pGraph;
        if (!HasConfidenceInterval(style.m_statistic)) continue;
        auto* pBars = new QCPErrorBars(plot.xAxis, pValue);
        pBars->removeFromLegend();
        pBars->setDataPlottable(pGraph);
        pBars->setPen(QPen(style.m_color, 1));
        m_bars[Index(style.m_statistic)] = pBars;
    }
    // The counter's: the same colours, lighter, with triangles and dotted lines.
    for (const CSeriesStyle& style : kSeriesStyles) {
        QCPAxis* pValue = style.m_bSeconds ? plot.yAxis2 : plot.yAxis;
        QCPGraph* pGraph = plot.addGraph(plot.xAxis, pValue);
        pGraph->setName(QString::fromLatin1(style.m_pszName) + QStringLiteral(" (reference)"));
        const QColor color = style.m_color.lighter(140);
        pGraph->setPen(QPen(color, 1.5, Qt::DotLine));
        pGraph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangle, 6));
        pGraph->setVisible(false);
        pGraph->removeFromLegend();
        m_counterGraphs[Index(style.m_statistic)] = pGraph;
        if (!HasConfidenceInterval(style.m_statistic)) continue;
        auto* pBars = new QCPErrorBars(plot.xAxis, pValue);
        pBars->removeFromLegend();
        pBars->setDataPlottable(pGraph);
        pBars->setPen(QPen(color, 1));
        pBars->setVisible(false);
        m_counterBars[Index(style.m_statistic)] = pBars;
    }
    plot.setToolTip(QStringLiteral("Above the plot, the dominant noise at each tau as alpha of S_y(f) ~ f^alpha: "
                                   "+2 white PM, +1 flicker PM, 0 white FM, -1 flicker FM, -2 random-walk FM.\n"
                                   "Bars: confidence bounds (68.3 %) from each estimator's equivalent "
                                   "degrees of freedom."));
    plot.xAxis->setRange(0.5, 1e5);
    plot.yAxis->setRange(1e-13, 1e-7);
    plot.yAxis2->setRange(1e-10, 1e-6);
}

int CDeviationPanel::SettleSeconds() const { return m_pSettle->value(); }

CDeviationJob CDeviationPanel::CurrentJob() const
{
    CDeviationJob job;
    job.m_strPath = m_strPath;
    job.m_llUnit = m_llUnit;
    job.m_llFromMs = m_llFromMs;
    job.m_llToMs = m_llToMs;
    job.m_bLockedOnly = m_pLockedOnly->isChecked();
    job.m_nSettleS = m_pSettle->value();
    job.m_source = static_cast<DeviationSource>(std::clamp(m_pSource->currentIndex(), 0, 2));
    CAnalysisRequest& request = job.m_request;
    request.m_kind = SeriesKind::Phase;
    request.m_dTau0 = 1.0;
    request.m_bConfidence = true;
    request.m_abStatistics = {true, true, true, true, m_pTotdev->isChecked(), false, m_pMtie->isChecked()};
    const int drift = m_pDrift->currentIndex();
    request.m_drift = drift == 1 ? DriftRemoval::Linear : drift == 2 ? DriftRemoval::Mean : DriftRemoval::None;
    return job;
}

void CDeviationPanel::Request(std::int64_t unit, std::int64_t fromMs, std::int64_t toMs)
{
    m_llUnit = unit;
    m_llFromMs = fromMs;
    m_llToMs = toMs;
    Start();
}

void CDeviationPanel::Start()
{
    if (m_llUnit < 0) return;
    const CDeviationJob job = CurrentJob();
    // The same choices again: nothing to do, unless there was nothing to
    // show (the record may have grown into the range since).
    if (m_bHaveJob && SameJob(job, m_lastJob) && !m_bRunning && m_nPoints > 0) return;
    if (m_bRunning) {
        m_bAgain = !SameJob(job, m_lastJob);
        return;
    }
    m_bAgain = false;
    m_bRunning = true;
    m_bHaveJob = true;
    m_lastJob = job;
    m_pSummary->setText(QStringLiteral("computing..."));
    m_watcher.setFuture(QtConcurrent::run(&HistoryWorkerPool(), ComputeDeviation, job, ++m_qwGeneration));
}

void CDeviationPanel::Apply(const CDeviationResult& result)
{
    m_shown = result;
    QCustomPlot& plot = *m_pPlot;
    m_nPoints = 0;
    const double inf = std::numeric_limits<double>::infinity();
    // Each axis's reach: [0] the fractional one, [1] seconds.
    std::array<double, 2> lo{inf, inf};
    std::array<double, 2> hi{0, 0};
    double maxTau = 1;
    const CAnalysisRequest& request = result.m_job.m_request;
    const DeviationSource source = result.m_job.m_source;
    const bool unitShown = source != DeviationSource::Counter;
    const bool counterShown = source != DeviationSource::SelfReport;
    const auto fill = [&](const CAnalysis& analysis, const CSeriesStyle& style, QCPGraph* pGraph, QCPErrorBars* pBars,
                          bool shown) {
        const Statistic s = style.m_statistic;
        const bool chosen = shown && request.m_abStatistics[Index(s)];
        QVector<double> taus;
        QVector<double> values;
        QVector<double> minus;
        QVector<double> plus;
        for (const CAnalysisRow& row : analysis.m_rows) {
            if (!chosen) break;
            const CEstimate& e = row[s];
            if (!std::isfinite(e.m_dValue) || e.m_dValue <= 0) continue;
            taus.push_back(row.m_dTau);
            values.push_back(e.m_dValue);
            // The chi-squared bounds; where the noise type, and so the
            // degrees of freedom, are unknown there is no bar.
            const bool bounded = std::isfinite(e.m_dLow) && std::isfinite(e.m_dHigh) && e.m_dLow > 0;
            const double low = bounded ? e.m_dLow : e.m_dValue;
            const double high = bounded ? e.m_dHigh : e.m_dValue;
            minus.push_back(e.m_dValue - low);
            plus.push_back(high - e.m_dValue);
            const std::size_t axis = style.m_bSeconds ? 1 : 0;
            lo[axis] = std::min(lo[axis], low);
            hi[axis] = std::max(hi[axis], high);
            maxTau = std::max(maxTau, row.m_dTau);
            ++m_nPoints;
        }
        pGraph->setData(taus, values, true);
        if (pBars) pBars->setData(minus, plus);
        pGraph->setVisible(chosen);
        if (pBars) pBars->setVisible(chosen);
        if (chosen)
            pGraph->addToLegend();
        else
            pGraph->removeFromLegend();
    };
    for (const CSeriesStyle& style : kSeriesStyles) {
        const std::size_t i = Index(style.m_statistic);
        // Side by side, each says whose it is.
        m_graphs[i]->setName(QString::fromLatin1(style.m_pszName) +
                             (source == DeviationSource::Both ? QStringLiteral(" (self-report)") : QString()));
        fill(result.m_analysis, style, m_graphs[i], m_bars[i], unitShown);
        fill(result.m_counterAnalysis, style, m_counterGraphs[i], m_counterBars[i], counterShown);
    }
    if (m_nPoints > 0) {
        plot.xAxis->setRange(0.5, maxTau * 2);
        if (hi[0] > 0) plot.yAxis->setRange(lo[0] / 2, hi[0] * 2);
        if (hi[1] > 0) plot.yAxis2->setRange(lo[1] / 2, hi[1] * 2);
    }

    // The noise types, above the plot at their taus.
    plot.clearItems();
    // The noise types of the record in front: the counter's where it is
    // drawn, since it is what measures the oscillator.
    const CAnalysis& labelled = counterShown ? result.m_counterAnalysis : result.m_analysis;
    for (const CAnalysisRow& row : labelled.m_rows) {
        if (!row.m_alpha) continue;
        auto* pText = new QCPItemText(&plot);
        pText->setClipToAxisRect(false);
        pText->position->setAxes(plot.xAxis, plot.yAxis);
        pText->position->setTypeX(QCPItemPosition::ptPlotCoords);
        pText->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        pText->position->setCoords(row.m_dTau, 0);
        pText->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        pText->setTextAlignment(Qt::AlignHCenter);
        QFont font = plot.font();
        if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * 0.85);
        pText->setFont(font);
        pText->setColor(QColor(70, 70, 70));
        pText->setText(QStringLiteral("%1%2\n%3")
                           .arg(*row.m_alpha > 0 ? QStringLiteral("+") : QString())
                           .arg(*row.m_alpha)
                           .arg(QString::fromLatin1(NoiseTypeShortName(*row.m_alpha))));
    }

    m_pCopy->setEnabled(!Table().isEmpty());
    m_pCopy->setToolTip(Table().isEmpty()
                            ? QString()
                            : QStringLiteral("Copies the table as this command prints it:\n") + CommandLine());
    m_pDriftLabel->setText(DriftText());
    QStringList summary;
    if (!result.m_strError.empty()) summary << QString::fromStdString(result.m_strError);
    if (unitShown) {
        if (result.m_nSamples == 0)
            summary << QStringLiteral("no 1PPS phase in the range shown");
        else
            summary << QStringLiteral("%1 segment%2, %3 points, %4 \u2013 %5 UTC")
                           .arg(result.m_nSegments)
                           .arg(result.m_nSegments == 1 ? QString() : QStringLiteral("s"))
                           .arg(Grouped(result.m_nSamples))
                           .arg(FormatUtc(result.m_llFirstMs, "yyyy-MM-dd HH:mm"))
                           .arg(FormatUtc(result.m_llLastMs, FormatUtc(result.m_llFirstMs, "yyyyMMdd") ==
                                                                     FormatUtc(result.m_llLastMs, "yyyyMMdd")
                                                                 ? "HH:mm"
                                                                 : "yyyy-MM-dd HH:mm"));
    }
    if (counterShown) {
        if (result.m_nCounterSamples == 0)
            summary << QStringLiteral("no reference counter phase in the range shown");
        else
            summary << QStringLiteral("reference: %1 segment%2, %3 points")
                           .arg(result.m_nCounterSegments)
                           .arg(result.m_nCounterSegments == 1 ? QString() : QStringLiteral("s"))
                           .arg(Grouped(result.m_nCounterSamples));
    }
    m_pSummary->setText(summary.join(QStringLiteral("; ")));
    // The counter's device is long as paths go: said on demand.
    m_pSummary->setToolTip(counterShown && !result.m_strCounter.empty()
                               ? QStringLiteral("Reference counter: ") + QString::fromStdString(result.m_strCounter)
                               : QString());
    plot.replot();
}

QString CDeviationPanel::Summary() const { return m_pSummary->text(); }

QString CDeviationPanel::DriftText() const
{
    if (m_shown.m_analysis.m_rows.empty()) return QString();
    if (m_shown.m_analysis.m_drift == DriftRemoval::None) return QStringLiteral("drift: none removed");
    // The table's own first line, without its comment mark.
    const std::string& table = m_shown.m_strTable;
    const std::size_t end = table.find('\n');
    std::string line = table.substr(0, end);
    if (line.rfind("# ", 0) == 0) line.erase(0, 2);
    return QString::fromStdString(line);
}

QStringList CDeviationPanel::NoiseLabels() const
{
    QStringList labels;
    for (int i = 0; i < m_pPlot->itemCount(); ++i) {
        if (auto* pText = qobject_cast<QCPItemText*>(m_pPlot->item(i)))
            labels << pText->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    return labels;
}

QString CDeviationPanel::Table() const
{
    switch (m_shown.m_job.m_source) {
    case DeviationSource::SelfReport: return QString::fromStdString(m_shown.m_strTable);
    case DeviationSource::Counter: return QString::fromStdString(m_shown.m_strCounterTable);
    case DeviationSource::Both: break;
    }
    if (m_shown.m_strTable.empty() && m_shown.m_strCounterTable.empty()) return {};
    return QStringLiteral("# self-report\n") + QString::fromStdString(m_shown.m_strTable) +
           QStringLiteral("\n# reference counter\n") + QString::fromStdString(m_shown.m_strCounterTable);
}

QString CDeviationPanel::CommandLine() const
{
    const CDeviationJob& job = m_shown.m_job;
    const DeviationSource source = job.m_source;

    QStringList stats;
    for (std::size_t s = 0; s < kStatisticCount; ++s)
        if (job.m_request.m_abStatistics[s]) stats << QString::fromLatin1(StatisticName(Statistic(s)));
    const QString head = QStringLiteral("velmor-history stats --db '%1' --unit %2 --from %3 --to %4")
                             .arg(QString::fromStdString(job.m_strPath))
                             .arg(job.m_llUnit)
                             .arg(IsoTime(job.m_llFromMs), IsoTime(job.m_llToMs));
    const QString tail = QStringLiteral(" --stats %1 --ci --remove-drift %2")
                             .arg(stats.join(QLatin1Char(',')),
                                  QString::fromLatin1(kDriftNames[static_cast<int>(job.m_request.m_drift)]));
    const QString unit = head +
                         (job.m_bLockedOnly ? QStringLiteral(" --settle %1").arg(job.m_nSettleS)
                                            : QStringLiteral(" --all-states")) +
                         tail;
    const QString counter =
        head + QStringLiteral(" --counter --channel %1").arg(QString::fromStdString(job.m_strChannel)) + tail;
    switch (source) {
    case DeviationSource::SelfReport: return unit;
    case DeviationSource::Counter: return counter;
    case DeviationSource::Both: break;
    }
    return unit + QLatin1Char('\n') + counter;
}

}  // namespace velmor
