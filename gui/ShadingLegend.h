#pragma once
// The shading of the History window's plots: one colour per kind of period
// (holdover, not locked, and the gaps each history marker ends: link lost,
// unit restarted, polling paused, not recording), and the legend that
// names them under the plots.

#include <QColor>
#include <QString>
#include <QWidget>

#include "history/HistoryQuery.h"

namespace velmor {

// The translucent fill of a shaded period; each kind has its own.
QColor ShadingColor(HistoryPeriodKind kind);
// What the legend calls it: "Link lost", "Polling paused" ...
QString ShadingText(HistoryPeriodKind kind);

class CShadingLegend : public QWidget {
    Q_OBJECT
public:
    explicit CShadingLegend(QWidget* pParent = nullptr);
};

}  // namespace velmor
