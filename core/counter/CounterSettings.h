#pragma once
// The desktop program's reference counter as the operator set it up: on or
// off, the device (a serial path, tcp:// or rfc2217://), the line format and
// which series are recorded. Kept in a section of its own in the settings
// file; no other section's keys are read or written here.

#include <string>

#include "counter/CounterParser.h"

namespace velmor {

class CProfile;

inline constexpr const char* kCounterSection = "Reference Counter";

struct CCounterSettings {
    bool m_bEnabled = false;
    std::string m_strDevice;
    CounterFormat m_format = CounterFormat::Auto;
    // The series recorded: each channel on its own, and their difference.
    bool m_bChannelA = true;
    bool m_bChannelB = true;
    bool m_bChannelAB = true;

    // Whether samples of |channel| ("A", "B", "A-B"; C and D go with A and B's
    // choice of none) are recorded.
    bool Records(const std::string& channel) const;
    // "A,B,A-B", or "" for none.
    std::string ChannelsText() const;
    // Reads "A,B,A-B" (any order, blanks allowed); false for another word.
    bool SetChannels(const std::string& text);

    bool operator==(const CCounterSettings&) const = default;
};

CCounterSettings LoadCounterSettings(const CProfile& profile);
// Writes the section's four keys; false when the file could not be written.
bool SaveCounterSettings(CProfile& profile, const CCounterSettings& settings);
// Why the settings cannot run a counter (empty: they can). Off is always fine.
std::string CheckCounterSettings(const CCounterSettings& settings);

}  // namespace velmor
