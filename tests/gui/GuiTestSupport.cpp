#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThreadPool>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "WorkerPool.h"

namespace velmor::test {

QApplication& App()
{
    static QApplication* pApp = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Whatever a test records or remembers stays out of the user's own
        // data and state directories.
        static const std::string home = (std::filesystem::temp_directory_path() /
                                         ("velmor-guitest-home-" + std::to_string(::getpid()))).string();
        // Removed when the test binary ends.
        static const struct CHomeRemover {
            ~CHomeRemover()
            {
                std::error_code ignored;
                std::filesystem::remove_all(home, ignored);
            }
        } remover;
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
        static int argc = 1;
        static char name[] = "velmor_gui_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *pApp;
}

void RemoveTestDirectory(const std::filesystem::path& dir)
{
    HistoryWorkerPool().waitForDone();
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    EXPECT_FALSE(error) << dir << ": " << error.message();
}

void Pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool PumpUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

Answer CRecordingHost::MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                                  Buttons buttons)
{
    m_boxes.push_back({owner, text, caption, icon});
    if (m_onBox) m_onBox();
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

bool CMemoryDevice::Open(const std::string&)
{
    m_bOpen = m_bOpenWorks;
    return m_bOpen;
}

long CMemoryDevice::Read(std::uint8_t* buffer, std::size_t size)
{
    ++m_nReads;
    const std::size_t n = std::min(size, m_strToRead.size());
    std::memcpy(buffer, m_strToRead.data(), n);
    m_strToRead.erase(0, n);
    return static_cast<long>(n);
}

bool CMemoryDevice::Write(const std::uint8_t* data, std::size_t size, int)
{
    if (!m_bWriteWorks) return false;
    m_strWritten.append(reinterpret_cast<const char*>(data), size);
    return true;
}

}  // namespace velmor::test
