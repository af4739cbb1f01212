#pragma once
// "Set Modes:": the time scale the unit reports in, the local offset for the
// two local scales, the receiver's position mode and an optional cold start.
// "&Manual" opens the manual time entry, which sends its text at once.
//
// Control naming: the hours field carries the "Local Offset:" label and the
// "hrs" unit, which are always enabled with it. The minutes list is named
// "min" after the label beside it; that label can be disabled while the list
// is enabled, so its own state is the (not separately drawn) label control
// that m_nUnitId of the list names.

#include "config/DialogModel.h"

namespace velmor {

class IConfigContext;

class CModeDlg : public CDialogModel {
public:
    enum : int {
        IDC_GPS = 1200, IDC_UTC, IDC_LUTC, IDC_LGPS, IDC_MANUAL,
        IDC_HOURS, IDC_HOURS_SPIN, IDC_MINUTES, IDC_MIN_LABEL,
        IDC_DYNAMIC, IDC_AVERAGING, IDC_KNOWN, IDC_COLD_START, IDOK_MODE, IDCANCEL_MODE
    };
    static constexpr int kMinHours = -14;
    static constexpr int kMaxHours = 14;

    explicit CModeDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    void OnKillFocus(int id) override;
    void OnSpin(int id, int delta) override;
    bool OnOK() override;

    // The values the dialog holds; filled by the caller before it runs.
    char m_chTimeMode = '?';
    char m_chPositionMode = '?';
    int m_nHours = 0;
    std::string m_strHours;
    int m_nMinutes = 0;
    std::string m_strMinutes;
    bool m_bColdStart = false;
    // Shown again because the hours were out of range: focus on the hours.
    bool m_bCorrection = false;
    int m_nSpinPos = 0;

private:
    // Local offset controls for the GPS/UTC (off) and local (on) scales.
    void EnableOffset(bool enable);
    bool HasMinutes() const;
    void ShowHours(int hours);
    static int Clamp(int hours);

    IConfigContext& m_context;
};

}  // namespace velmor
