#pragma once
// "Set Rate Output": the two programmable rate outputs A and B. The dialog
// stays live while it is open: the unit's ROUT replies for the checked output
// are shown as they arrive, and "Apply Now" sends a new setting without
// closing. The button that closes the dialog with OK is labelled "Cancel".
//
// Decisions of this dialog:
// - "Apply Now" with no rate chosen sends nothing and says "Select a rate
//   first.": sending code 0 would turn the output into a programmable one
//   with whatever value the field holds, which no operator asked for.
// - A reply whose rate code is above 20, negative or has no digits selects
//   nothing and disables every rate-dependent control, the same look the
//   dialog has before any reply: the program does not know that rate.
// - Choosing a list item enables the controls that item uses, as a reply
//   with that code would; otherwise "Programmable" could not be given a
//   value after a fixed rate was shown.
// - A reply is split at every comma with empty fields kept (ROUT,A,5,,0,1
//   has an empty value); a missing field counts as empty, and a flag counts
//   as set only when it is "1".

#include <string>

#include "config/DialogModel.h"
#include "protocol/DialogInterfaces.h"

namespace velmor {

class IConfigContext;

class CRateOutputDlg : public CDialogModel, public IRateOutputDlg {
public:
    enum : int {
        IDC_GROUP_RATES = 1300, IDC_GROUP_PRESET, IDC_GROUP_USER, IDC_RATE_A, IDC_RATE_B, IDC_INVERT,
        IDC_PULSE, IDC_DUTY, IDC_RATE_LIST, IDC_DIVIDE, IDC_VALUE, IDC_VALUE_UNIT, IDC_APPLY, IDOK_RATE
    };
    static constexpr int kProgrammable = 0;
    static constexpr int kRateCount = 14;
    static constexpr int kMaxRateCode = 20;
    static constexpr std::size_t kMaxValueLength = 12;

    explicit CRateOutputDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    void OnSelChange(int id) override;
    void OnDestroy() override;

    void OnRateReply(const std::string& rest) override;

    // The code table both ways. -1 for a position or code outside it.
    static int RateCode(int position, bool duty);
    static int ListPosition(int code);
    // The command "Apply Now" sends; empty when no rate is chosen.
    std::string BuildCommand() const;

private:
    void EnableForPosition(int position);
    void ApplyNow();

    IConfigContext& m_context;
};

}  // namespace velmor
