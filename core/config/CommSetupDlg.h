#pragma once
// "Set Serial Port:": port and baud rate; data bits, stop bits and parity are
// shown but cannot be changed. Below them, the device behind the chosen port
// (a path or a tcp:// or rfc2217:// address), with the machine's serial
// devices offered, and why the last opening failed.

#include <functional>
#include <string>
#include <vector>

#include "config/DialogModel.h"
#include "link/SerialSettings.h"
#include "platform/SerialPorts.h"

namespace velmor {

class CProfile;

// What the dialog needs to show the device field.
struct CDeviceChoice {
    std::function<std::string(int port)> m_resolver;  // the device a port maps to now
    std::vector<CSerialPortInfo> m_devices;            // offered in the list
    std::string m_strLastOpenError;                    // empty: none
};

class CCommSetupDlg : public CDialogModel {
public:
    enum : int {
        IDC_GROUP = 1100, IDC_PORT, IDC_BAUD, IDC_DATA, IDC_STOP, IDC_PARITY, IDOK_COMM, IDCANCEL_COMM,
        IDC_DEVICE, IDC_DEVICE_INFO, IDC_OPEN_ERROR
    };
    explicit CCommSetupDlg(const SerialSettings& settings, CDeviceChoice choice = {});

    void OnInitDialog() override;
    void OnSelChange(int id) override;
    void OnEditChange(int id) override;
    bool OnOK() override;

    // The settings as the dialog holds them (after OK: as chosen).
    const SerialSettings& Result() const { return m_settings; }
    // The device text as chosen (after OK), without surrounding blanks.
    const std::string& Device() const { return m_strDevice; }
    // After OK: writes the device to the chosen port's mapping when it
    // differs from what the mapping gives already, so a profile whose device
    // was not touched stays as it was.
    void SaveDevice(CProfile& profile) const;

private:
    void ShowDeviceOf(int port);
    void DescribeDevice();

    SerialSettings m_settings;
    CDeviceChoice m_choice;
    std::string m_strDevice;
};

}  // namespace velmor
