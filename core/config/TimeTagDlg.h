#pragma once
// "Time Tag": the time tags stored in the unit, with reload and clear, and
// the time-tag mode (burst or wrap-around). The dialog is live: it subscribes
// to the unit's time-tag reports for exactly as long as it is open, and the
// dispatcher adds TAGT/TAGL lines, empties the list on TAGC and sets the mode
// on TAGM while it is registered.
//
// A TAGM reply that sets the mode also enables both mode buttons: after an
// unrecognized mode at opening they start disabled, and once the unit has
// named a valid mode the operator may change it again.

#include <string>

#include "config/DialogModel.h"
#include "protocol/DialogInterfaces.h"

namespace velmor {

class IConfigContext;

class CTimeTagDlg : public CDialogModel, public ITimeTagDlg {
public:
    enum : int {
        IDC_TAG_LIST = 1500, IDC_RELOAD, IDC_CLEAR, IDC_MODE_GROUP, IDC_BURST, IDC_WRAP, IDOK_TAG, IDCANCEL_TAG
    };

    explicit CTimeTagDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

    void ClearList() override;
    void AddLine(const std::string& line) override;
    void SetMode(char mode) override;

    // The mode the dialog shows; set by the caller before it runs.
    char m_chMode = 0;

private:
    // Ends the time-tag subscription and the registration, once.
    void Close();

    IConfigContext& m_context;
    // Set until the set-up has subscribed, and again once closed.
    bool m_bClosed = true;
};

}  // namespace velmor
