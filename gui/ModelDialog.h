#pragma once
// The one Qt dialog class: it renders any CDialogModel as widgets (a form of
// rows, with controls marked for the same row beside their neighbour and an
// optional second column, group boxes holding their children, the OK/Cancel
// row at the bottom) and forwards what the user does to the model's standard
// actions. The model decides; Refresh shows its state again.

#include <QDialog>
#include <functional>
#include <map>

#include "config/DialogModel.h"

class QGridLayout;
class QLabel;

namespace velmor {

class CModelDialog : public QDialog, public IDialogView {
    Q_OBJECT
public:
    // |beep| is played by picture-mask fields for refused characters.
    CModelDialog(CDialogModel& model, std::function<void()> beep, QWidget* pParent = nullptr);
    ~CModelDialog() override;

    void Refresh() override;
    void SetFocus(int controlId) override;

    // The widget showing control |id| (tests and focus); null when none.
    QWidget* Widget(int id) const;
    CDialogModel& Model() { return m_model; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    struct CBinding {
        QWidget* m_pWidget = nullptr;  // the control itself
        QLabel* m_pLabel = nullptr;    // its caption beside it, if any
        QLabel* m_pUnit = nullptr;     // its unit after it, if any
        QLabel* m_pValue = nullptr;    // the value of a label control
    };

    void Build();
    void AddControl(const CControl& control, QGridLayout* pGrid);
    QWidget* MakeSpin(const CControl& control);
    void RefreshControl(const CControl& control, CBinding& binding);
    // Closes the dialog once the model has ended.
    void CloseIfEnded();
    // Runs a user action unless the widgets are being refreshed.
    void Forward(const std::function<void()>& action);

    CDialogModel& m_model;
    std::function<void()> m_beep;
    std::map<int, CBinding> m_bindings;
    std::map<QObject*, int> m_fieldIds;  // edit widgets whose leaving is reported
    bool m_bRefreshing = false;
    bool m_bFocusApplied = false;
};

}  // namespace velmor
