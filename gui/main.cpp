// Velmor's desktop program: the Qt shell around the core. Start-up order:
// the serial settings, the history recording, the main window with its
// saved placement, then the port (offering the serial-port dialog when it
// cannot be opened).
//
//   velmor [--capture FILE] [--history-db PATH] [--no-history]

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "HistoryFeed.h"
#include "MainFrame.h"
#include "QtHost.h"
#include "TrevikView.h"
#include "app/Program.h"
#include "history/HistoryStore.h"
#include "platform/DeviceByPath.h"
#include "settings/Profile.h"

namespace {

// A measurement aid (VELMOR_EXIT_AFTER_FIRST_PAGE=1): quits as soon as the
// view has drawn its first page, so that start-up can be timed from outside.
class CFirstPageQuitter : public QObject {
public:
    explicit CFirstPageQuitter(velmor::CTrevikView& view) : m_view(view) {}

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        // The filter sees the paint before the view handles it; look at the
        // page count once the paint has run.
        if (pEvent->type() == QEvent::Paint) {
            QTimer::singleShot(0, this, [this] {
                if (m_view.PagesDrawn() > 0) QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    velmor::CTrevikView& m_view;
};

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv by now.
    QString capturePath;
    // The history database: the default one, another (--history-db PATH),
    // or none recorded (--no-history; the History window still reads it).
    std::string historyPath;
    bool recordHistory = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--capture") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            capturePath = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--history-db") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            historyPath = argv[++i];
        } else if (std::strcmp(argv[i], "--no-history") == 0) {
            recordHistory = false;
        } else {
            std::fprintf(stderr,
                         "velmor: unknown option %s\nusage: velmor [--capture FILE] [--history-db PATH] [--no-history]\n",
                         argv[i]);
            return 2;
        }
    }
    // Every dialog and message box: light grey with black text.
    app.setStyleSheet(QStringLiteral(
        "QDialog, QMessageBox { background-color: rgb(192, 192, 192); color: black; }"
        "QDialog QLabel, QDialog QCheckBox, QDialog QRadioButton, QDialog QGroupBox,"
        "QMessageBox QLabel { color: black; }"));

    velmor::CProfile profile = velmor::CProfile::OnFile(velmor::DefaultProfilePath());
    velmor::CQtHost host;
    velmor::CDeviceByPath device;
    velmor::CProgram program(host, device, profile);

    if (historyPath.empty()) historyPath = velmor::DefaultHistoryPath();

    program.LoadSettingsAtStartup();
    // After the program (it unregisters from it) and before the window (the
    // view's farewell command is still recorded).
    std::unique_ptr<velmor::CHistoryFeed> history;
    if (recordHistory) history = std::make_unique<velmor::CHistoryFeed>(program, historyPath);
    velmor::CMainFrame frame(program, host, profile);
    frame.SetHistory(history.get(), historyPath);
    frame.RestorePlacement();
    if (!capturePath.isEmpty()) {
        // Before the port opens, so the capture holds the session's first byte.
        QString error;
        if (!frame.StartCapture(capturePath, error))
            std::fprintf(stderr, "velmor: %s; running without capture\n", error.toLocal8Bit().constData());
    }
    const char* exitAfterFirstPage = std::getenv("VELMOR_EXIT_AFTER_FIRST_PAGE");
    CFirstPageQuitter quitter(*frame.View());
    if (exitAfterFirstPage != nullptr && std::strcmp(exitAfterFirstPage, "1") == 0) frame.View()->installEventFilter(&quitter);
    frame.show();
    program.OpenPortAtStartup();
    frame.ShowOpenFailure();
    return app.exec();
}
