#pragma once
// Runs the real core with the real devices against velmor-unitsim on a
// pseudo-terminal. The program's clock is a fake that follows real time,
// optionally faster (the unit's replies do not depend on the program's
// clock, only the program's own 2 s and 5 s periods do).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/Program.h"
#include "platform/DeviceByPath.h"
#include "settings/Profile.h"
#include "support/FakeHost.h"

namespace velmor::e2e {

class CUnitSimProcess {
public:
    // Starts velmor-unitsim with |args|; false when it did not report its device.
    bool Start(const std::vector<std::string>& args);
    void Stop();
    // Sends |signal| (SIGUSR1, SIGUSR2...) to the running simulator.
    bool Signal(int signal);
    // SIGKILL and reap: the master side of the terminal vanishes at once, as
    // when a USB adapter is pulled, and a --link is left behind dangling.
    void Kill();
    // A USB adapter pulled: its device name goes, then the unit. A name left
    // dangling would lead to whichever terminal the system hands out next,
    // under a parallel test run another test's unit.
    void Unplug(const std::string& link);
    ~CUnitSimProcess() { Stop(); }
    const std::string& DevicePath() const { return m_strPath; }

private:
    pid_t m_pid = -1;
    std::string m_strPath;
};

// The termios device, counting its reads: a vanished device must not be
// read over and over.
class CCountingDevice : public CDeviceByPath {
public:
    long Read(std::uint8_t* buffer, std::size_t size) override
    {
        ++m_nReads;
        return CDeviceByPath::Read(buffer, size);
    }
    std::size_t m_nReads = 0;
};

class CSession {
public:
    // A program whose port 1 is |device|, at |baud|.
    CSession(const std::string& device, int baud = 19200);

    // Polls as the 200 ms timer would (more often is harmless) and paints
    // whenever the page is dirty, until |done| holds or |timeoutMs| of real
    // time have passed. The program's clock runs |speed| times real time.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs, int speed = 1);

    CFakeHost m_host;
    CCountingDevice m_device;  // a terminal path or a network port
    CProfile m_profile;
    CProgram m_program;
    std::string m_strPage;  // the most recent drawing
    int m_nPages = 0;
};

}  // namespace velmor::e2e
