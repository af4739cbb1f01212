// Velmor's desktop program: the Qt shell around the core. Start-up order:
// the serial settings, the history recording, the main window with its
// saved placement, then the port (offering the serial-port dialog when it
// cannot be opened).
//
//   velmor [--capture FILE] [--history-db PATH] [--no-history] [--counter DEVICE] [Qt options]
//   velmor --help | --version

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "CounterFeed.h"
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

// Qt's messages while the application object is made: held back, so that a
// platform plug-in that cannot start ends in one line of ours (and status 1)
// instead of its own lines and an abort; passed on once it has started.
struct CHeldMessage {
    QtMsgType m_type;
    QByteArray m_category;
    QString m_text;
};
std::vector<CHeldMessage>* g_pHeldMessages = nullptr;

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs("velmor: cannot open a display: Qt could not start its platform plug-in"
                   " (QT_QPA_PLATFORM=offscreen runs without one)\n",
                   stderr);
        std::_Exit(1);
    }
    if (g_pHeldMessages) g_pHeldMessages->push_back({type, QByteArray(context.category), text});
}

}  // namespace

int main(int argc, char* argv[])
{
    // --help and --version need no display; neither does a wrong option of
    // ours. Qt's own options are still in argv here and are passed over.
    const std::vector<std::string> args(argv + 1, argv + argc);
    velmor::CDesktopOptions options;
    std::string error;
    const auto refuse = [&] {
        const std::string usage(velmor::kDesktopUsage);
        std::fprintf(stderr, "velmor: %s\n%s\n", error.c_str(), usage.substr(0, usage.find('\n')).c_str());
        return 2;
    };
    switch (velmor::ParseDesktopOptions(args, true, options, error)) {
    case velmor::DesktopVerdict::Help: std::fputs(velmor::kDesktopUsage, stdout); return 0;
    case velmor::DesktopVerdict::Version: std::printf("velmor %s\n", VELMOR_VERSION); return 0;
    case velmor::DesktopVerdict::Error: return refuse();
    case velmor::DesktopVerdict::Run: break;
    }
    const std::string noDisplay = velmor::DisplayProblem(velmor::CDisplayEnvironment::FromProcess(args));
    if (!noDisplay.empty()) {
        std::fprintf(stderr, "velmor: %s\n", noDisplay.c_str());
        return 1;
    }

    std::vector<CHeldMessage> held;
    g_pHeldMessages = &held;
    const QtMessageHandler previous = qInstallMessageHandler(HoldStartupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    g_pHeldMessages = nullptr;
    for (const CHeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.m_category.constData());
        if (previous) previous(message.m_type, context, message.m_text);
        else qt_message_output(message.m_type, context, message.m_text);
    }
    // Qt has taken its own options out of argv by now: what is left must be ours.
    options = velmor::CDesktopOptions{};
    if (velmor::ParseDesktopOptions(std::vector<std::string>(argv + 1, argv + argc), false, options, error) !=
        velmor::DesktopVerdict::Run)
        return refuse();
    const QString capturePath = QString::fromLocal8Bit(options.m_strCapturePath.c_str());
    // The history database: the default one, another (--history-db PATH),
    // or none recorded (--no-history; the History window still reads it).
    std::string historyPath = options.m_strHistoryPath;
    const bool recordHistory = options.m_bRecordHistory;
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
    // The reference counter beside the unit, as Com Setup > Reference
    // Counter... left it, or on the device --counter names for this session.
    velmor::CCounterSettings counterSettings = velmor::LoadCounterSettings(profile);
    if (!options.m_strCounterDevice.empty()) {
        counterSettings.m_bEnabled = true;
        counterSettings.m_strDevice = options.m_strCounterDevice;
    }
    velmor::CCounterFeed counter(program, history.get());
    velmor::CMainFrame frame(program, host, profile);
    frame.SetHistory(history.get(), historyPath);
    frame.SetCounter(&counter);
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
    counter.Apply(counterSettings);
    frame.ShowOpenFailure();
    return app.exec();
}
