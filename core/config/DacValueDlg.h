#pragma once
// "DAC Value Control ": shows the oscillator DAC value and sets it. "&Set"
// sends the value and keeps the dialog open; "&Exit" closes it without
// sending.
//
// "&Set" accepts only what "&Exit" accepts, a non-negative integer: the
// command carries the value as an unsigned number, so a negative entry would
// reach the unit as a huge DAC value (-5 as 4294967291) and text without
// digits as 0; either would throw the oscillator far off its discipline.

#include <string>

#include "config/DialogModel.h"

namespace velmor {

class IConfigContext;

class CDacValueDlg : public CDialogModel {
public:
    enum : int { IDC_WARNING = 1600, IDC_VALUE, IDC_SET, IDOK_EXIT };
    static constexpr int kMaxLength = 7;

    explicit CDacValueDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnOK() override;

    // The command "&Set" sends for the field's text, or empty when the text
    // is not a non-negative integer.
    std::string BuildCommand() const;

    int m_nValue = 0;  // set by the caller before the dialog runs

private:
    void ShowPositiveIntegerError();

    IConfigContext& m_context;
};

// The field text as a non-negative integer: blanks, an optional '+', digits,
// blanks. False for anything else.
bool ReadNonNegativeInteger(const std::string& text, unsigned& value);

}  // namespace velmor
