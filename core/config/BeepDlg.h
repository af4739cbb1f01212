#pragma once
// "Beep Control ": switches the unit's beeper on or off.

#include "config/DialogModel.h"

namespace velmor {

class CBeepDlg : public CDialogModel {
public:
    enum : int { IDC_GROUP = 1800, IDC_ENABLE, IDC_DISABLE, IDOK_BEEP, IDCANCEL_BEEP };

    CBeepDlg();

    void OnInitDialog() override;
    bool OnOK() override;

    bool m_bEnabled = false;  // set by the caller, read back after OK
};

}  // namespace velmor
