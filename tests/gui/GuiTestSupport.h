#pragma once
// Shared pieces of the offscreen GUI tests: the application object, a Qt
// host whose boxes answer themselves, and a serial device in memory.

#include <QApplication>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "QtHost.h"
#include "platform/SerialDevice.h"

namespace velmor::test {

// The one QApplication of the test binary (offscreen unless told otherwise).
QApplication& App();
// A fixture's first base: the application exists before any member widget.
struct CWithApp {
    CWithApp() { App(); }
};
// Runs the event loop for |ms| milliseconds.
void Pump(int ms);
// Runs the event loop until |done| holds or |ms| have passed; false on the
// time-out. Tests wait for the event itself, with room for a loaded machine.
bool PumpUntil(const std::function<bool()>& done, int ms = 20000);
// Removes a test's scratch directory once the History window's reads are
// over: a read may outlive its window, and opening the database makes its
// journal files.
void RemoveTestDirectory(const std::filesystem::path& dir);

// CQtHost with boxes and sounds recorded instead of shown; everything else
// (view, timers, notices, dialogs) is the real Qt implementation.
class CRecordingHost : public CQtHost {
public:
    struct CBox {
        Owner m_owner;
        std::string m_strText;
        std::string m_strCaption;
        Icon m_icon;
    };
    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons = Buttons::Ok) override;
    void PlaySound(Sound sound) override { m_sounds.push_back(sound); }

    std::vector<CBox> m_boxes;
    std::vector<Sound> m_sounds;
    // Runs while a box is "open", as the box's nested event loop would.
    std::function<void()> m_onBox;
};

class CMemoryDevice : public SerialDevice {
public:
    bool Open(const std::string& path) override;
    bool IsOpen() const override { return m_bOpen; }
    bool Apply(const LineSettings&) override { return true; }
    void Purge() override {}
    void ClearErrors() override {}
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override { m_bOpen = false; }

    bool m_bOpenWorks = false;
    bool m_bWriteWorks = true;
    bool m_bOpen = false;
    int m_nReads = 0;
    std::string m_strWritten;
    std::string m_strToRead;
};

}  // namespace velmor::test
