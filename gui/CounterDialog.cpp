#include "CounterDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

namespace velmor {

namespace {

constexpr CounterFormat kFormats[] = {CounterFormat::Auto, CounterFormat::Timestamp, CounterFormat::Reading};

}  // namespace

CCounterDialog::CCounterDialog(const CCounterSettings& settings, QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Reference Counter"));
    setObjectName(QStringLiteral("counterDialog"));
    m_pOn = new QCheckBox(QStringLiteral("&Record a reference counter beside the unit"), this);
    m_pOn->setObjectName(QStringLiteral("counterOn"));
    m_pOn->setChecked(settings.m_bEnabled);

    m_pDevice = new QLineEdit(QString::fromStdString(settings.m_strDevice), this);
    m_pDevice->setObjectName(QStringLiteral("counterDevice"));
    m_pDevice->setPlaceholderText(QStringLiteral("/dev/ttyACM0, tcp://host:port or rfc2217://host:port"));
    m_pDevice->setMinimumWidth(m_pDevice->fontMetrics().horizontalAdvance(m_pDevice->placeholderText()) + 16);

    m_pFormat = new QComboBox(this);
    m_pFormat->setObjectName(QStringLiteral("counterFormat"));
    m_pFormat->addItem(QStringLiteral("detect from the first lines"));
    m_pFormat->addItem(QStringLiteral("timestamps (SECONDS.FRACTION chX)"));
    m_pFormat->addItem(QStringLiteral("readings (intervals in seconds)"));
    for (int i = 0; i < 3; ++i)
        if (kFormats[i] == settings.m_format) m_pFormat->setCurrentIndex(i);

    m_pA = new QCheckBox(QStringLiteral("A"), this);
    m_pA->setObjectName(QStringLiteral("channelA"));
    m_pA->setChecked(settings.m_bChannelA);
    m_pB = new QCheckBox(QStringLiteral("B"), this);
    m_pB->setObjectName(QStringLiteral("channelB"));
    m_pB->setChecked(settings.m_bChannelB);
    m_pAB = new QCheckBox(QStringLiteral("A\u2212B"), this);
    m_pAB->setObjectName(QStringLiteral("channelAB"));
    m_pAB->setChecked(settings.m_bChannelAB);
    auto* pChannels = new QHBoxLayout;
    for (QCheckBox* pBox : {m_pA, m_pB, m_pAB}) pChannels->addWidget(pBox);
    pChannels->addStretch(1);

    auto* pForm = new QFormLayout;
    pForm->addRow(QStringLiteral("&Device:"), m_pDevice);
    pForm->addRow(QStringLiteral("&Format:"), m_pFormat);
    pForm->addRow(QStringLiteral("Series recorded:"), pChannels);

    auto* pHint = new QLabel(QStringLiteral("Channel A: the unit's 1PPS; channel B: the reference's 1PPS; the "
                                            "reference's 10 MHz clocks the counter. A\u2212B is the unit "
                                            "against the reference, joined second by second to the unit's own "
                                            "record."),
                             this);
    pHint->setWordWrap(true);
    m_pProblem = new QLabel(this);
    m_pProblem->setObjectName(QStringLiteral("counterProblem"));
    m_pProblem->setWordWrap(true);
    m_pProblem->setStyleSheet(QStringLiteral("color: rgb(160, 0, 0);"));
    m_pProblem->hide();

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CCounterDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pOn, &QCheckBox::toggled, this, &CCounterDialog::UpdateEnabling);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pOn);
    pLayout->addLayout(pForm);
    pLayout->addWidget(pHint);
    pLayout->addWidget(m_pProblem);
    pLayout->addWidget(pButtons);
    UpdateEnabling();
}

void CCounterDialog::UpdateEnabling()
{
    // What an off counter would use stays visible and kept, only greyed.
    const bool on = m_pOn->isChecked();
    for (QWidget* pWidget : std::initializer_list<QWidget*>{m_pDevice, m_pFormat, m_pA, m_pB, m_pAB})
        pWidget->setEnabled(on);
}

CCounterSettings CCounterDialog::Settings() const
{
    CCounterSettings settings;
    settings.m_bEnabled = m_pOn->isChecked();
    settings.m_strDevice = m_pDevice->text().trimmed().toStdString();
    settings.m_format = kFormats[std::max(0, m_pFormat->currentIndex())];
    settings.m_bChannelA = m_pA->isChecked();
    settings.m_bChannelB = m_pB->isChecked();
    settings.m_bChannelAB = m_pAB->isChecked();
    return settings;
}

QString CCounterDialog::Problem() const { return m_pProblem->text(); }

void CCounterDialog::accept()
{
    const std::string problem = CheckCounterSettings(Settings());
    m_pProblem->setText(QString::fromStdString(problem));
    m_pProblem->setVisible(!problem.empty());
    if (problem.empty()) QDialog::accept();
}

}  // namespace velmor
