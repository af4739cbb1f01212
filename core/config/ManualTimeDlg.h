#pragma once
// "Manual Time Dialog": one free text, the manual time in the unit's
// "yyyy,mm,dd,hh,mm,ss" form. The text is not checked here.

#include <string>

#include "config/DialogModel.h"

namespace velmor {

class CManualTimeDlg : public CDialogModel {
public:
    enum : int { IDC_MANUAL_TEXT = 1250, IDOK_MANUAL, IDCANCEL_MANUAL };
    static constexpr int kMaxText = 79;

    CManualTimeDlg();
    void OnInitDialog() override;
    bool OnOK() override;

    std::string m_strTime;
};

}  // namespace velmor
