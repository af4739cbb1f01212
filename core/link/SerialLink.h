#pragma once
// The one serial link of the program: opens the port by COM number, applies
// the line settings, frames and writes command sentences, reads what the
// driver holds, and reports every failure in the program's own boxes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/LinkEvent.h"
#include "link/SerialSettings.h"
#include "platform/Host.h"
#include "platform/SerialDevice.h"

namespace velmor {

class CSerialLink {
public:
    // |reportedProductType| decides the sentence terminator (CR only for the
    // legacy dialect).
    CSerialLink(Host& host, SerialDevice& device, const int& reportedProductType);

    // COM number to device path; by default port n is /dev/ttyS(n-1).
    void SetPortPathResolver(std::function<std::string(int)> resolver);
    std::string PortPath(int port) const;
    // Who hears of opens, closes, writes and write failures (none by default).
    void SetEventListener(ILinkEventListener* listener) { m_pListener = listener; }

    // Returns 0 on success, -1 on failure (after its box).
    int OpenPort(SerialSettings& settings);
    // A body too long for the framing buffer is not written; it is reported
    // with the same sound and box as a failed write.
    void SendCommand(std::string_view body);
    // Writes |framed| unchanged with the usual time-out and tells the
    // listener, but shows no box. False when nothing or not all was written.
    bool WriteFramed(std::string_view framed);
    // Reads up to |size| bytes (the poll passes 512). 0 when none or on error.
    int ReadAvailable(std::uint8_t* buffer, std::size_t size);
    void PurgePort();
    void ClosePort();
    // Close (when open) and reopen with |settings|; a failure adds the
    // summary box owned by |owner|.
    void InitComm(Owner owner, SerialSettings& settings);

    bool m_bPortOpen = false;
    // Set by the cold start just before it sends "RC" or "RSTG,C"; cleared by
    // SendCommand as it writes either body.
    bool m_bColdStartPending = false;

    static constexpr int kWriteTimeoutMs = 1000;
    // The outgoing sentence is built in a 256-byte buffer with its NUL.
    static constexpr std::size_t kFrameBufferSize = 256;

private:
    Host& m_host;
    SerialDevice& m_device;
    const int& m_nReportedProductType;
    bool m_bWriteFailureShown = false;  // the write-failure box is open
    std::function<std::string(int)> m_resolver;
    ILinkEventListener* m_pListener = nullptr;

    void Tell(LinkEvent event, std::string_view bytes = {})
    {
        if (m_pListener)
            m_pListener->OnLinkEvent(event, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    }
};

// The bytes SendCommand writes for |body| (up to its first NUL). Empty when
// the sentence would not fit kFrameBufferSize: such a body is refused whole.
std::string FrameCommand(std::string_view body, int reportedProductType);

}  // namespace velmor
