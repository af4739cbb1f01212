// Velmor's desktop program: the Qt shell around the core. Start-up order:
// the serial settings, the main window with its saved placement, then the
// port (offering the serial-port dialog when it cannot be opened).

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "MainFrame.h"
#include "QtHost.h"
#include "TrevikView.h"
#include "app/Program.h"
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
    // Every dialog and message box: light grey with black text.
    app.setStyleSheet(QStringLiteral(
        "QDialog, QMessageBox { background-color: rgb(192, 192, 192); color: black; }"
        "QDialog QLabel, QDialog QCheckBox, QDialog QRadioButton, QDialog QGroupBox,"
        "QMessageBox QLabel { color: black; }"));

    velmor::CProfile profile = velmor::CProfile::OnFile(velmor::DefaultProfilePath());
    velmor::CQtHost host;
    velmor::CDeviceByPath device;
    velmor::CProgram program(host, device, profile);

    program.LoadSettingsAtStartup();
    velmor::CMainFrame frame(program, host, profile);
    frame.RestorePlacement();
    const char* exitAfterFirstPage = std::getenv("VELMOR_EXIT_AFTER_FIRST_PAGE");
    CFirstPageQuitter quitter(*frame.View());
    if (exitAfterFirstPage != nullptr && std::strcmp(exitAfterFirstPage, "1") == 0) frame.View()->installEventFilter(&quitter);
    frame.show();
    program.OpenPortAtStartup();
    return app.exec();
}
