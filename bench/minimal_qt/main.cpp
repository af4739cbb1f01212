// The smallest Qt Widgets program: a main window showing one label. It is
// the yardstick for Velmor's start-up time, memory and idle CPU. With
// VELMOR_EXIT_AFTER_FIRST_PAGE=1 it quits once the label was first painted,
// as the desktop program does after its first drawn page.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <cstdlib>
#include <cstring>

namespace {

// Quits the application after the watched widget's first paint was handled.
class CFirstPaintQuitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        // The filter sees the paint before the widget does: quit from the
        // event loop, once the paint itself has run.
        if (pEvent->type() == QEvent::Paint && !m_bQuitting) {
            m_bQuitting = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    bool m_bQuitting = false;
};

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto* pLabel = new QLabel(QStringLiteral("Minimal Qt program"), &window);
    window.setCentralWidget(pLabel);
    window.resize(640, 480);
    CFirstPaintQuitter quitter;
    const char* exitAfterFirstPage = std::getenv("VELMOR_EXIT_AFTER_FIRST_PAGE");
    if (exitAfterFirstPage != nullptr && std::strcmp(exitAfterFirstPage, "1") == 0) pLabel->installEventFilter(&quitter);
    window.show();
    return app.exec();
}
