#include "QtHost.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>

#include "FontConvert.h"
#include "ModelDialog.h"
#include "NoticeWindow.h"
#include "TrevikView.h"
#include "config/DialogModel.h"
#include "display/MessageWindow.h"

namespace velmor {

namespace {

QMessageBox::Icon BoxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Info: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    }
    return QMessageBox::Ok;
}

Answer BoxAnswer(int button, Buttons buttons)
{
    switch (button) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: break;
    }
    // Closed some other way: the box's "no" answer.
    switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return Answer::Cancel;
    case Buttons::YesNo: return Answer::No;
    }
    return Answer::Ok;
}

// Texts come with CR LF line ends; a label wants LF alone.
QString BoxText(const std::string& text)
{
    QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

}  // namespace

CQtHost::CQtHost() { m_clock.start(); }

void CQtHost::SetView(CTrevikView* pView) { m_pView = pView; }
void CQtHost::SetMainWindow(QWidget* pMainWindow) { m_pMainWindow = pMainWindow; }
CTrevikView* CQtHost::View() const { return m_pView; }

CQtHost::~CQtHost()
{
    if (m_pNotice) delete m_pNotice.data();
}

QWidget* CQtHost::OwnerWidget(Owner owner) const
{
    switch (owner) {
    case Owner::None:
        return nullptr;
    case Owner::Dialog:
        for (auto it = m_dialogs.rbegin(); it != m_dialogs.rend(); ++it)
            if (*it) return it->data();
        [[fallthrough]];
    case Owner::View:
        if (m_pView) return m_pView;
        [[fallthrough]];
    case Owner::MainWindow:
        return m_pMainWindow;
    }
    return nullptr;
}

Answer CQtHost::MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                           Buttons buttons)
{
    QMessageBox box(BoxIcon(icon), QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                    BoxText(text), BoxButtons(buttons), OwnerWidget(owner));
    box.setTextFormat(Qt::PlainText);
    // A box without owner leaves the main window usable, as an unowned
    // box does on the desktop the program comes from.
    if (owner == Owner::None) box.setWindowModality(Qt::NonModal);
    return BoxAnswer(box.exec(), buttons);
}

void CQtHost::PlaySound(Sound sound)
{
    static const QString player = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
    if (!player.isEmpty()) {
        const QString id = sound == Sound::Hand ? QStringLiteral("dialog-error") : QStringLiteral("dialog-warning");
        if (QProcess::startDetached(player, {QStringLiteral("-i"), id})) return;
    }
    QApplication::beep();
}

bool CQtHost::ShowNotice(CMessageWindow& window)
{
    // A notice still on its way out (deleted later) makes room at once.
    if (m_pNotice) {
        m_pNotice->hide();
        m_pNotice->deleteLater();
    }
    QWidget* pParent = OwnerWidget(Owner::View);
    m_pNotice = new CNoticeWindow(window, pParent);
    m_pNotice->Start();
    return true;
}

void CQtHost::CloseNotice()
{
    if (!m_pNotice) return;
    CNoticeWindow* pNotice = m_pNotice;
    m_pNotice = nullptr;
    pNotice->hide();
    // Called from the notice's own timer: it goes once that call returns.
    pNotice->deleteLater();
}

CNoticeWindow* CQtHost::Notice() const { return m_pNotice; }

std::uint64_t CQtHost::TickCount() { return static_cast<std::uint64_t>(m_clock.elapsed()); }

bool CQtHost::StartPollTimer(int periodMs) { return m_pView && m_pView->StartPollTimer(periodMs); }

void CQtHost::StopPollTimer()
{
    if (m_pView) m_pView->StopPollTimer();
}

void CQtHost::InvalidateView(bool erase)
{
    if (m_pView) m_pView->Invalidate(erase);
}

void CQtHost::RedrawViewNow()
{
    if (m_pView) m_pView->RedrawNow();
}

bool CQtHost::RunDialog(CDialogModel& model)
{
    QWidget* pParent = m_dialogs.empty() || !m_dialogs.back() ? OwnerWidget(Owner::MainWindow) : m_dialogs.back().data();
    if (!pParent) pParent = OwnerWidget(Owner::View);
    CModelDialog dialog(model, [this] { PlaySound(Sound::Exclamation); }, pParent);
    m_dialogs.emplace_back(&dialog);
    model.m_pView = &dialog;
    model.Init();
    if (!model.IsEnded()) dialog.exec();
    // Whatever ended the loop without the model ending it counts as the close box.
    if (!model.IsEnded()) model.CloseBox();
    model.m_pView = nullptr;
    m_dialogs.pop_back();
    model.Destroy();
    return model.ResultOk();
}

bool CQtHost::ChooseFont(CLogFont& font) { return RunFontChooser(font, OwnerWidget(Owner::View)); }

bool CQtHost::IsModalWindowOpen() { return QApplication::activeModalWidget() != nullptr; }

}  // namespace velmor
