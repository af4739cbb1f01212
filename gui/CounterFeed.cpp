#include "CounterFeed.h"

#include "HistoryFeed.h"
#include "app/Program.h"

namespace velmor {

CCounterFeed::CCounterFeed(CProgram& program, CHistoryFeed* pHistory, QObject* pParent)
    : QObject(pParent), m_program(program), m_pHistory(pHistory)
{
}

CCounterFeed::~CCounterFeed() { Stop(); }

void CCounterFeed::Apply(const CCounterSettings& settings)
{
    const bool restart = !(settings == m_settings) || !m_pSession;
    m_settings = settings;
    if (!restart) return;
    Stop();
    if (m_settings.m_bEnabled && CheckCounterSettings(m_settings).empty()) Start();
}

void CCounterFeed::Start()
{
    CCounterOptions options;
    options.m_strDevice = m_settings.m_strDevice;
    options.m_format = m_settings.m_format;
    m_pDevice = std::make_unique<CDeviceByPath>();
    // The unit's clock: a sample and the unit's time report compare ticks.
    m_pSession = std::make_unique<CCounterSession>(m_program.Session().Events(), *m_pDevice, options);
    m_pSession->AddObserver(*this);
    m_nSamples = 0;
    m_nRecorded = 0;
    m_bWasOpen = false;
    if (m_pHistory) {
        // Its own writer on the history's file; the readings' retention holds.
        m_pStore = std::make_unique<CCounterStore>(m_pHistory->Path());
        StartRecorder();
        m_pHistory->RowTap().SetListener([this](std::uint64_t tick, std::int64_t rowHostMs) {
            if (m_pRecorder) m_pRecorder->OnUnitRow(tick, rowHostMs);
        });
    }
    m_pSession->Open();
}

void CCounterFeed::StartRecorder()
{
    m_strUnitDevice = m_pHistory->Device();
    m_pRecorder = std::make_unique<CCounterRecorder>(*m_pStore, m_strUnitDevice, m_settings.m_strDevice);
}

void CCounterFeed::Stop()
{
    if (m_pHistory) m_pHistory->RowTap().SetListener({});
    // The recorder writes what still waits; the store then writes its queue.
    m_pRecorder.reset();
    m_pStore.reset();
    if (m_pSession) m_pSession->Close();
    m_pSession.reset();
    m_pDevice.reset();
}

void CCounterFeed::OnTick()
{
    if (!m_pSession) return;
    m_pSession->Tick();
    if (m_pRecorder) {
        // Another port for the unit: its rows from now on are another unit's.
        if (m_pHistory->Device() != m_strUnitDevice) {
            m_pRecorder.reset();
            StartRecorder();
        }
        m_pRecorder->OnTick(m_pSession->Now());
    }
    QString notice;
    if (m_pSession->IsOpen() != m_bWasOpen) {
        m_bWasOpen = m_pSession->IsOpen();
        notice = m_bWasOpen ? QStringLiteral("Reference counter %1 open").arg(QString::fromStdString(m_settings.m_strDevice))
                            : QStringLiteral("Reference counter %1 closed; reopening").arg(QString::fromStdString(m_settings.m_strDevice));
    }
    const std::string error = StoreError();
    if (error != m_strLastStoreError) {
        m_strLastStoreError = error;
        if (!error.empty()) notice = QStringLiteral("Reference counter not recorded: ") + QString::fromStdString(error);
    }
    if (!notice.isEmpty()) emit Notice(notice);
}

void CCounterFeed::Flush(int timeoutMs)
{
    // Samples still inside their join window stay: written now they would
    // miss the unit row about to arrive.
    if (m_pStore) m_pStore->Flush(timeoutMs);
}

std::string CCounterFeed::StoreError() const { return m_pStore ? m_pStore->LastError() : std::string(); }

void CCounterFeed::OnCounterSample(const CCounterSession& session, const CCounterSample& sample)
{
    if (sample.m_strChannel == session.Tracker().Primary()) ++m_nSamples;
    if (!m_pRecorder || !m_settings.Records(sample.m_strChannel)) return;
    m_pRecorder->OnCounterSample(session, sample);
    ++m_nRecorded;
}

}  // namespace velmor
