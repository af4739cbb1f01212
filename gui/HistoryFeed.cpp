#include "HistoryFeed.h"

#include "app/Program.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "settings/SerialProfile.h"

namespace velmor {

CHistoryFeed::CHistoryFeed(CProgram& program, const std::string& path, QObject* pParent)
    : QObject(pParent), m_program(program), m_nPort(program.Session().Serial().m_nPort)
{
    CHistoryOptions options;
    options.m_strPath = path;
    m_strDevice = CurrentDevice();
    m_pStore = std::make_unique<CHistoryStore>(options);
    // The recorder's clock notes each row's host time for the tap, which
    // hears after the recorder whether the row was a time report's.
    m_pRecorder = std::make_unique<CHistoryRecorder>(*m_pStore, m_strDevice, [this] { return m_rowTap.RowClock(); });
    m_program.Session().AddObserver(*m_pRecorder);
    m_program.Session().AddObserver(m_rowTap);
}

CHistoryFeed::~CHistoryFeed()
{
    m_program.Session().RemoveObserver(m_rowTap);
    m_program.Session().RemoveObserver(*m_pRecorder);
    m_pRecorder->Stop();  // the last row, and the clean stop, before the store closes
    m_pStore->Close();
}

std::string CHistoryFeed::CurrentDevice() const { return m_program.Session().PortPath(); }

void CHistoryFeed::OnTick()
{
    // The serial-port dialog changes the port number; the device text is
    // looked up only then (it reads the settings file).
    if (m_program.Session().Serial().m_nPort != m_nPort) {
        m_nPort = m_program.Session().Serial().m_nPort;
        std::string device = CurrentDevice();
        if (device != m_strDevice) {
            m_strDevice = device;
            m_pRecorder->SetDevice(device);
        }
    }
    m_pRecorder->OnTick(m_program.Session().Events().TickCount());
    std::string text;
    if (m_pStore->TakeStatusNotice(text) && !text.empty()) emit Notice(QString::fromStdString(text));
}

void CHistoryFeed::Flush(int timeoutMs) { m_pStore->Flush(timeoutMs); }

const std::string& CHistoryFeed::Path() const { return m_pStore->Path(); }

}  // namespace velmor
