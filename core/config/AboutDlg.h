#pragma once
// Help > About: the program's own identity and, filled live by the unit's
// PRID, MTYP, GPSE and VERS replies while it is open, the unit's.

#include "config/DialogModel.h"
#include "protocol/DialogInterfaces.h"

namespace velmor {

class IConfigContext;

class CAboutDlg : public CDialogModel, public IAboutDlg {
public:
    enum : int {
        IDC_TITLE = 1000, IDC_PART_NUMBER, IDC_VERSION, IDC_PRODUCT_NAME, IDC_ID_NUMBER,
        IDC_FIRMWARE_PART, IDC_FIRMWARE_VERSION, IDC_GPS_VERSION, IDC_GPS_CHANNELS, IDOK_ABOUT
    };
    explicit CAboutDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnDestroy() override;

    void SetProductName(const std::string& text) override { SetValue(IDC_PRODUCT_NAME, text); }
    void SetIdNumber(const std::string& text) override { SetValue(IDC_ID_NUMBER, text); }
    void SetFirmwareVersion(const std::string& text) override { SetValue(IDC_FIRMWARE_VERSION, text); }
    void SetFirmwarePartNumber(const std::string& text) override { SetValue(IDC_FIRMWARE_PART, text); }
    void SetGpsVersion(const std::string& text) override { SetValue(IDC_GPS_VERSION, text); }
    void SetGpsChannels(const std::string& text) override { SetValue(IDC_GPS_CHANNELS, text); }

    static constexpr const char* kProgramVersion = "V1.16.00";
    static constexpr const char* kProgramPartNumber = "640-1100";

private:
    void SetValue(int id, const std::string& text);
    IConfigContext& m_context;
};

}  // namespace velmor
