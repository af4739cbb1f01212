#pragma once
// "Set Mask Angle": the elevation below which the receiver ignores
// satellites. The Mirelle units (reported types 15 and 16) take 5 to 90
// degrees; the dialog clamps into that range with a message at OK.

#include "config/DialogModel.h"

namespace velmor {

class IConfigContext;

class CMaskAngleDlg : public CDialogModel {
public:
    enum : int { IDC_ANGLE = 1700, IDOK_MASK, IDCANCEL_MASK };
    static constexpr int kMaxLength = 7;
    static constexpr int kMinAngle = 5;
    static constexpr int kMaxAngle = 90;

    explicit CMaskAngleDlg(IConfigContext& context);

    void OnInitDialog() override;
    bool OnOK() override;

    int m_nValue = -1;  // degrees; set by the caller, read back after OK

private:
    IConfigContext& m_context;
};

}  // namespace velmor
