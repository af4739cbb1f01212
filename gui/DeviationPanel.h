#pragma once
// The History window's Deviation tab: the frequency-stability table of the
// recorded 1PPS phase over the range the plots show, drawn on log-log axes:
// the unit's own report, the reference counter's A-B phase recorded beside
// it, or both overlaid ("self-report vs reference"). The counter's samples
// count whatever the unit's lock state: they measure the oscillator.
//
// ADEV, MDEV, HDEV (and TOTDEV on request) share the left axis, a fractional
// frequency; TDEV (and MTIE on request) are times and have the right axis, in
// seconds. Each deviation carries the confidence bars of its chi-squared
// bounds from the estimator's equivalent degrees of freedom; the noise type
// found at each tau is written above the plot. The drift model is taken out
// of each segment before any statistic. "Copy table" puts on the clipboard
// exactly what `velmor-history stats --db ...` prints for the same range and
// choices, because both print through FormatAnalysisTable.
//
// The phase is read and analysed on a worker thread with its own read-only
// connection; the window only draws the result.

#include <QFutureWatcher>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>

#include "readings/Rules.h"
#include "stability/Analysis.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QCustomPlot;
class QCPGraph;
class QCPErrorBars;

namespace velmor {

class CProfile;

// Whose deviations are drawn: the unit's own report of its 1PPS offset, the
// reference counter's phase recorded beside it, or both overlaid.
enum class DeviationSource { SelfReport, Counter, Both };

// What one computation is asked for.
struct CDeviationJob {
    DeviationSource m_source = DeviationSource::SelfReport;
    std::string m_strChannel = "A-B";  // the counter's series
    std::string m_strPath;
    std::int64_t m_llUnit = -1;
    std::int64_t m_llFromMs = 0;
    std::int64_t m_llToMs = 0;
    bool m_bLockedOnly = true;
    int m_nSettleS = 60;
    CAnalysisRequest m_request;
};

// What the worker hands back.
struct CDeviationResult {
    std::uint64_t m_qwGeneration = 0;
    CDeviationJob m_job;
    CAnalysis m_analysis;
    std::string m_strTable;  // FormatAnalysisTable's text; empty without rows
    int m_nSegments = 0;     // segments of 3 samples or more
    std::size_t m_nSamples = 0;
    std::int64_t m_llFirstMs = 0;
    std::int64_t m_llLastMs = 0;
    std::string m_strError;
    // The counter's, when asked for: the same choices over its phase.
    CAnalysis m_counterAnalysis;
    std::string m_strCounterTable;
    int m_nCounterSegments = 0;
    std::size_t m_nCounterSamples = 0;
    std::string m_strCounter;  // its device text; empty when none was recorded
};

// The worker's part: reads the phase of the job's range and analyses it.
CDeviationResult ComputeDeviation(const CDeviationJob& job, std::uint64_t generation);

// "white PM", "flicker PM", "white FM", "flicker FM", "random-walk FM" for
// alpha 2 .. -2; and "WPM", "FPM", "WFM", "FFM", "RWFM".
const char* NoiseTypeName(int alpha);
const char* NoiseTypeShortName(int alpha);

// The settings key of the settled-lock time the window starts with
// (kDefaultSettleSeconds, readings/Rules).
inline constexpr const char* kHistorySection = "History";
inline constexpr const char* kSettleKey = "Settle Seconds";
// The Deviation tab's source: 0 self-report, 1 reference counter, 2 both.
inline constexpr const char* kDeviationSourceKey = "Deviation Source";

class CDeviationPanel : public QWidget {
    Q_OBJECT
public:
    // |pProfile| (may be null) keeps the settle time and the source between sessions.
    CDeviationPanel(std::string dbPath, CProfile* pProfile, QWidget* pParent = nullptr);
    ~CDeviationPanel() override;

    // Analyses [from, to) of |unit| unless that, with the same choices, is
    // what is shown or being computed.
    void Request(std::int64_t unit, std::int64_t fromMs, std::int64_t toMs);

    // What tests look at.
    QCustomPlot* Plot() const { return m_pPlot; }
    QCPGraph* Graph(Statistic s) const { return m_graphs[static_cast<std::size_t>(s)]; }
    QCPErrorBars* Bars(Statistic s) const { return m_bars[static_cast<std::size_t>(s)]; }
    // The counter's graphs and bars, drawn beside the unit's.
    QCPGraph* CounterGraph(Statistic s) const { return m_counterGraphs[static_cast<std::size_t>(s)]; }
    QCPErrorBars* CounterBars(Statistic s) const { return m_counterBars[static_cast<std::size_t>(s)]; }
    QComboBox* SourceChoice() const { return m_pSource; }
    const CAnalysis& CounterAnalysis() const { return m_shown.m_counterAnalysis; }
    QString Summary() const;
    QString DriftText() const;
    // The noise labels above the plot, left to right ("+2 WPM").
    QStringList NoiseLabels() const;
    int Points() const { return m_nPoints; }
    bool IsBusy() const { return m_bRunning; }
    const CAnalysis& Analysis() const { return m_shown.m_analysis; }
    // The text "Copy table" copies, and the command line that prints it
    // (for both sources, the self-report's table then the counter's, each
    // under a comment line naming it, and both command lines).
    QString Table() const;
    QString CommandLine() const;
    int SettleSeconds() const;

signals:
    void Updated();

private:
    CDeviationJob CurrentJob() const;
    void Start();
    void Apply(const CDeviationResult& result);
    void BuildPlot();

    std::string m_strPath;
    CProfile* m_pProfile = nullptr;

    QCheckBox* m_pLockedOnly = nullptr;
    QSpinBox* m_pSettle = nullptr;
    QComboBox* m_pDrift = nullptr;
    QComboBox* m_pSource = nullptr;
    QCheckBox* m_pTotdev = nullptr;
    QCheckBox* m_pMtie = nullptr;
    QPushButton* m_pCopy = nullptr;
    QLabel* m_pSummary = nullptr;
    QLabel* m_pDriftLabel = nullptr;
    QCustomPlot* m_pPlot = nullptr;
    std::array<QCPGraph*, kStatisticCount> m_graphs{};
    std::array<QCPErrorBars*, kStatisticCount> m_bars{};
    std::array<QCPGraph*, kStatisticCount> m_counterGraphs{};
    std::array<QCPErrorBars*, kStatisticCount> m_counterBars{};

    std::int64_t m_llUnit = -1;
    std::int64_t m_llFromMs = 0;
    std::int64_t m_llToMs = 0;
    CDeviationJob m_lastJob;  // the one shown or being computed
    bool m_bHaveJob = false;
    CDeviationResult m_shown;
    std::uint64_t m_qwGeneration = 0;
    bool m_bRunning = false;
    bool m_bAgain = false;
    int m_nPoints = 0;
    QFutureWatcher<CDeviationResult> m_watcher;
};

}  // namespace velmor
