#pragma once
// The self-closing notice as a small modeless window: caption, one wrapped
// text and a "Cancel" button that only hides it. Its close timer belongs to
// the window, so a hidden notice still times out and frees the next one.

#include <QDialog>
#include <QTimer>

namespace velmor {

class CMessageWindow;

class CNoticeWindow : public QDialog {
    Q_OBJECT
public:
    CNoticeWindow(CMessageWindow& window, QWidget* pParent);

    // Shows the notice centred over its parent and starts the close timer.
    void Start();
    QString Text() const;
    bool IsTimerActive() const { return m_timer.isActive(); }

private:
    CMessageWindow& m_window;
    QTimer m_timer;
    QString m_strText;
};

}  // namespace velmor
