#pragma once
// CPicEdit: a line edit that only draws. Its text, selection and caret live
// in a CPictureMask; every key, character, mouse action, clipboard command
// and undo goes through that model and the widget shows the result, so the
// value always keeps the exact layout of its mask.

#include <QLineEdit>
#include <functional>
#include <memory>

#include "widgets/PictureMask.h"

namespace velmor {

class CPicEdit : public QLineEdit, private IPictureMaskHost {
    Q_OBJECT
public:
    explicit CPicEdit(QWidget* pParent = nullptr);
    ~CPicEdit() override;

    // Takes over |mask| (shared with the dialog model) and shows it.
    void Attach(std::shared_ptr<CPictureMask> mask);
    CPictureMask* Mask() const { return m_pMask.get(); }
    // The sound for refused characters; the desktop's beep when unset.
    void SetBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    // Shows the model's text, selection and caret.
    void ShowModel();

    // The clipboard and undo commands of the context menu.
    void CopyCommand() { Act([this] { m_pMask->Copy(); }); }
    void CutCommand() { Act([this] { m_pMask->Cut(); }); }
    void PasteCommand() { Act([this] { m_pMask->Paste(); }); }
    void ClearCommand() { Act([this] { m_pMask->Clear(); }); }
    void UndoCommand() { Act([this] { m_pMask->Undo(); }); }
    void SelectAllCommand();

signals:
    // The user changed the text (typing, deleting, cut, paste, undo).
    void EditedByUser();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void inputMethodEvent(QInputMethodEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    // IPictureMaskHost
    void Beep() override;
    void SetClipboardText(const std::string& text) override;
    bool GetClipboardText(std::string& text) override;
    void TextChanged() override;

    // Runs a model action, shows the outcome and reports a changed text.
    void Act(const std::function<void()>& action);
    // The control moved its own selection (Shift+arrows, dragging): tell the model.
    void PullSelection();

    std::shared_ptr<CPictureMask> m_pMask;
    std::function<void()> m_beep;
    bool m_bShowing = false;
};

}  // namespace velmor
