#include "settings/FontSettings.h"

#include "text/Text.h"

namespace velmor {

namespace {

constexpr const char* kFontSection = "Fonts";
constexpr std::size_t kMaxFaceName = 31;

// The 8-bit fields keep the low eight bits of whatever number the file holds.
std::uint8_t LowByte(int value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFFu); }

// At most 31 bytes, without splitting a UTF-8 sequence.
std::string FitFaceName(std::string name)
{
    if (name.size() <= kMaxFaceName) return name;
    std::size_t length = kMaxFaceName;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0u) == 0x80u) --length;
    name.resize(length);
    return name;
}

}  // namespace

void LoadFontSettings(const CProfile& profile, CLogFont& font)
{
    font.m_lHeight = profile.GetInt(kFontSection, "Height", -11);
    font.m_lWidth = profile.GetInt(kFontSection, "Width", 0);
    font.m_lEscapement = profile.GetInt(kFontSection, "Escape", 0);
    font.m_lOrientation = profile.GetInt(kFontSection, "Orient", 0);
    font.m_lWeight = profile.GetInt(kFontSection, "Weight", 400);
    font.m_byItalic = LowByte(profile.GetInt(kFontSection, "Italic", 0));
    font.m_byUnderline = LowByte(profile.GetInt(kFontSection, "Underline", 0));
    font.m_byStrikeOut = LowByte(profile.GetInt(kFontSection, "StrikeOut", 0));
    font.m_byCharSet = LowByte(profile.GetInt(kFontSection, "CharSet", 0));
    font.m_byOutPrecision = LowByte(profile.GetInt(kFontSection, "OutPrec", 0));
    font.m_byClipPrecision = LowByte(profile.GetInt(kFontSection, "ClipPrec", 0));
    font.m_byQuality = LowByte(profile.GetInt(kFontSection, "Quality", 0));
    font.m_byPitchAndFamily = LowByte(profile.GetInt(kFontSection, "PitchFamily", 50));
    font.m_strFaceName = FitFaceName(profile.GetString(kFontSection, "FaceName", "Courier New"));
}

void SaveFontSettings(CProfile& profile, const CLogFont& font)
{
    // Write failures are ignored: the chosen font stays in use for this run.
    profile.WriteString(kFontSection, "Height", Format("%d", font.m_lHeight));
    profile.WriteString(kFontSection, "Width", Format("%d", font.m_lWidth));
    profile.WriteString(kFontSection, "Escape", Format("%d", font.m_lEscapement));
    profile.WriteString(kFontSection, "Orient", Format("%d", font.m_lOrientation));
    profile.WriteString(kFontSection, "Weight", Format("%d", font.m_lWeight));
    profile.WriteString(kFontSection, "Italic", Format("%u", static_cast<unsigned>(font.m_byItalic)));
    profile.WriteString(kFontSection, "Underline", Format("%u", static_cast<unsigned>(font.m_byUnderline)));
    profile.WriteString(kFontSection, "StrikeOut", Format("%u", static_cast<unsigned>(font.m_byStrikeOut)));
    profile.WriteString(kFontSection, "CharSet", Format("%u", static_cast<unsigned>(font.m_byCharSet)));
    profile.WriteString(kFontSection, "OutPrec", Format("%u", static_cast<unsigned>(font.m_byOutPrecision)));
    profile.WriteString(kFontSection, "ClipPrec", Format("%u", static_cast<unsigned>(font.m_byClipPrecision)));
    profile.WriteString(kFontSection, "Quality", Format("%u", static_cast<unsigned>(font.m_byQuality)));
    profile.WriteString(kFontSection, "PitchFamily", Format("%u", static_cast<unsigned>(font.m_byPitchAndFamily)));
    profile.WriteString(kFontSection, "FaceName", FitFaceName(font.m_strFaceName));
}

}  // namespace velmor
