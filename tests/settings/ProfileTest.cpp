#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "settings/FontSettings.h"
#include "settings/Profile.h"
#include "settings/SerialProfile.h"

namespace velmor {
namespace {

const char* const kSerial = "Serial Port Commmunications";

TEST(Profile, LookupRules)
{
    const CProfile profile = CProfile::InMemory(
        "; hand-written\r\n"
        "[serial port COMMMUNICATIONS]\r\n"
        "  baud =  4800  \r\n"
        "Port=3x\r\n"
        "Port=7\r\n"
        "Empty=\r\n"
        "[Other]\r\n"
        "Baud=1200\r\n"
        "[Serial Port Commmunications]\r\n"
        "Parity=Odd\r\n"
        "garbage line without equals\r\n"
        "[broken\r\n"
        "Last=no newline");
    EXPECT_EQ(profile.GetInt(kSerial, "BAUD", 0), 4800);
    EXPECT_EQ(profile.GetInt(kSerial, "Port", 0), 3);       // first key wins, leading number
    EXPECT_EQ(profile.GetInt(kSerial, "Empty", 42), 0);     // present but no digits
    EXPECT_EQ(profile.GetInt(kSerial, "Missing", 42), 42);
    EXPECT_EQ(profile.GetString(kSerial, "Parity", "None"), "Odd");  // duplicate section
    EXPECT_EQ(profile.GetString(kSerial, "Last", ""), "no newline");
    EXPECT_EQ(profile.GetString("Other", "Baud", ""), "1200");
    EXPECT_EQ(profile.GetString("Nowhere", "Baud", "dflt"), "dflt");
}

// Hand-edited values in quotes: one matching pair goes, for strings and
// numbers alike; unmatched or inner quotes stay.
TEST(Profile, QuotedValuesLoseOnePairOfQuotes)
{
    const CProfile profile = CProfile::InMemory(
        "[Serial Port Commmunications]\n"
        "Baud=\"4800\"\n"
        "Port='3'\n"
        "Parity = \"Odd\"  \n"
        "StopBits=\"\"2\"\"\n"
        "Mixed=\"Even'\n"
        "Lone=\"\n");
    EXPECT_EQ(profile.GetInt(kSerial, "Baud", 0), 4800);
    EXPECT_EQ(profile.GetInt(kSerial, "Port", 0), 3);
    EXPECT_EQ(profile.GetString(kSerial, "Parity", ""), "Odd");
    EXPECT_EQ(profile.GetString(kSerial, "StopBits", ""), "\"2\"");  // only one pair
    EXPECT_EQ(profile.GetString(kSerial, "Mixed", ""), "\"Even'");
    EXPECT_EQ(profile.GetString(kSerial, "Lone", ""), "\"");
    SerialSettings settings;
    LoadSerialSettingsAtStartup(profile, settings);
    EXPECT_EQ(settings.m_nBaud, 4800);
    EXPECT_EQ(settings.m_nParity, 1);
}

TEST(Profile, WriteKeepsEveryOtherLine)
{
    CProfile profile = CProfile::InMemory(
        "; comment\r\n[Serial Port Commmunications]\r\nBaud = 9600\r\nParity=Even\r\n\r\n[Fonts]\r\nHeight=-11");
    ASSERT_TRUE(profile.WriteString(kSerial, "baud", "19200"));
    ASSERT_TRUE(profile.WriteString(kSerial, "Port", "2"));
    ASSERT_TRUE(profile.WriteString("Fonts", "Width", "5"));
    ASSERT_TRUE(profile.WriteString("WindowRect", "left", "10"));
    EXPECT_EQ(profile.Text(),
              "; comment\r\n[Serial Port Commmunications]\r\nBaud = 19200\r\nParity=Even\r\nPort=2\r\n\r\n"
              "[Fonts]\r\nHeight=-11\r\nWidth=5\r\n[WindowRect]\r\nleft=10\r\n");
    // A value cannot break the file into extra lines.
    ASSERT_TRUE(profile.WriteString("WindowRect", "left", "1\n[Evil]\nx=1"));
    EXPECT_EQ(profile.GetString("WindowRect", "left", ""), "1");
    EXPECT_EQ(profile.GetString("Evil", "x", "none"), "none");
}

TEST(Profile, FileIsCreatedWithItsDirectory)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-profile-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    CProfile profile = CProfile::OnFile((dir / "sub" / "Velmor.INI").string());
    EXPECT_EQ(profile.GetInt("Fonts", "Height", -11), -11);
    EXPECT_EQ(profile.Text(), "");
    ASSERT_TRUE(profile.WriteString("Fonts", "Height", "-13"));
    std::ifstream in(profile.Path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "[Fonts]\nHeight=-13\n");
    EXPECT_EQ(CProfile::OnFile(profile.Path()).GetInt("fonts", "height", 0), -13);
    std::filesystem::remove_all(dir);
}

TEST(Profile, DefaultPathFollowsXdgConfigHome)
{
    const char* old = ::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(DefaultProfilePath(), "/tmp/xdg/velmor/Velmor.INI");
    ::unsetenv("XDG_CONFIG_HOME");
    const char* home = ::getenv("HOME");
    if (home) {
        EXPECT_EQ(DefaultProfilePath(), std::string(home) + "/.config/velmor/Velmor.INI");
    }
    if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(Profile, GarbageNeverBreaksReadsOrLosesContent)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byteDist(0, 255);
    const char alphabet[] = "[]=;\r\n \tabAB01";
    for (int round = 0; round < 200; ++round) {
        std::string text(static_cast<std::size_t>(random() % 400), '\0');
        for (char& c : text)
            c = round % 2 ? static_cast<char>(byteDist(random)) : alphabet[random() % (sizeof alphabet - 1)];
        CProfile profile = CProfile::InMemory(text);
        profile.GetInt("a", "b", 0);
        ASSERT_TRUE(profile.WriteString("Sec", "Key", "value"));
        EXPECT_EQ(profile.GetString("sec", "key", ""), "value");
        EXPECT_NE(profile.Text().find(text.substr(0, text.find_last_of('\n') + 1)), std::string::npos);
    }
}

TEST(SerialProfile, LoadDefaultsAndRepairs)
{
    SerialSettings settings;
    LoadSerialSettingsAtStartup(CProfile::InMemory(), settings);
    EXPECT_EQ(settings.m_nPort, 1);
    EXPECT_EQ(settings.m_nBaud, 19200);
    EXPECT_EQ(settings.m_nParity, 0);
    LoadSerialSettings(CProfile::InMemory(), settings);
    EXPECT_EQ(settings.m_nBaud, 9600);

    LoadSerialSettingsAtStartup(
        CProfile::InMemory("[Serial Port Commmunications]\nPort=12\nBaud=38400\nDataBits=7\nStopBits=3\nParity=Odd\n"),
        settings);
    EXPECT_EQ(settings.m_nPort, 12);
    EXPECT_EQ(settings.m_nBaud, 38400);
    EXPECT_EQ(settings.m_nDataBits, 8);
    EXPECT_EQ(settings.m_nStopBits, 1);
    EXPECT_EQ(settings.m_nParity, 1);
    EXPECT_EQ(ParityFromName("odd"), 0);
    EXPECT_EQ(ParityFromName("Even"), 2);
}

TEST(SerialProfile, SaveWritesFourKeysInOrderAndKeepsParity)
{
    CProfile profile = CProfile::InMemory("[Serial Port Commmunications]\nParity=Even\n");
    SaveSerialSettings(profile, SerialSettings{2, 2400, 1, 8, 2});
    EXPECT_EQ(profile.Text(), "[Serial Port Commmunications]\nParity=Even\nPort=2\nBaud=2400\nStopBits=2\nDataBits=8\n");
    SaveSerialSettings(profile, SerialSettings{1, 300, 0, 8, 1});
    EXPECT_NE(profile.Text().find("Baud= 300\n"), std::string::npos);  // "%4d"; reads back as 300
}

TEST(SerialProfile, PortDevicePath)
{
    const CProfile profile = CProfile::InMemory("[Port Devices]\n1=/dev/ttyUSB0\n");
    EXPECT_EQ(PortDevicePath(profile, 1), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath(profile, 2), "/dev/ttyS1");
}

TEST(FontSettings, DefaultsLowBitsAndFaceNameLimit)
{
    CLogFont font;
    font.m_lHeight = 99;
    LoadFontSettings(CProfile::InMemory(), font);
    EXPECT_EQ(font.m_lHeight, -11);
    EXPECT_EQ(font.m_lWeight, 400);
    EXPECT_EQ(font.m_byPitchAndFamily, 50);
    EXPECT_EQ(font.m_strFaceName, "Courier New");

    CProfile profile = CProfile::InMemory("[Fonts]\nItalic=257\nCharSet=-1\nFaceName=" + std::string(40, 'F') + "\n");
    LoadFontSettings(profile, font);
    EXPECT_EQ(font.m_byItalic, 1);
    EXPECT_EQ(font.m_byCharSet, 255);
    EXPECT_EQ(font.m_strFaceName, std::string(31, 'F'));

    SaveFontSettings(profile, font);
    EXPECT_EQ(profile.GetString("Fonts", "CharSet", ""), "255");
    const std::string text = profile.Text();
    const char* order[] = {"Italic=", "CharSet=", "FaceName=", "Height=", "Width=", "Escape=", "Orient=",
                           "Weight=", "Underline=", "StrikeOut=", "OutPrec=", "ClipPrec=", "Quality=", "PitchFamily="};
    std::size_t previous = 0;
    for (std::size_t i = 3; i < std::size(order); ++i) {
        std::size_t at = text.find(order[i]);
        ASSERT_NE(at, std::string::npos) << order[i];
        EXPECT_GT(at, previous) << order[i];
        previous = at;
    }
}

}  // namespace
}  // namespace velmor
