#include "alarms/AlarmSettings.h"

#include <string_view>

#include "text/Numbers.h"
#include "text/Text.h"
#include "settings/Profile.h"

namespace velmor {

namespace {

constexpr const char* kKeys[kAlarmConditionCount] = {
    "lock", "holdover", "self-test", "tfom", "pps-offset", "temperature", "data-stale", "link", "restart", "polling",
};

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

const char* AlarmConditionKey(AlarmCondition condition) { return kKeys[static_cast<int>(condition)]; }

CAlarmSettings::CAlarmSettings()
{
    // Out of the box the events an operator must act on reach the desktop;
    // the measured quantities only go to the window and the log.
    for (AlarmCondition condition : {AlarmCondition::LockLost, AlarmCondition::Holdover, AlarmCondition::SelfTest,
                                     AlarmCondition::DataStale, AlarmCondition::LinkLost,
                                     AlarmCondition::UnitRestarted})
        SetNotify(condition, true);
}

void CAlarmSettings::SetNotify(AlarmCondition condition, bool on)
{
    const std::uint32_t bit = 1u << static_cast<unsigned>(condition);
    m_uNotify = on ? (m_uNotify | bit) : (m_uNotify & ~bit);
}

CAlarmSettings LoadAlarmSettings(const CProfile& profile)
{
    CAlarmSettings settings;
    settings.m_nTfomLimit = profile.GetInt(kAlarmsSection, "TfomLimit", settings.m_nTfomLimit);
    settings.m_nPpsLimitNs = profile.GetInt(kAlarmsSection, "PpsLimitNs", settings.m_nPpsLimitNs);
    settings.m_nTemperatureLow = profile.GetInt(kAlarmsSection, "TemperatureLow", settings.m_nTemperatureLow);
    settings.m_nTemperatureHigh = profile.GetInt(kAlarmsSection, "TemperatureHigh", settings.m_nTemperatureHigh);
    settings.m_bSound = profile.GetInt(kAlarmsSection, "Sound", settings.m_bSound ? 1 : 0) != 0;
    // A comma list of condition names; unknown names are ignored.
    const std::string marker = "\x01";
    const std::string notify = profile.GetString(kAlarmsSection, "Notify", marker);
    if (notify != marker) {
        settings.m_uNotify = 0;
        std::string_view rest(notify);
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            const std::string_view name = Trimmed(rest.substr(0, comma));
            for (int i = 0; i < kAlarmConditionCount; ++i)
                if (EqualNoCase(name, kKeys[i])) settings.SetNotify(static_cast<AlarmCondition>(i), true);
            rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        }
    }
    return settings;
}

void SaveAlarmSettings(CProfile& profile, const CAlarmSettings& settings)
{
    profile.WriteString(kAlarmsSection, "TfomLimit", std::to_string(settings.m_nTfomLimit));
    profile.WriteString(kAlarmsSection, "PpsLimitNs", std::to_string(settings.m_nPpsLimitNs));
    profile.WriteString(kAlarmsSection, "TemperatureLow", std::to_string(settings.m_nTemperatureLow));
    profile.WriteString(kAlarmsSection, "TemperatureHigh", std::to_string(settings.m_nTemperatureHigh));
    std::string notify;
    for (int i = 0; i < kAlarmConditionCount; ++i) {
        if (!settings.Notifies(static_cast<AlarmCondition>(i))) continue;
        if (!notify.empty()) notify += ',';
        notify += kKeys[i];
    }
    profile.WriteString(kAlarmsSection, "Notify", notify);
    profile.WriteString(kAlarmsSection, "Sound", settings.m_bSound ? "1" : "0");
}

}  // namespace velmor
