// Hand-edited settings files through the program's own start-up and save:
// every content gives defined serial settings, and saving them keeps every
// other byte of the file.

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "app/Program.h"
#include "config/CommSetupDlg.h"
#include "settings/SerialProfile.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

using namespace std::string_literals;

struct HandEdited {
    const char* m_pszName;
    std::string m_strText;
    SerialSettings m_expected;  // port, baud, parity, data bits, stop bits
};

const HandEdited kFiles[] = {
    {"HugeAndNegativeNumbers",
     "[Serial Port Commmunications]\r\nPort=99999999999999999999\r\nBaud=-5\r\nStopBits=7\r\nDataBits=-99999999999",
     {INT_MAX, -5, 0, 8, 1}},
    {"HugeNegativePort", "[Serial Port Commmunications]\nPort=-99999999999999999999\nBaud=+4800\nStopBits=-1\n",
     {INT_MIN, 4800, 0, 8, 1}},
    {"MissingSection", "[Fonts]\nHeight=-11\n[Port Devices]\n1=/dev/ttyUSB0\n", {1, 19200, 0, 8, 1}},
    {"DuplicateKeysFirstWins",
     "[Serial Port Commmunications]\nBaud=4800\nBaud=9600\n[Serial Port Commmunications]\nPort=3\nPort=4\n",
     {3, 4800, 0, 8, 1}},
    {"EmptyAndBlankValues", "[Serial Port Commmunications]\nPort=\nBaud=   \nStopBits=two\nParity=\n", {0, 0, 0, 8, 0}},
    {"BinaryBytes",
     "\xEF\xBB\xBF\x00\xFF[Serial Port Commmunications]\x01\n\x00Port=2\nBaud=\xFF"
     "9600\nParity=Odd\x80\nStopBits=2\n\xFE\xFE"s,
     {1, 19200, 0, 8, 1}},  // a header with bytes around it is no section header
    {"OnlyGarbage", "\x00\x00\r\r\n]]]===[[[\n=\n[\n"s, {1, 19200, 0, 8, 1}},
};

void PrintTo(const HandEdited& file, std::ostream* out) { *out << file.m_pszName; }

class ProfileHardening : public ::testing::TestWithParam<HandEdited> {};

TEST_P(ProfileHardening, StartUpGivesDefinedSettingsAndOpensOrFailsCleanly)
{
    const HandEdited& file = GetParam();
    CFakeHost host;
    CFakeSerialDevice device;
    CProfile profile = CProfile::InMemory(file.m_strText);
    CProgram program(host, device, profile);
    program.LoadSettingsAtStartup();
    EXPECT_EQ(program.Session().Serial().m_nPort, file.m_expected.m_nPort);
    EXPECT_EQ(program.Session().Serial().m_nBaud, file.m_expected.m_nBaud);
    EXPECT_EQ(program.Session().Serial().m_nParity, file.m_expected.m_nParity);
    EXPECT_EQ(program.Session().Serial().m_nDataBits, 8);
    EXPECT_EQ(program.Session().Serial().m_nStopBits, file.m_expected.m_nStopBits);

    // Whatever the values, opening either works or ends in the failure boxes
    // and the serial-port dialog (cancelled here), never in undefined arithmetic.
    program.OpenPortAtStartup();
    CCommSetupDlg dialog(program.Session().Serial());
    dialog.Init();
    if (!program.Session().IsPortOpen()) {
        EXPECT_FALSE(host.Lines("box").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ProfileHardening, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.m_pszName); });

TEST(ProfileHardeningPort, ExtremePortNumbersGiveAPathAndNoSelection)
{
    const CProfile empty = CProfile::InMemory();
    EXPECT_EQ(PortDevicePath(empty, INT_MIN), "/dev/ttyS-2147483649");
    EXPECT_EQ(PortDevicePath(empty, INT_MAX), "/dev/ttyS2147483646");
    SerialSettings settings;
    settings.m_nPort = INT_MIN;
    CCommSetupDlg dialog(settings);
    dialog.Init();
    EXPECT_EQ(dialog.Ctl(CCommSetupDlg::IDC_PORT).m_nSelection, -1);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    // Lines keep their CR; the last one may have no line end at all.
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(ProfileHardeningSave, SavingSerialSettingsKeepsEveryOtherLineByteForByte)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-profile-hardening-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string texts[] = {
        "; written by hand\r\n[Fonts]\r\nHeight=-13\r\n\r\n[Serial Port Commmunications]\r\nParity=Even\r\n"
        "Baud = 4800\r\nBaud=9600\r\n[WindowRect]\r\nleft=10\r\nright=99999999999999999999",
        "[Serial Port Commmunications]\nPort=99999999999999999999\nBaud=-5\nStopBits=7\n\x00\xFF junk\n"
        "[Port Devices]\n1=/dev/ttyUSB0\n[serial port commmunications]\nPort=2"s,
        "[Fonts]\nFaceName=Courier New\n[Fonts]\nHeight=1",  // no serial section, no trailing newline
        "",
    };
    int index = 0;
    for (const std::string& original : texts) {
        SCOPED_TRACE(index);
        const std::string path = (dir / ("Velmor" + std::to_string(index++) + ".INI")).string();
        {
            std::ofstream out(path, std::ios::binary);
            out << original;
        }
        CFakeHost host;
        CFakeSerialDevice device;
        CProfile profile = CProfile::OnFile(path);
        CProgram program(host, device, profile);
        program.LoadSettingsAtStartup();
        const SerialSettings loaded = program.Session().Serial();
        SaveSerialSettings(profile, program.Session().Serial());

        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        const std::string saved = content.str();

        // The old lines, less the four the save rewrote, appear in the same
        // order and byte for byte; at most the four keys were added.
        const std::vector<std::string> before = SplitLines(original);
        const std::vector<std::string> after = SplitLines(saved);
        std::size_t at = 0, kept = 0;
        for (const std::string& line : before) {
            std::size_t next = at;
            while (next < after.size() && after[next] != line) ++next;
            if (next < after.size()) {
                ++kept;
                at = next + 1;
            }
        }
        EXPECT_GE(kept + 4, before.size()) << saved;
        EXPECT_LE(after.size(), before.size() + 5) << saved;  // four keys and perhaps the section line
        // Nothing before the serial section moves, not even a missing last line end.
        const std::size_t section = original.find("[Serial");
        if (section != std::string::npos) {
            EXPECT_EQ(saved.substr(0, section), original.substr(0, section));
        }

        // What was saved reads back as what was loaded.
        SerialSettings reread;
        LoadSerialSettingsAtStartup(CProfile::OnFile(path), reread);
        EXPECT_EQ(reread.m_nPort, loaded.m_nPort);
        EXPECT_EQ(reread.m_nBaud, loaded.m_nBaud);
        EXPECT_EQ(reread.m_nStopBits, loaded.m_nStopBits);
        EXPECT_EQ(reread.m_nParity, loaded.m_nParity);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
