#include "Session.h"

#include "DialogActions.h"
#include "StatePrinter.h"
#include "app/Menu.h"
#include "text/Text.h"

namespace velmor::replay {

namespace {

bool ImpliesStart(Directive directive)
{
    return directive != Directive::Ini && directive != Directive::OpenFail && directive != Directive::Start &&
           directive != Directive::Observe && directive != Directive::Events && directive != Directive::Status;
}

bool IsDialogAction(Directive directive)
{
    switch (directive) {
    case Directive::DlgSet: case Directive::DlgClick: case Directive::DlgKey:
    case Directive::DlgClose: case Directive::DlgShow:
        return true;
    default:
        return false;
    }
}

Answer ParseAnswer(const std::string& word)
{
    if (word == "CANCEL") return Answer::Cancel;
    if (word == "YES") return Answer::Yes;
    if (word == "NO") return Answer::No;
    return Answer::Ok;
}

}  // namespace

CReplaySession::CReplaySession(std::vector<CScriptLine> lines, std::FILE* out, bool withObserver,
                               std::string capturePath)
    : m_lines(std::move(lines)), m_pOut(out),
      m_host([this](const std::string& line) { Emit(line); }, *this),
      m_port([this](const std::string& line) { Emit(line); })
{
    m_bObserveFromStart = withObserver;
    m_strCapturePath = std::move(capturePath);
}

CReplaySession::~CReplaySession()
{
    if (!m_pProgram) return;
    m_pProgram->Session().RemoveObserver(m_capture);
    if (m_pAlarms) m_pProgram->Session().RemoveObserver(*m_pAlarms);
}

void CReplaySession::Emit(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), m_pOut);
    std::fputc('\n', m_pOut);
}

void CReplaySession::Run()
{
    if (!m_strCapturePath.empty()) {
        std::string error;
        // The clock stands still until start-up, so the capture's time
        // counts from the program's loading.
        if (!m_capture.Start(m_strCapturePath, m_host.TickCount(), 0, error)) throw CScriptError(0, error);
    }
    while (ExecuteNext()) {
    }
    m_capture.Stop(m_host.TickCount());
}

void CReplaySession::StartAlarms()
{
    if (m_pAlarms || !m_pProgram) return;
    m_pAlarms = std::make_unique<CAlarmMonitor>(m_pProgram->Alarms(), [this](const CAlarmEvent& event) {
        if (!m_bPrintEvents) return;
        Emit("event " + event.m_strName + (event.m_strValues.empty() ? "" : " " + event.m_strValues));
    });
    m_pProgram->Session().AddObserver(*m_pAlarms);
}

bool CReplaySession::ExecuteNext()
{
    if (m_nNext >= m_lines.size()) return false;
    const CScriptLine& line = m_lines[m_nNext++];
    m_nCurrentLine = line.m_nLine;
    if (m_bExited) throw CScriptError(line.m_nLine, "the program has already exited");
    if (ImpliesStart(line.m_directive) && !m_pProgram) Start();
    Execute(line);
    return true;
}

void CReplaySession::Start()
{
    // The program is built only now: its periods count from its loading, and
    // it reads the font keys of the settings file as it is built.
    m_profile = CProfile::InMemory(m_strIni);
    m_pProgram = std::make_unique<CProgram>(m_host, m_port, m_profile);
    // The port dialog's device list would otherwise be this machine's.
    m_pProgram->SetDeviceLister([] { return std::vector<CSerialPortInfo>{}; });
    if (m_bObserveFromStart || m_observer.m_bPrinting) m_pProgram->Session().AddObserver(m_observer);
    if (m_bPrintEvents) StartAlarms();
    if (m_capture.IsCapturing()) m_pProgram->Session().AddObserver(m_capture);
    m_pProgram->LoadSettingsAtStartup();
    // (The main window and the view would be created here.)
    m_pProgram->OpenPortAtStartup();
    DeliverPaint();
    ReportStatus();
}

// The pane's text is printed when its state changes; a late or stale pane
// counts its seconds, which alone is no change.
void CReplaySession::ReportStatus()
{
    if (!m_bStatusOn || !m_pProgram) return;
    const CLinkPane pane = m_pProgram->Session().LinkPane();
    std::string key = LinkStateName(pane.m_state);
    if (pane.m_state != LinkState::Late && pane.m_state != LinkState::Stale) key += " " + pane.m_strText;
    if (key == m_strLastStatus) return;
    m_strLastStatus = key;
    Emit("status " + Quoted(pane.m_strText));
}

void CReplaySession::Execute(const CScriptLine& line)
{
    if (IsDialogAction(line.m_directive)) {
        if (m_dialogs.empty()) throw CScriptError(line.m_nLine, "no dialog is open");
        RunDialogAction(*m_dialogs.back(), line, [this](const std::string& text) { Emit(text); });
        return;
    }
    switch (line.m_directive) {
    case Directive::Ini: m_strIni += line.m_strArg + "\n"; break;
    case Directive::OpenFail: m_port.QueueOpenFailure(); break;
    case Directive::Start: if (!m_pProgram) Start(); break;
    case Directive::Rx:
    case Directive::Rxs: m_port.Receive(line.m_strArg); break;
    case Directive::Wait: m_host.Advance(line.m_qwNumber); break;
    case Directive::Paint: DeliverPaint(); break;
    case Directive::Answer: m_host.QueueAnswer(ParseAnswer(line.m_strArg), line.m_nLine); break;
    case Directive::Page: PrintPage(); break;
    case Directive::State:
        if (line.m_strArg == kPortReadsName) Emit(std::string(kPortReadsName) + " = " + std::to_string(m_port.m_nReads));
        else if (auto text = FormatStateMember(m_pProgram->Session().State(), line.m_strArg)) Emit(*text);
        else throw CScriptError(line.m_nLine, "unknown state member " + Quoted(line.m_strArg));
        break;
    case Directive::Settings: PrintSettings(); break;
    case Directive::Observe:
        m_observer.m_bPrinting = line.m_strArg == "on";
        if (m_pProgram && m_observer.m_bPrinting) m_pProgram->Session().AddObserver(m_observer);
        break;
    case Directive::Events:
        m_bPrintEvents = line.m_strArg == "on";
        if (m_bPrintEvents) StartAlarms();
        break;
    case Directive::Menu: RunMenu(line); break;
    case Directive::Unplug: m_port.Unplug(); break;
    case Directive::Replug: m_port.Replug(); break;
    case Directive::Status:
        m_bStatusOn = line.m_strArg == "on";
        m_strLastStatus.clear();
        ReportStatus();
        break;
    default: break;
    }
}

void CReplaySession::RunMenu(const CScriptLine& line)
{
    if (!m_dialogs.empty())
        throw CScriptError(line.m_nLine, "the menu cannot be reached while dialog " +
                                             Quoted(m_dialogs.back()->m_strCaption) + " is open");
    const CMenuItem* item = FindMenuItem(line.m_strArg);
    if (!item) throw CScriptError(line.m_nLine, "no menu item " + Quoted(line.m_strArg));
    if (!m_pProgram->IsCommandEnabled(item->m_nCommand)) {
        Emit("menu " + Quoted(line.m_strArg) + " disabled");
        return;
    }
    if (item->m_nCommand == ID_APP_EXIT) {
        Exit();
        return;
    }
    m_pProgram->OnCommand(item->m_nCommand);
    TellModalClosed();
    if (m_host.m_bRepaintPending) DeliverPaint();
    ReportStatus();
}

void CReplaySession::Exit()
{
    // The main window closes, then the view goes, then the port.
    m_pProgram->OnMainWindowClose();
    m_pProgram->OnDestroyView();
    m_host.StopPollTimer();
    m_port.Close();
    m_bExited = true;
}

void CReplaySession::DeliverPaint()
{
    m_host.m_bRepaintPending = false;
    std::string page;
    if (m_pProgram->OnPaint(page)) m_strLastPage = std::move(page);
}

void CReplaySession::OnPollTick()
{
    if (m_bExited) return;
    m_pProgram->OnPollTimer();
    if (m_pAlarms) m_pAlarms->Tick(m_host.TickCount());
    m_capture.Tick(m_host.TickCount());
    TellModalClosed();
    if (m_host.m_bRepaintPending) DeliverPaint();
    ReportStatus();
}

bool CReplaySession::RunDialog(CDialogModel& dialog)
{
    const int openedAt = m_nCurrentLine;
    dialog.m_pView = nullptr;
    dialog.Init();
    Emit("dialog open " + Quoted(dialog.m_strCaption));
    m_dialogs.push_back(&dialog);
    // A setup dialog that stopped polling shows in the pane while it is open.
    ReportStatus();
    struct CPop {
        std::vector<CDialogModel*>& m_stack;
        ~CPop() { m_stack.pop_back(); }
    } pop{m_dialogs};
    while (!dialog.IsEnded()) {
        if (!ExecuteNext())
            throw CScriptError(openedAt, "the script ends while dialog " + Quoted(dialog.m_strCaption) +
                                             " is open");
    }
    Emit("dialog close " + Quoted(dialog.m_strCaption) + " -> " + (dialog.ResultOk() ? "OK" : "CANCEL"));
    dialog.Destroy();
    ModalClosed();
    return dialog.ResultOk();
}

// The program hears of closed dialogs and boxes as the desktop's event loop
// tells it, once the code that ran them has gone on; the repaint it may ask
// for is delivered as any other.
void CReplaySession::TellModalClosed()
{
    if (!m_bModalClosed || !m_pProgram) return;
    m_bModalClosed = false;
    m_pProgram->OnModalClosed();
}

// Each line that ends in CR LF is printed; a piece after the last CR LF only
// when it is not empty. The page's closing empty line therefore shows as a
// lone "|".
void CReplaySession::PrintPage()
{
    if (!m_strLastPage) return;
    const std::string& text = *m_strLastPage;
    std::size_t pos = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            if (pos < text.size()) Emit("|" + text.substr(pos));
            return;
        }
        Emit("|" + text.substr(pos, end - pos));
        pos = end + 2;
    }
}

void CReplaySession::PrintSettings()
{
    const std::string text = m_profile.Text();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Emit("ini " + line);
        if (lf == std::string::npos) break;
        pos = lf + 1;
    }
}

}  // namespace velmor::replay
