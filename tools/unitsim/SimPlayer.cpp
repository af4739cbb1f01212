#include "SimPlayer.h"

#include "PtyPort.h"
#include "SimText.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace velmor {

int PlayCapture(const std::vector<CPlayStep>& steps, double dSpeed, CPtyPort& port, int nSignalFd, std::FILE* log,
                bool bQuiet)
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> start;  // set by the program's first byte
    std::size_t next = 0;
    double dueMs = 0;  // the session's clock at which steps[next] falls due
    bool bEndTold = false;
    auto sessionMs = [&] {
        return start ? std::chrono::duration<double, std::milli>(Clock::now() - *start).count() * dSpeed : 0.0;
    };
    auto logBytes = [&](char direction, const std::string& bytes) {
        if (log != nullptr)
            std::fprintf(log, "%10.3f %c %s\n", sessionMs() / 1000.0, direction, simtext::Printable(bytes).c_str());
    };
    for (;;) {
        if (start) {
            const double now = sessionMs();
            for (; next < steps.size(); ++next) {
                const CPlayStep& step = steps[next];
                if (step.m_strBytes.empty()) {
                    dueMs += static_cast<double>(step.m_qwWaitMs);
                    continue;
                }
                if (dueMs > now) break;
                logBytes('>', step.m_strBytes);
                port.Queue(step.m_strBytes);
            }
            port.Flush();
            if (next == steps.size() && !port.HasPending() && !bEndTold) {
                bEndTold = true;
                if (!bQuiet) std::fprintf(stderr, "velmor-unitsim: end of the capture; silent until stopped\n");
                if (log != nullptr) std::fprintf(log, "%10.3f ! end of the capture\n", now / 1000.0);
            }
        }
        int timeout = 1000;
        if (start && next < steps.size())
            timeout = static_cast<int>(std::clamp(std::ceil((dueMs - sessionMs()) / dSpeed), 0.0, 1000.0));

        pollfd fds[2] = {{port.MasterFd(), static_cast<short>(POLLIN | (port.HasPending() ? POLLOUT : 0)), 0},
                         {nSignalFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::perror("velmor-unitsim: poll");
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            char marks[16];
            const ssize_t count = ::read(nSignalFd, marks, sizeof marks);
            // Losing GPS or power means nothing to a recording.
            for (ssize_t i = 0; i < count; ++i)
                if (marks[i] == 'T') return 0;
        }
        if (fds[0].revents & POLLIN) {
            char buffer[512];
            long count = 0;
            while ((count = port.Read(buffer, sizeof buffer)) > 0) {
                if (!start) start = Clock::now();
                logBytes('<', std::string(buffer, static_cast<std::size_t>(count)));
            }
        }
        if (fds[0].revents & POLLOUT) port.Flush();
        if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) ::poll(nullptr, 0, 50);
    }
}

}  // namespace velmor
