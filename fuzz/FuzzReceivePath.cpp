// Bytes from the line into the assembler and dispatcher, for any product
// type. The first byte picks the type and the part number.

#include <cstddef>
#include <cstdint>

#include "../bench/NullHost.h"
#include "app/Program.h"
#include "settings/Profile.h"

using namespace velmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    CNullHost host;
    CNullDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program(host, device, profile);
    program.Session().LinkForTest().m_bPortOpen = true;
    static const char* const parts[] = {"", "512-6200-03", "524-1", "OrbalPlusEmu"};
    program.Session().StateForTest().m_nProductType = program.Session().StateForTest().m_nReportedProductType = data[0] % 30 - 1;
    program.Session().StateForTest().m_strPartNumber = parts[(data[0] >> 5) & 3];
    program.Session().StateForTest().m_bIdentified = data[0] & 0x80;
    program.Session().FeedBytes(data + 1, size - 1);
    std::string page;
    program.Session().StateForTest().m_bPageDirty = true;
    program.OnPaint(page);
    return 0;
}
