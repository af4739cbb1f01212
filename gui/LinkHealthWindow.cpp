#include "LinkHealthWindow.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "CounterFeed.h"
#include "app/Program.h"

namespace velmor {

namespace {

const char* const kLabels[] = {
    "Link state:",        "Bytes received:",  "Bytes sent:",       "Sentences handled:",
    "Checksum errors:",   "Unrecognised bodies:", "Write failures:", "Reconnects:",
    "Automatic recoveries:", "Last time report:",
    "Reference counter:", "Counter samples:", "Counter slips:", "Counter parse errors:", "Counter last phase:",
};

QString Number(std::uint64_t value) { return QString::number(static_cast<qulonglong>(value)); }

QString CounterState(const CCounterSession& session)
{
    if (!session.IsOpen()) {
        const std::string why = session.LastOpenError();
        return why.empty() ? QStringLiteral("closed") : QStringLiteral("closed: ") + QString::fromStdString(why);
    }
    return session.IsUp() ? QStringLiteral("open, lines arriving") : QStringLiteral("open, no lines");
}

QString LastPhase(const CCounterSession& session)
{
    const CCounterSample* pLast = session.Tracker().LastPrimary();
    if (!pLast) return QStringLiteral("none yet");
    // Picoseconds as nanoseconds with all their digits: the counter resolves tens of them.
    return QStringLiteral("%1 ns (%2)")
        .arg(static_cast<double>(pLast->m_phasePs) / 1000.0, 0, 'f', 3)
        .arg(QString::fromStdString(pLast->m_strChannel));
}

}  // namespace

CLinkHealthWindow::CLinkHealthWindow(CProgram& program, QWidget* pParent)
    : QDialog(pParent), m_program(program)
{
    setWindowTitle(QStringLiteral("Link Health"));
    setObjectName(QStringLiteral("linkHealth"));
    auto* pForm = new QFormLayout;
    for (const char* label : kLabels) {
        auto* pLabel = new QLabel(QString::fromLatin1(label), this);
        auto* pValue = new QLabel(this);
        pValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
        pForm->addRow(pLabel, pValue);
        m_rows.emplace_back(pLabel, pValue);
    }
    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pReset = pButtons->addButton(QStringLiteral("&Reset"), QDialogButtonBox::ResetRole);
    pReset->setObjectName(QStringLiteral("reset"));
    QPushButton* pClose = pButtons->addButton(QDialogButtonBox::Close);
    connect(pReset, &QPushButton::clicked, this, [this] {
        m_program.Session().ResetHealthCounters();
        Refresh();
    });
    connect(pClose, &QPushButton::clicked, this, &QDialog::hide);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pForm);
    pLayout->addWidget(pButtons);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CLinkHealthWindow::Refresh);
    m_refreshTimer.start(kRefreshMs);
    Refresh();
}

void CLinkHealthWindow::SetCounter(const CCounterFeed* pCounter)
{
    m_pCounter = pCounter;
    Refresh();
}

void CLinkHealthWindow::Refresh()
{
    const CLinkHealth& health = m_program.Session().Health();
    const CLinkCounters& counters = health.Counters();
    const std::uint64_t now = m_program.Session().Events().TickCount();
    const QString age = health.HasTimeReport()
                            ? QStringLiteral("%1 s ago").arg(Number(health.TimeReportAge(now) / 1000))
                            : QStringLiteral("none yet");
    QString values[] = {
        QString::fromStdString(m_program.Session().LinkPane().m_strText),
        Number(counters.m_qwBytesReceived),
        Number(counters.m_qwBytesSent),
        Number(counters.m_qwSentences),
        Number(counters.m_qwChecksumErrors),
        Number(counters.m_qwUnrecognised),
        Number(counters.m_qwWriteFailures),
        Number(counters.m_qwReconnects),
        Number(counters.m_qwRecoveries),
        age,
        QStringLiteral("off"),
        QString(),
        QString(),
        QString(),
        QString(),
    };
    constexpr std::size_t kCounterRows = 5;
    const std::size_t counterFirst = m_rows.size() - kCounterRows;
    QString* pCounter = values + counterFirst;
    if (const CCounterSession* pSession = m_pCounter ? m_pCounter->Session() : nullptr) {
        pCounter[0] = CounterState(*pSession) + QStringLiteral(" (%1)").arg(QString::fromStdString(pSession->Device()));
        pCounter[1] = Number(m_pCounter->Samples());
        pCounter[2] = Number(pSession->Tracker().Slips());
        pCounter[3] = Number(pSession->Parser().ParseErrors());
        pCounter[4] = LastPhase(*pSession);
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i) m_rows[i].second->setText(values[i]);
}

QString CLinkHealthWindow::Value(const QString& label) const
{
    for (const auto& [pLabel, pValue] : m_rows)
        if (pLabel->text() == label) return pValue->text();
    return {};
}

}  // namespace velmor
