#include "ShadingLegend.h"

#include <QHBoxLayout>
#include <QLabel>

namespace velmor {

namespace {

struct CShading {
    HistoryPeriodKind m_kind;
    const char* m_pszText;
    QColor m_color;
};

// In HistoryPeriodKind order. The gaps are darker than the unit's states,
// so that a gap inside a holdover still shows.
const CShading kShadings[kHistoryPeriodKindCount] = {
    {HistoryPeriodKind::Coasting, "Holdover", QColor(255, 170, 0, 60)},
    {HistoryPeriodKind::Unlocked, "Not locked", QColor(128, 128, 128, 45)},
    {HistoryPeriodKind::LinkLost, "Link lost", QColor(220, 0, 0, 70)},
    {HistoryPeriodKind::UnitRestarted, "Unit restarted", QColor(120, 0, 200, 70)},
    {HistoryPeriodKind::PollingPaused, "Polling paused", QColor(0, 110, 230, 60)},
    {HistoryPeriodKind::RecorderRestart, "Not recording", QColor(0, 140, 110, 60)},
};

const CShading& ShadingOf(HistoryPeriodKind kind)
{
    const auto index = static_cast<unsigned>(kind);
    return kShadings[index < kHistoryPeriodKindCount ? index : 0];
}

}  // namespace

QColor ShadingColor(HistoryPeriodKind kind) { return ShadingOf(kind).m_color; }
QString ShadingText(HistoryPeriodKind kind) { return QString::fromLatin1(ShadingOf(kind).m_pszText); }

CShadingLegend::CShadingLegend(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("shadingLegend"));
    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(4, 0, 4, 0);
    for (const CShading& shading : kShadings) {
        // The swatch shows the fill as it looks over the white plot.
        auto* pSwatch = new QLabel(this);
        pSwatch->setObjectName(QStringLiteral("swatch"));
        pSwatch->setFixedSize(18, 12);
        pSwatch->setAutoFillBackground(true);
        QPalette palette = pSwatch->palette();
        palette.setColor(QPalette::Window, shading.m_color);
        pSwatch->setPalette(palette);
        pSwatch->setProperty("shadingKind", static_cast<int>(shading.m_kind));
        pLayout->addWidget(pSwatch);
        pLayout->addWidget(new QLabel(QString::fromLatin1(shading.m_pszText), this));
        pLayout->addSpacing(10);
    }
    pLayout->addStretch(1);
}

}  // namespace velmor
