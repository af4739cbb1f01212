#pragma once
// "Set Antenna Delay": the antenna cable delay in nanoseconds.

#include <cstdint>

#include "config/DialogModel.h"

namespace velmor {

class CAntennaDelayDlg : public CDialogModel {
public:
    enum : int { IDC_DELAY_PROMPT = 1300, IDC_DELAY, IDOK_DELAY, IDCANCEL_DELAY };
    // The field is read through its first characters only, which keeps the
    // value well inside 32 bits.
    static constexpr std::size_t kReadChars = 7;

    CAntennaDelayDlg();
    void OnInitDialog() override;
    bool OnOK() override;

    std::int32_t m_nDelay = 0;
};

}  // namespace velmor
