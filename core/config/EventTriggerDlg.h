#pragma once
// "Set Event Trigger": start time, period and width of the unit's event
// trigger output in three picture-mask fields, and an "Invert" box. The
// dialog is live: an EVTG reply arriving while it is open refills the fields.
// "Set" sends and stays open; the dialog has no visible OK button, the Enter
// key acts as OK (a hidden OK-role button carries that).
//
// A start or period text that lacks one of its separators (the masks always
// keep them, so only a broken front end could produce one) is split as far
// as the separators go: the part before the missing separator takes the rest
// of the text and the parts after it are sent empty, so the unit rejects the
// command instead of receiving shifted fields.

#include <string>

#include "config/DialogModel.h"
#include "protocol/DialogInterfaces.h"

namespace velmor {

class IConfigContext;

class CEventTriggerDlg : public CDialogModel, public IEventTriggerDlg {
public:
    enum : int { IDC_START = 1400, IDC_PERIOD, IDC_WIDTH, IDC_INVERT, IDC_SET, IDOK_EVENT, IDCANCEL_EVENT };
    static constexpr const char* kStartMask = "999:99:99:99.9999999";
    static constexpr const char* kPeriodMask = "99:99:99.99";
    static constexpr const char* kWidthMask = "9.999999";
    static constexpr std::size_t kMaxFieldLength = 24;

    explicit CEventTriggerDlg(IConfigContext& context);

    void OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;

    void FillStart(const std::string& digits) override { Fill(IDC_START, digits); }
    void FillPeriod(const std::string& digits) override { Fill(IDC_PERIOD, digits); }
    void FillWidth(const std::string& digits) override { Fill(IDC_WIDTH, digits); }
    void SetInvert(bool checked) override;

    // Builds the EVTG command from the fields into m_strCommand.
    void BuildCommand();

    // Filled by the caller before the dialog runs: digit runs as the unit
    // state keeps them, and the invert flag text.
    std::string m_strStart;
    std::string m_strPeriod;
    std::string m_strWidth;
    std::string m_strInvert;
    // The command built for "Set" and OK.
    std::string m_strCommand;

private:
    void Fill(int id, const std::string& digits);
    void Unregister();

    IConfigContext& m_context;
};

}  // namespace velmor
