#pragma once
// "Time of Day Rate Setting:": how often the unit sends its ASCII time of
// day. A stored rate other than 0, 1 or 2 opens the dialog with no item
// selected; OK then asks for a choice and keeps the dialog open, since
// sending a guessed rate would change the unit's output unasked.

#include "config/DialogModel.h"

namespace velmor {

class IConfigContext;

class CTodRateDlg : public CDialogModel {
public:
    enum : int { IDC_RATE = 1900, IDOK_TOD, IDCANCEL_TOD };

    explicit CTodRateDlg(IConfigContext& context);

    void OnInitDialog() override;
    bool OnOK() override;

    int m_nPosition = 0;  // list position; set by the caller, read back after OK

private:
    IConfigContext& m_context;
};

}  // namespace velmor
