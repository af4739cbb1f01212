#include "PicEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <cstring>

namespace velmor {

namespace {

CPictureMask::Key MaskKey(int qtKey)
{
    using Key = CPictureMask::Key;
    switch (qtKey) {
    case Qt::Key_Backspace: return Key::Backspace;
    case Qt::Key_Delete: return Key::Delete;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Right: return Key::Right;
    case Qt::Key_Home: return Key::Home;
    case Qt::Key_End: return Key::End;
    case Qt::Key_Insert: return Key::Insert;
    case Qt::Key_Up: return Key::Up;
    case Qt::Key_Down: return Key::Down;
    default: return Key::Other;
    }
}

// Keys the dialog acts on (default button, cancel, focus moves, mnemonics)
// never reach the field.
bool IsDialogKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return (event.modifiers() & Qt::AltModifier) != 0;
    }
}

// The field holds one byte per position; characters beyond Latin-1 arrive
// as '?', as they would through an 8-bit code page.
char ToByte(QChar ch) { return ch.unicode() < 256 ? static_cast<char>(ch.unicode()) : '?'; }

}  // namespace

CPicEdit::CPicEdit(QWidget* pParent) : QLineEdit(pParent)
{
    setDragEnabled(false);
    setAcceptDrops(false);
    // Character composition goes through inputMethodEvent, into the model.
    setAttribute(Qt::WA_InputMethodEnabled, true);
}

CPicEdit::~CPicEdit()
{
    if (m_pMask) m_pMask->SetHost(nullptr);
}

void CPicEdit::Attach(std::shared_ptr<CPictureMask> mask)
{
    if (m_pMask) m_pMask->SetHost(nullptr);
    m_pMask = std::move(mask);
    if (m_pMask) m_pMask->SetHost(this);
    ShowModel();
}

void CPicEdit::ShowModel()
{
    if (!m_pMask || m_bShowing) return;
    m_bShowing = true;
    const std::string& bytes = m_pMask->Text();
    const QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (text != QLineEdit::text()) QLineEdit::setText(text);
    if (isReadOnly() != m_pMask->IsReadOnly()) setReadOnly(m_pMask->IsReadOnly());
    const int start = m_pMask->SelStart();
    const int end = m_pMask->SelEnd();
    if (start == end)
        setCursorPosition(m_pMask->Caret());
    else if (m_pMask->Caret() == start)
        setSelection(end, start - end);  // the caret at the selection's left end
    else
        setSelection(start, end - start);
    m_bShowing = false;
}

void CPicEdit::SelectAllCommand()
{
    if (!m_pMask) return;
    m_pMask->SetSelection(0, static_cast<int>(m_pMask->Text().size()));
    ShowModel();
}

void CPicEdit::Act(const std::function<void()>& action)
{
    if (!m_pMask) return;
    // Hold the model: a reaction to the edit may close the dialog.
    const std::shared_ptr<CPictureMask> pMask = m_pMask;
    const std::string before = pMask->Text();
    action();
    ShowModel();
    if (pMask->Text() != before) emit EditedByUser();
}

void CPicEdit::PullSelection()
{
    if (!m_pMask) return;
    const int caret = cursorPosition();
    if (hasSelectedText()) {
        const int start = selectionStart();
        m_pMask->SetSelection(start, start + static_cast<int>(selectedText().size()), caret);
    } else {
        m_pMask->SetSelection(caret, caret);
    }
}

void CPicEdit::keyPressEvent(QKeyEvent* pEvent)
{
    if (IsDialogKey(*pEvent)) {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
    if (!m_pMask) return;
    const bool shift = (pEvent->modifiers() & Qt::ShiftModifier) != 0;
    Act([&] {
        if (!m_pMask->OnKeyDown(MaskKey(pEvent->key()), shift)) {
            // Only Shift+Left/Right: the control extends its own selection.
            QLineEdit::keyPressEvent(pEvent);
            PullSelection();
        }
        // Delete produces no character of its own; every other key's
        // characters follow its key-down, control characters included.
        if (pEvent->key() == Qt::Key_Delete) return;
        for (QChar ch : pEvent->text()) m_pMask->OnChar(ToByte(ch));
    });
}

void CPicEdit::inputMethodEvent(QInputMethodEvent* pEvent)
{
    pEvent->accept();
    if (!m_pMask || pEvent->commitString().isEmpty()) return;
    Act([&] {
        for (QChar ch : pEvent->commitString()) {
            m_pMask->OnKeyDown(CPictureMask::Key::Other, false);
            m_pMask->OnChar(ToByte(ch));
        }
    });
}

void CPicEdit::mousePressEvent(QMouseEvent* pEvent)
{
    // The middle button pastes the X selection in a plain line edit.
    if (pEvent->button() == Qt::MiddleButton) return;
    QLineEdit::mousePressEvent(pEvent);
    if (!m_pMask) return;
    if (pEvent->button() == Qt::LeftButton && !hasSelectedText())
        m_pMask->OnClick(cursorPosition());
    else
        PullSelection();
    ShowModel();
}

void CPicEdit::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_pMask && (pEvent->buttons() & Qt::LeftButton) && m_pMask->OnMouseMove(cursorPositionAt(pEvent->pos())))
        return;
    QLineEdit::mouseMoveEvent(pEvent);
    if (m_pMask && (pEvent->buttons() & Qt::LeftButton)) PullSelection();
}

void CPicEdit::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::MiddleButton) return;
    QLineEdit::mouseReleaseEvent(pEvent);
    if (!m_pMask) return;
    if (pEvent->button() == Qt::LeftButton) {
        m_pMask->OnButtonUp();
        PullSelection();
    }
}

void CPicEdit::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::MiddleButton) return;
    QLineEdit::mouseDoubleClickEvent(pEvent);
    PullSelection();
}

void CPicEdit::focusInEvent(QFocusEvent* pEvent)
{
    QLineEdit::focusInEvent(pEvent);
    if (!m_pMask) return;
    m_pMask->OnFocus();
    ShowModel();
}

void CPicEdit::contextMenuEvent(QContextMenuEvent* pEvent)
{
    if (!m_pMask) return;
    const bool readOnly = m_pMask->IsReadOnly();
    const bool selection = m_pMask->SelStart() < m_pMask->SelEnd();
    const QMimeData* pMime = QGuiApplication::clipboard()->mimeData();
    QMenu menu(this);
    menu.addAction("&Undo", this, &CPicEdit::UndoCommand)->setEnabled(m_pMask->CanUndo());
    menu.addSeparator();
    menu.addAction("Cu&t", this, &CPicEdit::CutCommand)->setEnabled(selection && !readOnly);
    menu.addAction("&Copy", this, &CPicEdit::CopyCommand)->setEnabled(selection);
    menu.addAction("&Paste", this, &CPicEdit::PasteCommand)->setEnabled(!readOnly && pMime && pMime->hasText());
    menu.addAction("&Delete", this, &CPicEdit::ClearCommand)->setEnabled(!readOnly && selection);
    menu.addSeparator();
    menu.addAction("Select &All", this, &CPicEdit::SelectAllCommand);
    menu.exec(pEvent->globalPos());
}

void CPicEdit::dragEnterEvent(QDragEnterEvent* pEvent) { pEvent->ignore(); }
void CPicEdit::dropEvent(QDropEvent* pEvent) { pEvent->ignore(); }

void CPicEdit::Beep()
{
    if (m_beep)
        m_beep();
    else
        QApplication::beep();
}

void CPicEdit::SetClipboardText(const std::string& text)
{
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

bool CPicEdit::GetClipboardText(std::string& text)
{
    const QMimeData* pMime = QGuiApplication::clipboard()->mimeData();
    if (!pMime || !pMime->hasText()) return false;
    const QByteArray bytes = QGuiApplication::clipboard()->text().toLatin1();
    // Clipboard text ends at its first NUL.
    text.assign(bytes.constData(), ::strnlen(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return true;
}

void CPicEdit::TextChanged() { ShowModel(); }

}  // namespace velmor
