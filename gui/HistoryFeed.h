#pragma once
// The desktop program's history recording: the store with its worker
// thread, the recorder registered with the program, fed from the poll tick,
// told when the operator picks another port. A store that fails (disk full,
// damaged or locked file) only says so, once per change, through the
// notice callback; the program goes on without it.

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "counter/CounterRowTap.h"

namespace velmor {

class CProgram;
class CHistoryStore;
class CHistoryRecorder;

class CHistoryFeed : public QObject {
    Q_OBJECT
public:
    // |path| empty: the default database. Registers with |program| at once.
    CHistoryFeed(CProgram& program, const std::string& path, QObject* pParent = nullptr);
    // Unregisters, commits what is queued and closes the database.
    ~CHistoryFeed() override;

    // The poll tick, after the program's: closes rows on time, follows the
    // port and passes on the store's status changes.
    void OnTick();
    // Commits what is queued (the History window reads the database).
    void Flush(int timeoutMs);
    const std::string& Path() const;
    const std::string& Device() const { return m_strDevice; }
    CHistoryStore& Store() { return *m_pStore; }
    // Hears of each row written for a time report (a counter's samples join them).
    CCounterRowTap& RowTap() { return m_rowTap; }

signals:
    // A sentence about the recording for the status bar, once per change.
    void Notice(const QString& text);

private:
    std::string CurrentDevice() const;

    CProgram& m_program;
    std::string m_strDevice;
    CCounterRowTap m_rowTap;
    std::unique_ptr<CHistoryStore> m_pStore;
    std::unique_ptr<CHistoryRecorder> m_pRecorder;
    int m_nPort = 0;
};

}  // namespace velmor
