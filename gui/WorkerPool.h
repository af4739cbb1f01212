#pragma once
// The threads the History window's slow reads run on (shading periods,
// deviations). Not Qt's global pool: the raster paint engine splits large
// fills across that pool and waits for them, so a long read there would
// hold up painting, and the window would freeze until the read ends.

class QThreadPool;

namespace velmor {

// Owned by the application object; made on first use.
QThreadPool& HistoryWorkerPool();

}  // namespace velmor
