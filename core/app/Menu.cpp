#include "app/Menu.h"

#include "text/Text.h"

namespace velmor {

const std::vector<CMenuItem>& MenuItems()
{
    static const std::vector<CMenuItem> items = {
        {"&File", "&Capture Traffic", ID_FILE_CAPTURE, "Write every byte received and sent to a replay script"},
        {"&File", "E&xit", ID_APP_EXIT, ""},
        {"&Com Setup", "&Setup Com Port", ID_COM_SETUP, ""},
        {"&Com Setup", "&Reference Counter...", ID_COM_REFERENCE_COUNTER,
         "Record a time-interval counter beside the unit"},
        {"&View", "&Fonts", ID_VIEW_FONTS, ""},
        {"&View", "&Events", ID_VIEW_EVENTS, "Show the alarm events"},
        {"&View", "&Alarm Settings...", ID_VIEW_ALARM_SETTINGS, "Set the alarm limits and notifications"},
        {"&View", "&Copy Page", ID_VIEW_COPY_PAGE, "Copy the status page to the clipboard"},
        {"&View", "&Link Health", ID_VIEW_LINK_HEALTH, "Show the counters of the line to the unit"},
        {"&Setup", "&Antenna Delay", ID_SETUP_ANTENNA_DELAY, "Set or view antenna delay"},
        {"&Setup", "Antenna &Position", ID_SETUP_ANTENNA_POSITION, "Set or view antenna position"},
        {"&Setup", "&Beep Toggling", ID_SETUP_BEEP, "Toggle on-board beep sound on or off"},
        {"&Setup", "&Dac Value", ID_SETUP_DAC_VALUE, "Set or View DAC value"},
        {"&Setup", "&Event Trigger", ID_SETUP_EVENT_TRIGGER, ""},
        {"&Setup", "Mirelle Preset &1", ID_SETUP_PRESET1, "Factory Reset to the Mirelle configuration"},
        {"&Setup", "Mirelle Preset &2", ID_SETUP_PRESET2, "Factory Reset to the Vantor Grid configuration"},
        {"&Setup", "&Mode", ID_SETUP_MODE, ""},
        {"&Setup", "Mask A&ngle", ID_SETUP_MASK_ANGLE, ""},
        {"&Setup", "&Rate Output", ID_SETUP_RATE_OUTPUT, ""},
        {"&Setup", "Ref P&ulse Control", ID_SETUP_REF_PULSE, ""},
        {"&Setup", "&Time Tag", ID_SETUP_TIME_TAG, ""},
        {"&Setup", "T&OD Type", ID_SETUP_TOD_TYPE, ""},
        {"&Setup", "&Quick Start", ID_SETUP_QUICK_START, ""},
        {"&Help", "&Velmor ", ID_APP_ABOUT, ""},
    };
    return items;
}

const CMenuItem* FindMenuItem(const std::string& label)
{
    for (const auto& item : MenuItems())
        if (Plain(item.m_pszItem) == label) return &item;
    return nullptr;
}

bool IsMenuCommandEnabled(int command, const CUnitState& state)
{
    const CProductType& type = ProductTypeInfo(state.m_nProductType);
    const CProductType& reported = ProductTypeInfo(state.m_nReportedProductType);
    const std::string& part = state.m_strPartNumber;
    switch (command) {
    case ID_SETUP_BEEP:
        return type.Has(kBeep);
    case ID_SETUP_DAC_VALUE:
        return !type.Has(kDacLocked);
    case ID_SETUP_EVENT_TRIGGER:
    case ID_SETUP_RATE_OUTPUT:
    case ID_SETUP_TIME_TAG:
        return type.Has(kEventTiming);
    case ID_SETUP_PRESET1:
    case ID_SETUP_PRESET2:
        return reported.Has(kPresetsInMenu);
    case ID_SETUP_MASK_ANGLE:
        return type.Has(kMaskAngleCommand);
    case ID_SETUP_REF_PULSE:
        return type.Has(kRefPulseOutput) && !StartsWith(part, "512-6200-") && !StartsWith(part, "536-") &&
               !StartsWith(part, "524-") && !StartsWith(part, "518-") && !StartsWith(part, "530-");
    case ID_SETUP_TOD_TYPE:
        return type.Has(kTodTypeCommand);
    case ID_SETUP_QUICK_START:
        return !StartsWith(part, "512-6200-") && !StartsWith(part, "536-") && !reported.Has(kPresetsInMenu);
    default:
        return true;
    }
}

}  // namespace velmor
