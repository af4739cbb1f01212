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

// What became of one command.
enum class SendResult { Written, Failed, HungUp };

class CSerialLink {
public:
    // |reportedProductType| decides the sentence terminator (CR only for the
    // legacy dialect).
    CSerialLink(ISessionEvents& host, SerialDevice& device, const int& reportedProductType);

    // COM number to device path; by default port n is /dev/ttyS(n-1).
    void SetPortPathResolver(std::function<std::string(int)> resolver);
    std::string PortPath(int port) const;
    // Who hears of opens, closes, writes and write failures (none by default).
    void SetEventListener(ILinkEventListener* listener) { m_pListener = listener; }
    // False for a port whose line settings its far end fixes (a raw network port).
    bool CanChangeLineSettings() const { return m_device.CanChangeLineSettings(); }
    // Why the last opening failed, in words a person can act on; empty when
    // it worked or the device cannot say.
    const std::string& LastOpenError() const { return m_strLastOpenError; }

    // Returns 0 on success, -1 on failure (after its box).
    int OpenPort(SerialSettings& settings);
    // A body too long for the framing buffer is not written; it is reported
    // with the same sound and box as a failed write. A write that fails
    // because the device hung up shows nothing: the caller decides (HungUp).
    SendResult SendCommand(std::string_view body);
    // A command that is not even tried because the device is gone: observers
    // hear of it as a write failure, and a cold start waiting for it goes on.
    void DropCommand(std::string_view body);
    // The write-failure sound and box (one box at a time).
    void ReportWriteFailure();
    // Writes |framed| unchanged with the usual time-out and tells the
    // listener, but shows no box. False when nothing or not all was written.
    bool WriteFramed(std::string_view framed);
    // Reads up to |size| bytes (the poll passes 512). 0 when none or on error.
    int ReadAvailable(std::uint8_t* buffer, std::size_t size);
    // The last ReadAvailable met an error rather than an empty line.
    bool LastReadFailed() const { return m_bLastReadFailed; }
    // The open device has hung up or vanished.
    bool DeviceHungUp() const { return m_device.IsOpen() && m_device.IsHungUp(); }
    // Opens |path| again with |settings| after the device was lost: no
    // sound, no box, and the line settings applied as OpenPort does. True
    // when the port is open again.
    bool ReopenQuietly(SerialSettings& settings, const std::string& path);
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
    ISessionEvents& m_host;
    SerialDevice& m_device;
    const int& m_nReportedProductType;
    bool m_bWriteFailureShown = false;  // the write-failure box is open
    bool m_bLastReadFailed = false;
    std::function<std::string(int)> m_resolver;
    ILinkEventListener* m_pListener = nullptr;
    std::string m_strLastOpenError;

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
