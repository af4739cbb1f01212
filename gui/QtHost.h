#pragma once
// Host on Qt: message boxes, sounds, the notice window, the tick count, the
// poll timer and repaint requests of the view, the generic dialog renderer
// and the font chooser. It knows the view and the main window only as the
// parents of what it shows; core decides everything else.

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "platform/Host.h"

namespace velmor {

class CTrevikView;
class CNoticeWindow;

class CQtHost : public Host {
public:
    CQtHost();
    ~CQtHost() override;
    CQtHost(const CQtHost&) = delete;
    CQtHost& operator=(const CQtHost&) = delete;

    // The windows are set once they exist and cleared before they go, so
    // that a box shown while the program shuts down never gets a dying parent.
    void SetView(CTrevikView* pView);
    void SetMainWindow(QWidget* pMainWindow);
    CTrevikView* View() const;

    Answer MessageBox(Owner owner, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons = Buttons::Ok) override;
    void PlaySound(Sound sound) override;
    bool ShowNotice(CMessageWindow& window) override;
    void CloseNotice() override;
    std::uint64_t TickCount() override;
    bool StartPollTimer(int periodMs) override;
    void StopPollTimer() override;
    void InvalidateView(bool erase) override;
    void RedrawViewNow() override;
    bool RunDialog(CDialogModel& dialog) override;
    bool ChooseFont(CLogFont& font) override;
    // Any application-modal or window-modal window of the program's.
    bool IsModalWindowOpen() override;

    // The window a box of |owner| belongs to; null for none.
    QWidget* OwnerWidget(Owner owner) const;
    // The notice window while it exists (tests look at it).
    CNoticeWindow* Notice() const;

private:
    QElapsedTimer m_clock;
    QPointer<CTrevikView> m_pView;
    QPointer<QWidget> m_pMainWindow;
    QPointer<CNoticeWindow> m_pNotice;
    // Setup dialogs open at the moment, innermost last: boxes they own go
    // on top of them.
    std::vector<QPointer<QWidget>> m_dialogs;
};

}  // namespace velmor
