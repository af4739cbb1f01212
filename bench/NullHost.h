#pragma once
// A host and a device that do nothing, for measuring the core alone.

#include "platform/Host.h"
#include "platform/SerialDevice.h"
#include "display/MessageWindow.h"

namespace velmor {

class CNullHost : public Host {
public:
    Answer MessageBox(Owner, const std::string&, const std::string&, Icon, Buttons) override { return Answer::Ok; }
    void PlaySound(Sound) override {}
    bool ShowNotice(CMessageWindow&) override { return true; }
    void CloseNotice() override {}
    std::uint64_t TickCount() override { return m_nTick; }
    bool StartPollTimer(int) override { return true; }
    void StopPollTimer() override {}
    void InvalidateView(bool) override {}
    void RedrawViewNow() override {}
    bool RunDialog(CDialogModel&) override { return false; }
    bool ChooseFont(CLogFont&) override { return false; }
    std::uint64_t m_nTick = 1000000;
};

class CNullDevice : public SerialDevice {
public:
    bool Open(const std::string&) override { return true; }
    bool IsOpen() const override { return true; }
    bool Apply(const LineSettings&) override { return true; }
    void Purge() override {}
    void ClearErrors() override {}
    long Read(std::uint8_t*, std::size_t) override { return 0; }
    bool Write(const std::uint8_t*, std::size_t, int) override { return true; }
    void Close() override {}
};

}  // namespace velmor
