#pragma once
// What the dispatcher may write into a dialog that is open. Each dialog
// registers itself with the program while it is open; a null reference means
// the dialog is closed and the reply only reaches the unit state (if at all).

#include <string>

namespace velmor {

class IAboutDlg {
public:
    virtual ~IAboutDlg() = default;
    virtual void SetProductName(const std::string& text) = 0;
    virtual void SetIdNumber(const std::string& text) = 0;
    virtual void SetFirmwareVersion(const std::string& text) = 0;
    virtual void SetFirmwarePartNumber(const std::string& text) = 0;
    virtual void SetGpsVersion(const std::string& text) = 0;
    virtual void SetGpsChannels(const std::string& text) = 0;
};

class IEventTriggerDlg {
public:
    virtual ~IEventTriggerDlg() = default;
    // Each fills its picture-mask field from the first position.
    virtual void FillStart(const std::string& digits) = 0;
    virtual void FillPeriod(const std::string& digits) = 0;
    virtual void FillWidth(const std::string& digits) = 0;
    virtual void SetInvert(bool checked) = 0;
};

class IRateOutputDlg {
public:
    virtual ~IRateOutputDlg() = default;
    // The text of a ROUT reply after its keyword and separator.
    virtual void OnRateReply(const std::string& rest) = 0;
};

class ITimeTagDlg {
public:
    virtual ~ITimeTagDlg() = default;
    virtual void ClearList() = 0;
    // Appends a line and makes it the current selection.
    virtual void AddLine(const std::string& line) = 0;
    // Sets the mode ('B' or 'W') and checks its radio button.
    virtual void SetMode(char mode) = 0;
};

}  // namespace velmor
