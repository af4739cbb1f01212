#include "counter/CounterSettings.h"

#include <sstream>

#include "settings/Profile.h"

namespace velmor {

namespace {

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool CCounterSettings::Records(const std::string& channel) const
{
    if (channel == "A-B") return m_bChannelAB;
    if (channel == "A") return m_bChannelA;
    if (channel == "B") return m_bChannelB;
    return false;
}

std::string CCounterSettings::ChannelsText() const
{
    std::string text;
    for (const auto& [on, name] : {std::pair{m_bChannelA, "A"}, {m_bChannelB, "B"}, {m_bChannelAB, "A-B"}}) {
        if (!on) continue;
        if (!text.empty()) text += ',';
        text += name;
    }
    return text;
}

bool CCounterSettings::SetChannels(const std::string& text)
{
    bool a = false, b = false, ab = false;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item = Trim(item);
        if (item == "A") a = true;
        else if (item == "B") b = true;
        else if (item == "A-B") ab = true;
        else if (!item.empty()) return false;
    }
    m_bChannelA = a;
    m_bChannelB = b;
    m_bChannelAB = ab;
    return true;
}

CCounterSettings LoadCounterSettings(const CProfile& profile)
{
    CCounterSettings settings;
    settings.m_bEnabled = profile.GetInt(kCounterSection, "Enabled", 0) != 0;
    settings.m_strDevice = Trim(profile.GetString(kCounterSection, "Device", ""));
    if (auto format = CounterFormatFromText(Trim(profile.GetString(kCounterSection, "Format", "auto"))))
        settings.m_format = *format;
    // A damaged list keeps every series: recording too much loses nothing.
    CCounterSettings parsed;
    if (parsed.SetChannels(profile.GetString(kCounterSection, "Channels", "A,B,A-B"))) {
        settings.m_bChannelA = parsed.m_bChannelA;
        settings.m_bChannelB = parsed.m_bChannelB;
        settings.m_bChannelAB = parsed.m_bChannelAB;
    }
    return settings;
}

bool SaveCounterSettings(CProfile& profile, const CCounterSettings& settings)
{
    bool ok = profile.WriteString(kCounterSection, "Enabled", settings.m_bEnabled ? "1" : "0");
    ok = profile.WriteString(kCounterSection, "Device", settings.m_strDevice) && ok;
    ok = profile.WriteString(kCounterSection, "Format", CounterFormatText(settings.m_format)) && ok;
    ok = profile.WriteString(kCounterSection, "Channels", settings.ChannelsText()) && ok;
    return ok;
}

std::string CheckCounterSettings(const CCounterSettings& settings)
{
    if (!settings.m_bEnabled) return {};
    if (Trim(settings.m_strDevice).empty()) return "Name the counter's device: a serial path, tcp://HOST:PORT or rfc2217://HOST:PORT.";
    if (!settings.m_bChannelA && !settings.m_bChannelB && !settings.m_bChannelAB)
        return "Choose at least one series to record: A, B or A-B.";
    return {};
}

}  // namespace velmor
