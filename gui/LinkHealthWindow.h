#pragma once
// The Link Health window (View menu): every counter the program keeps about
// the line to the unit, refreshed once a second while the window is open,
// and a Reset button that zeroes them; under them the reference counter's
// state (open or closed, samples, slips, parse errors, the last phase). It
// only reads core's CLinkHealth and the counter's session.

#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <vector>

namespace velmor {

class CProgram;
class CCounterFeed;

class CLinkHealthWindow : public QDialog {
    Q_OBJECT
public:
    explicit CLinkHealthWindow(CProgram& program, QWidget* pParent = nullptr);

    // The reference counter whose state is shown too (null: "off").
    void SetCounter(const CCounterFeed* pCounter);
    // Reads the counters again (the timer calls it every second).
    void Refresh();
    // The value shown beside |label| (tests); empty when there is none.
    QString Value(const QString& label) const;

    static constexpr int kRefreshMs = 1000;

private:
    CProgram& m_program;
    const CCounterFeed* m_pCounter = nullptr;
    QTimer m_refreshTimer;
    std::vector<std::pair<QLabel*, QLabel*>> m_rows;  // label, value
};

}  // namespace velmor
