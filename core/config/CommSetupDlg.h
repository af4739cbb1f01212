#pragma once
// "Set Serial Port:": port and baud rate; data bits, stop bits and parity are
// shown but cannot be changed.

#include "config/DialogModel.h"
#include "link/SerialSettings.h"

namespace velmor {

class CCommSetupDlg : public CDialogModel {
public:
    enum : int { IDC_GROUP = 1100, IDC_PORT, IDC_BAUD, IDC_DATA, IDC_STOP, IDC_PARITY, IDOK_COMM, IDCANCEL_COMM };
    explicit CCommSetupDlg(const SerialSettings& settings);

    void OnInitDialog() override;
    bool OnOK() override;

    // The settings as the dialog holds them (after OK: as chosen).
    const SerialSettings& Result() const { return m_settings; }

private:
    SerialSettings m_settings;
};

}  // namespace velmor
