#pragma once
// "Reference Pulse Control": when the reference pulse is enabled, its rate,
// polarity, width and offset. Entries are checked while typing (a warning
// only) and at OK (the dialog stays open).

#include <string>

#include "config/DialogModel.h"

namespace velmor {

class IConfigContext;

class CRefPulseDlg : public CDialogModel {
public:
    enum : int {
        IDC_ENABLE_GROUP = 1500, IDC_AFTER_WARMUP, IDC_ALWAYS,
        IDC_RATE_GROUP, IDC_EVERY_SECOND, IDC_EVERY_TWO_SECONDS,
        IDC_POLARITY_GROUP, IDC_NORMAL, IDC_INVERTED,
        IDC_WIDTH_GROUP, IDC_WIDTH_10, IDC_WIDTH_20, IDC_WIDTH_USER, IDC_USER_WIDTH,
        IDC_OFFSET_GROUP, IDC_OFFSET,
        IDOK_PULSE, IDCANCEL_PULSE
    };
    static constexpr int kWidth10ns = -1;
    static constexpr int kWidth20ns = -2;

    explicit CRefPulseDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    void OnEditChange(int id) override;
    bool OnOK() override;

    bool m_bAfterWarmup = false;
    bool m_bEverySecond = false;
    bool m_bPositive = false;
    int m_nWidth = 0;  // kWidth10ns, kWidth20ns or the user's 1..999
    std::string m_strOffset;
    std::string m_strUserWidth;

private:
    void ErrorBox(const char* text, const char* caption);

    IConfigContext& m_context;
    std::string m_strOpenedUserWidth;
};

}  // namespace velmor
