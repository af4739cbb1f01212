#pragma once
// The program's window onto the desktop. core/ never talks to a windowing
// system directly: the Qt front end, the replay tool and the tests each
// implement this interface.

#include <cstdint>
#include <string>

namespace velmor {

class CDialogModel;
class CMessageWindow;
struct CLogFont;

enum class Icon { Error, Warning, Question, Info };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No };
// The two system sounds the program plays (MB_ICONHAND, MB_ICONEXCLAMATION).
enum class Sound { Hand, Exclamation };
// Who owns a box. Boxes without owner do not disable the main window.
enum class Owner { None, View, MainWindow, Dialog };

// The icon's name in transcripts ("error", "warning", "question", "info").
inline const char* IconName(Icon icon)
{
    switch (icon) {
    case Icon::Error: return "error";
    case Icon::Warning: return "warning";
    case Icon::Question: return "question";
    case Icon::Info: return "info";
    }
    return "error";
}

// What a session (one connected unit) asks of its front end: boxes, sounds,
// the notice window, the clock, the poll timer, redraws and dialogs. The
// desktop shows them, the monitor logs them, the replay tool prints them.
class ISessionEvents {
public:
    virtual ~ISessionEvents() = default;

    // A modal message box; its answer comes back at once, as the specified
    // flows need it. The poll timer keeps running while it is open, so
    // core may be re-entered from inside this call.
    virtual Answer MessageBox(Owner owner, const std::string& text, const std::string& caption,
                              Icon icon, Buttons buttons = Buttons::Ok) = 0;
    virtual void PlaySound(Sound sound) = 0;

    // Shows the self-closing notice window with the texts of |window|. When
    // window.m_nSeconds have passed the host calls window.OnTimer().
    // Returns false when the window could not be created.
    virtual bool ShowNotice(CMessageWindow& window) = 0;
    // Destroys the notice window (called from CMessageWindow::OnTimer).
    virtual void CloseNotice() = 0;

    // Monotonic milliseconds; 64 bits so the periods never wrap.
    virtual std::uint64_t TickCount() = 0;
    // The view's poll timer (id 1). Returns false when it could not start.
    virtual bool StartPollTimer(int periodMs) = 0;
    virtual void StopPollTimer() = 0;

    // Invalidate the view; |erase| clears the background first.
    virtual void InvalidateView(bool erase) = 0;
    // Invalidate with erase and paint at once.
    virtual void RedrawViewNow() = 0;

    // Runs a modal dialog: dialog.Init() (its set-up, which may send
    // commands), then user actions until the model is ended, then
    // dialog.Destroy(). Returns true when it closed with OK. Poll ticks
    // continue while it is open, so the dispatcher may write into it.
    virtual bool RunDialog(CDialogModel& dialog) = 0;

    // A modal dialog or box of the program is open now (its nested event
    // loop may be what runs the caller). Hosts whose boxes and dialogs
    // never run an event loop of their own may keep the default.
    virtual bool IsModalWindowOpen() { return false; }
};

// The desktop's front end: a session's events plus what only the desktop
// program asks for.
class Host : public ISessionEvents {
public:
    // The fixed-pitch font chooser; true when the user confirmed.
    virtual bool ChooseFont(CLogFont& font) = 0;
};

}  // namespace velmor
