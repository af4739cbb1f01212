#pragma once
// The desktop program's reference counter: its device and session beside
// the unit, ticked from the poll tick on the unit's clock, and (while the
// history is recorded) its recorder, which joins each sample to the unit
// row whose time report arrived nearest and writes it to the same database.
// Apply() starts, stops or restarts it for new settings.

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "counter/CounterHistory.h"
#include "counter/CounterSession.h"
#include "counter/CounterSettings.h"
#include "platform/DeviceByPath.h"

namespace velmor {

class CProgram;
class CHistoryFeed;

class CCounterFeed : public QObject, private ICounterObserver {
    Q_OBJECT
public:
    // |pHistory| (may be null: nothing is recorded) must outlive the feed.
    CCounterFeed(CProgram& program, CHistoryFeed* pHistory, QObject* pParent = nullptr);
    ~CCounterFeed() override;

    // Runs the counter as |settings| say (off stops it); a running counter
    // whose settings changed starts afresh.
    void Apply(const CCounterSettings& settings);
    const CCounterSettings& Settings() const { return m_settings; }
    // The poll tick, after the unit's and the history's.
    void OnTick();
    // Waits until the samples already joined are written (the History
    // window reads the database).
    void Flush(int timeoutMs);

    // Null while off.
    const CCounterSession* Session() const { return m_pSession.get(); }
    // Samples of the series the phase is reported from, since it started.
    std::uint64_t Samples() const { return m_nSamples; }
    // Samples handed to the store, every recorded series.
    std::uint64_t Recorded() const { return m_nRecorded; }
    // Why the store last failed; empty while all is well.
    std::string StoreError() const;

signals:
    // A sentence for the status bar, once per change.
    void Notice(const QString& text);

private:
    void OnCounterSample(const CCounterSession& session, const CCounterSample& sample) override;
    void Start();
    void Stop();
    void StartRecorder();

    CProgram& m_program;
    CHistoryFeed* m_pHistory;
    CCounterSettings m_settings;
    std::unique_ptr<CDeviceByPath> m_pDevice;
    std::unique_ptr<CCounterSession> m_pSession;
    std::unique_ptr<CCounterStore> m_pStore;
    std::unique_ptr<CCounterRecorder> m_pRecorder;
    std::string m_strUnitDevice;
    std::uint64_t m_nSamples = 0;
    std::uint64_t m_nRecorded = 0;
    bool m_bWasOpen = false;
    std::string m_strLastStoreError;
};

}  // namespace velmor
