#pragma once
// One replay: the real program core on a virtual port, a virtual clock and a
// scripted host, driven line by line. Modal dialogs run the script
// re-entrantly: while one is open the following lines are its operator.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ObservationPrinter.h"
#include "Script.h"
#include "ScriptHost.h"
#include "VirtualPort.h"
#include "alarms/AlarmMonitor.h"
#include "capture/TrafficCapture.h"
#include "app/Program.h"
#include "settings/Profile.h"

namespace velmor::replay {

class CReplaySession : private IReplayDriver {
public:
    // Output lines go to |out|, one event a line.
    // With |withObserver| an observer is registered from the start even
    // when the script never prints observations.
    // With |capturePath| the traffic is captured from start-up into that file.
    CReplaySession(std::vector<CScriptLine> lines, std::FILE* out, bool withObserver = false,
                   std::string capturePath = {});
    ~CReplaySession() override;

    // Runs the whole script. Throws CScriptError when it cannot go on.
    void Run();

private:
    void Emit(const std::string& line);
    // Runs the next line; false at the end of the script.
    bool ExecuteNext();
    void Execute(const CScriptLine& line);
    void Start();
    void RunMenu(const CScriptLine& line);
    void Exit();
    // Delivers a paint; a page that is drawn becomes the most recent drawing.
    void DeliverPaint();
    void PrintPage();
    void PrintSettings();
    // With "status on": prints the link pane when its state changes.
    void ReportStatus();

    void OnPollTick() override;
    void PaintNow() override { DeliverPaint(); }
    bool RunDialog(CDialogModel& dialog) override;
    void ModalClosed() override { m_bModalClosed = true; }
    // Tells the program of closed dialogs and boxes where the desktop's
    // event loop would: after the menu command and after each poll tick.
    void TellModalClosed();

    std::vector<CScriptLine> m_lines;
    std::size_t m_nNext = 0;
    int m_nCurrentLine = 0;
    std::FILE* m_pOut;

    std::string m_strIni;
    CScriptHost m_host;
    CVirtualPort m_port;
    CProfile m_profile = CProfile::InMemory();
    std::unique_ptr<CProgram> m_pProgram;
    bool m_bExited = false;

    std::vector<CDialogModel*> m_dialogs;  // innermost last
    CObservationPrinter m_observer{[this](const std::string& text) { Emit(text); }};
    bool m_bObserveFromStart = false;
    // The alarms, once "events on" was given; their events print while on.
    std::unique_ptr<CAlarmMonitor> m_pAlarms;
    bool m_bPrintEvents = false;
    void StartAlarms();
    std::string m_strCapturePath;
    CTrafficCapture m_capture;
    std::optional<std::string> m_strLastPage;
    bool m_bModalClosed = false;
    bool m_bStatusOn = false;
    std::string m_strLastStatus;
};

}  // namespace velmor::replay
