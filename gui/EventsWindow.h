#pragma once
// The Events window (View > Events): every alarm event of this run, newest
// last, with its UTC time, name and values. It only shows; the monitor
// decides and the daily log keeps them.

#include <QTableWidget>
#include <QWidget>

namespace velmor {

class CEventsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 10000;

    explicit CEventsWindow(QWidget* pParent = nullptr);
    // Appends one row; the oldest rows go beyond kMaxRows.
    void AddEvent(const QString& time, const QString& name, const QString& values);
    QTableWidget* Table() const { return m_pTable; }

private:
    QTableWidget* m_pTable = nullptr;
};

}  // namespace velmor
