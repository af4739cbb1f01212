#pragma once
// The menu bar as data: every item with its text, command id, status-bar
// prompt and enabling rule.

#include <string>
#include <vector>

#include "protocol/UnitState.h"

namespace velmor {

enum CommandId : int {
    ID_APP_EXIT = 57665,
    ID_APP_ABOUT = 57664,
    ID_FILE_NEW = 57600,
    ID_COM_SETUP = 32771,
    ID_VIEW_FONTS = 32776,
    // Added after the classic set; handled by the window unless stated.
    ID_FILE_CAPTURE = 32800,       // File > Capture Traffic (checkable)
    ID_VIEW_EVENTS = 32801,        // View > Events
    ID_VIEW_ALARM_SETTINGS = 32802,// View > Alarm Settings... (core)
    ID_VIEW_COPY_PAGE = 32803,     // View > Copy Page (Ctrl+C)
    ID_VIEW_LINK_HEALTH = 32804,   // View > Link Health
    ID_COM_REFERENCE_COUNTER = 32805, // Com Setup > Reference Counter...
    ID_SETUP_ANTENNA_DELAY = 32782,
    ID_SETUP_ANTENNA_POSITION = 32781,
    ID_SETUP_BEEP = 32788,
    ID_SETUP_DAC_VALUE = 32785,
    ID_SETUP_EVENT_TRIGGER = 32779,
    ID_SETUP_PRESET1 = 32796,
    ID_SETUP_PRESET2 = 32795,
    ID_SETUP_MODE = 32777,
    ID_SETUP_MASK_ANGLE = 32787,
    ID_SETUP_RATE_OUTPUT = 32780,
    ID_SETUP_REF_PULSE = 32789,
    ID_SETUP_TIME_TAG = 32783,
    ID_SETUP_TOD_TYPE = 32786,
    ID_SETUP_QUICK_START = 32784,
};

struct CMenuItem {
    const char* m_pszMenu;    // "&Setup"
    const char* m_pszItem;    // "&Antenna Delay"
    int m_nCommand;
    const char* m_pszPrompt;  // status-bar prompt, "" for none
};

// The items in menu-bar order.
const std::vector<CMenuItem>& MenuItems();
// The item whose text without '&', trimmed, is |label|; null when none.
const CMenuItem* FindMenuItem(const std::string& label);
// The enabling rule of |command|, evaluated on the current identification.
bool IsMenuCommandEnabled(int command, const CUnitState& state);

}  // namespace velmor
