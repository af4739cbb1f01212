#include "WorkerPool.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace velmor {

QThreadPool& HistoryWorkerPool()
{
    // Two threads: a deviation and a shading read may run side by side.
    static QThreadPool* const pPool = [] {
        auto* pNew = new QThreadPool(QCoreApplication::instance());
        pNew->setMaxThreadCount(2);
        return pNew;
    }();
    return *pPool;
}

}  // namespace velmor
