#pragma once
// The small self-closing notice window ("Communicate With Unit, Wait...").
// Only one notice at a time: while one is shown (or hidden by its Cancel
// button but not yet timed out) further notices are refused.

#include <string>

#include "platform/Host.h"

namespace velmor {

class CMessageWindow {
public:
    explicit CMessageWindow(ISessionEvents& host) : m_host(host) {}

    // True when the window was created; false while a notice is shown or
    // when creation failed.
    bool ShowMessage(const std::string& text, const std::string& caption, int seconds);
    // The close timer fired: the window goes, the next notice may come.
    void OnTimer();

    std::string m_strText;
    std::string m_strCaption;
    int m_nSeconds = 0;
    bool m_bShown = false;

private:
    ISessionEvents& m_host;
};

}  // namespace velmor
