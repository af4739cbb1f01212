#pragma once
// What a reply handler may ask of the program around it. The handlers see the
// unit state, the sentence's tokens and this narrow interface; they never
// reach the program object, the link or the settings file.

#include <string>
#include <string_view>

#include "protocol/DialogInterfaces.h"

namespace velmor {

class ICommandSender {
public:
    virtual ~ICommandSender() = default;
    // Frames and writes one command body to the unit.
    virtual void SendCommand(std::string_view body) = 0;
};

class IReplyHost : public ICommandSender {
public:
    // The page needs drawing: dirty flag plus an invalidation without erasing.
    virtual void RequestRedraw() = 0;

    // The live dialogs; null while the dialog is closed.
    virtual IAboutDlg* AboutDlg() = 0;
    virtual IEventTriggerDlg* EventTriggerDlg() = 0;
    virtual IRateOutputDlg* RateOutputDlg() = 0;
    virtual ITimeTagDlg* TimeTagDlg() = 0;

    // The error sound, then an error box owned by the view.
    virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;

    // A PRID reply with type and part number arrived: the unit identified
    // itself (again). The program keeps a rate that the baud switch found.
    virtual void OnUnitIdentified() = 0;
    // The unit answered while its type was still unknown to the link: close
    // and reopen the port, then poll again.
    virtual void RestartLink() = 0;
};

}  // namespace velmor
