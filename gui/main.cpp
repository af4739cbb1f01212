// Velmor's desktop program: the Qt shell around the core. Start-up order:
// the serial settings, the main window with its saved placement, then the
// port (offering the serial-port dialog when it cannot be opened).

#include <QApplication>

#include "MainFrame.h"
#include "QtHost.h"
#include "app/Program.h"
#include "platform/PosixSerialDevice.h"
#include "settings/Profile.h"

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
    velmor::CPosixSerialDevice device;
    velmor::CProgram program(host, device, profile);

    program.LoadSettingsAtStartup();
    velmor::CMainFrame frame(program, host, profile);
    frame.RestorePlacement();
    frame.show();
    program.OpenPortAtStartup();
    return app.exec();
}
