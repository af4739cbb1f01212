#pragma once
// The display font as the fourteen keys of section "Fonts".

#include <cstdint>
#include <string>

#include "settings/Profile.h"

namespace velmor {

struct CLogFont {
    std::int32_t m_lHeight = -11;
    std::int32_t m_lWidth = 0;
    std::int32_t m_lEscapement = 0;
    std::int32_t m_lOrientation = 0;
    std::int32_t m_lWeight = 400;
    std::uint8_t m_byItalic = 0;
    std::uint8_t m_byUnderline = 0;
    std::uint8_t m_byStrikeOut = 0;
    std::uint8_t m_byCharSet = 0;
    std::uint8_t m_byOutPrecision = 0;
    std::uint8_t m_byClipPrecision = 0;
    std::uint8_t m_byQuality = 0;
    std::uint8_t m_byPitchAndFamily = 50;
    std::string m_strFaceName = "Courier New";  // at most 31 characters
};

void LoadFontSettings(const CProfile& profile, CLogFont& font);
void SaveFontSettings(CProfile& profile, const CLogFont& font);

}  // namespace velmor
