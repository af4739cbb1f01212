#pragma once
// Com Setup > Reference Counter...: the counter recorded beside the unit.
// On or off, its device, its line format and the series recorded; OK
// checks them (a counter that is on needs a device and a series) and keeps
// the dialog open with the reason when they do not do.

#include <QDialog>

#include "counter/CounterSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace velmor {

class CCounterDialog : public QDialog {
    Q_OBJECT
public:
    explicit CCounterDialog(const CCounterSettings& settings, QWidget* pParent = nullptr);

    // What the controls say now.
    CCounterSettings Settings() const;
    // Why OK was refused last; empty when it was not.
    QString Problem() const;

    void accept() override;

private:
    void UpdateEnabling();

    QCheckBox* m_pOn = nullptr;
    QLineEdit* m_pDevice = nullptr;
    QComboBox* m_pFormat = nullptr;
    QCheckBox* m_pA = nullptr;
    QCheckBox* m_pB = nullptr;
    QCheckBox* m_pAB = nullptr;
    QLabel* m_pProblem = nullptr;
};

}  // namespace velmor
