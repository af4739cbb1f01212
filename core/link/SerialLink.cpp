#include "link/SerialLink.h"

#include <climits>
#include <utility>

#include "model/ProductTypes.h"
#include "text/Text.h"

namespace velmor {

namespace {

// "$" body "*" and the terminator: CR LF, or CR alone for the legacy dialect.
const char* Terminator(int reportedProductType)
{
    return SpeaksLegacyDialect(reportedProductType) ? "\r" : "\r\n";
}

// The body as the NUL-terminated text it stands for.
std::string_view UpToNul(std::string_view body)
{
    std::size_t nul = body.find('\0');
    return nul == std::string_view::npos ? body : body.substr(0, nul);
}

}  // namespace

std::string FrameCommand(std::string_view body, int reportedProductType)
{
    body = UpToNul(body);
    const char* terminator = Terminator(reportedProductType);
    std::string sentence;
    sentence.reserve(body.size() + 4);
    sentence += '$';
    sentence += body;
    sentence += '*';
    sentence += terminator;
    // The sentence and its NUL must fit the framing buffer; a longer body is
    // refused as a whole rather than cut or written past the buffer.
    if (sentence.size() + 1 > CSerialLink::kFrameBufferSize) return {};
    return sentence;
}

CSerialLink::CSerialLink(ISessionEvents& host, SerialDevice& device, const int& reportedProductType)
    : m_host(host), m_device(device), m_nReportedProductType(reportedProductType)
{
}

void CSerialLink::SetPortPathResolver(std::function<std::string(int)> resolver)
{
    m_resolver = std::move(resolver);
}

std::string CSerialLink::PortPath(int port) const
{
    if (m_resolver) return m_resolver(port);
    return Format("/dev/ttyS%lld", static_cast<long long>(port) - 1);
}

int CSerialLink::OpenPort(SerialSettings& settings)
{
    m_strLastOpenError.clear();
    if (!m_device.Open(PortPath(settings.m_nPort))) {
        m_strLastOpenError = m_device.LastOpenError();
        m_bPortOpen = false;
        Tell(LinkEvent::PortOpenFailed);
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(Owner::None, "Could not open communication port", "OpenComm FAILED!", Icon::Error);
        return -1;
    }

    m_bPortOpen = true;
    m_device.Purge();

    LineSettings line;
    RepairLineSettings(settings);
    const std::string definition = BuildDefinitionString(settings);
    if (!ParseDefinitionString(definition, line)) {
        m_bPortOpen = false;
        m_device.Close();
        Tell(LinkEvent::PortOpenFailed);
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(Owner::None,
                          Format("Comm port:%d,Baud=%d,Parity=%d,Data=%d, and Stop=%d", settings.m_nPort,
                                 settings.m_nBaud, settings.m_nParity, settings.m_nDataBits,
                                 settings.m_nStopBits),
                          "Build Comm DCB failed", Icon::Error);
        return -1;
    }

    if (!m_device.Apply(line)) {
        m_bPortOpen = false;
        m_device.Close();
        Tell(LinkEvent::PortOpenFailed);
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(Owner::None, "SetCommState", "Could not set communication state", Icon::Error);
        return -1;
    }

    // Reads never wait and writes give up after kWriteTimeoutMs: both are
    // properties of the device's Read and Write.
    m_device.ClearErrors();
    Tell(LinkEvent::PortOpened);
    return 0;
}

SendResult CSerialLink::SendCommand(std::string_view body)
{
    body = UpToNul(body);
    const std::string sentence = FrameCommand(body, m_nReportedProductType);
    // An empty frame means the body does not fit the framing buffer: nothing
    // is written and the loss is reported like any other failed write.
    bool bWritten = !sentence.empty() && m_device.IsOpen() &&
                    m_device.Write(reinterpret_cast<const std::uint8_t*>(sentence.data()), sentence.size(),
                                   kWriteTimeoutMs);
    SendResult result = SendResult::Written;
    if (bWritten) {
        Tell(LinkEvent::BytesSent, sentence);
    } else {
        Tell(LinkEvent::WriteFailure, sentence);
        if (DeviceHungUp()) {
            result = SendResult::HungUp;
        } else {
            result = SendResult::Failed;
            ReportWriteFailure();
        }
    }
    // The cold start waits for this flag; it clears whether or not the write worked.
    if (m_bColdStartPending && (body == "RC" || body == "RSTG,C")) m_bColdStartPending = false;
    return result;
}

void CSerialLink::DropCommand(std::string_view body)
{
    body = UpToNul(body);
    Tell(LinkEvent::WriteFailure, FrameCommand(body, m_nReportedProductType));
    if (m_bColdStartPending && (body == "RC" || body == "RSTG,C")) m_bColdStartPending = false;
}

void CSerialLink::ReportWriteFailure()
{
    m_host.PlaySound(Sound::Exclamation);
    // Poll ticks keep running while the box is open, and with the line
    // gone each of them may fail another write: one box at a time is
    // enough, or they would pile up every two seconds.
    if (!m_bWriteFailureShown) {
        m_bWriteFailureShown = true;
        m_host.MessageBox(Owner::None, "Cannot write to communication port!", "Comm Error", Icon::Warning);
        m_bWriteFailureShown = false;
    }
}

bool CSerialLink::WriteFramed(std::string_view framed)
{
    if (framed.empty()) return true;
    const bool bWritten = m_bPortOpen && m_device.IsOpen() &&
                          m_device.Write(reinterpret_cast<const std::uint8_t*>(framed.data()), framed.size(),
                                         kWriteTimeoutMs);
    Tell(bWritten ? LinkEvent::BytesSent : LinkEvent::WriteFailure, framed);
    return bWritten;
}

int CSerialLink::ReadAvailable(std::uint8_t* buffer, std::size_t size)
{
    m_bLastReadFailed = false;
    if (buffer == nullptr || size == 0 || !m_device.IsOpen()) return 0;
    if (size > static_cast<std::size_t>(INT_MAX)) size = static_cast<std::size_t>(INT_MAX);
    long count = m_device.Read(buffer, size);
    if (count < 0) {
        m_bLastReadFailed = true;
        // Let the driver accept further reads; this tick simply has nothing.
        m_device.ClearErrors();
        return 0;
    }
    if (static_cast<unsigned long>(count) > size) count = static_cast<long>(size);
    return static_cast<int>(count);
}

bool CSerialLink::ReopenQuietly(SerialSettings& settings, const std::string& path)
{
    if (m_device.IsOpen()) m_device.Close();
    m_bPortOpen = false;
    if (!m_device.OpenNonBlocking(path)) {
        Tell(LinkEvent::PortOpenFailed);
        return false;
    }
    m_device.Purge();
    LineSettings line;
    RepairLineSettings(settings);
    if (!ParseDefinitionString(BuildDefinitionString(settings), line) || !m_device.Apply(line)) {
        m_device.Close();
        Tell(LinkEvent::PortOpenFailed);
        return false;
    }
    m_bPortOpen = true;
    m_device.ClearErrors();
    Tell(LinkEvent::PortOpened);
    return true;
}

void CSerialLink::PurgePort()
{
    if (m_device.IsOpen()) m_device.Purge();
}

void CSerialLink::ClosePort()
{
    const bool wasOpen = m_device.IsOpen();
    m_bPortOpen = false;
    m_device.Close();
    if (wasOpen) Tell(LinkEvent::PortClosed);
}

void CSerialLink::InitComm(Owner owner, SerialSettings& settings)
{
    if (m_bPortOpen) ClosePort();
    const int result = OpenPort(settings);
    if (result == -1) {
        m_host.PlaySound(Sound::Hand);
        m_host.MessageBox(owner,
                          Format("Comm:%d,Baud=%d,Parity=%d,Data=%d,Stop=%d & return value=%d", settings.m_nPort,
                                 settings.m_nBaud, settings.m_nParity, settings.m_nDataBits,
                                 settings.m_nStopBits, result),
                          "Trevik Init Comm. I/O failed!!", Icon::Error);
    }
}

}  // namespace velmor
