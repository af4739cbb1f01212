#include "widgets/PictureMask.h"
#include "text/Text.h"

#include <algorithm>
#include <utility>

namespace velmor {

namespace {

constexpr unsigned char kPlaceholderBit = 0x80;

// ASCII only: the locale's classification of bytes above 127 must not let
// them into letter or digit positions.
bool IsLower(char ch) { return ch >= 'a' && ch <= 'z'; }
bool IsUpper(char ch) { return ch >= 'A' && ch <= 'Z'; }
bool IsLetter(char ch) { return IsLower(ch) || IsUpper(ch); }

}  // namespace

void CPictureMask::SetMask(const std::string& mask)
{
    m_strMask.clear();
    bool bEscaped = false;
    for (char ch : mask) {
        if (!bEscaped && ch == m_chEscape) {
            bEscaped = true;
            continue;
        }
        if (!bEscaped && ch != '\0' && m_strPlaceholders.find(ch) != std::string::npos)
            m_strMask += static_cast<char>(static_cast<unsigned char>(ch) | kPlaceholderBit);
        else
            m_strMask += ch;
        bEscaped = false;
    }
    m_strText = EmptyTemplate();
    // An undo copy of another layout would swap in a text of the wrong shape.
    m_strUndo.clear();
    if (m_pHost) m_pHost->TextChanged();
    m_bModified = false;
    PlaceCaret(std::max(FirstEditable(), 0));
}

std::string CPictureMask::EmptyTemplate() const
{
    std::string text = m_strMask;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<unsigned char>(m_strMask[i]) & kPlaceholderBit) text[i] = m_chPrompt;
    return text;
}

int CPictureMask::FillFromDigits(const std::string& text, int start, bool insert, bool skipInvalid)
{
    const int nLen = Length();
    if (nLen == 0 || start < 0 || start >= nLen) return 0;
    if (start == 0) m_strText = EmptyTemplate();
    int pos = start;
    if (IsLiteral(pos)) {
        pos = NextEditable(pos);
        if (pos < 0) return 0;
    }
    for (char c : text) {
        if (pos < 0 || pos >= nLen) break;
        char ch = c;
        const bool bAccepted = IsValidChar(pos, ch);
        if (!bAccepted && (skipInvalid || c != m_chPrompt)) continue;
        if (!bAccepted) ch = m_chPrompt;  // a prompt in the value leaves the position empty
        if (insert)
            InsertChar(pos, ch, false);
        else
            m_strText[static_cast<std::size_t>(pos)] = ch;
        pos = NextEditable(pos);
    }
    UpdateWindowText();
    return 1;
}

void CPictureMask::UpdateWindowText()
{
    if (!m_bReadOnly) m_bModified = true;
    if (m_pHost) m_pHost->TextChanged();
}

bool CPictureMask::IsEditable(int pos) const
{
    return pos >= 0 && pos < Length()
        && (static_cast<unsigned char>(m_strMask[static_cast<std::size_t>(pos)]) & kPlaceholderBit);
}

bool CPictureMask::IsLiteral(int pos) const { return !IsEditable(pos); }

int CPictureMask::NextEditable(int pos) const
{
    const int nLen = Length();
    if (pos >= nLen) return pos;
    for (int i = std::max(pos + 1, 0); i < nLen; ++i)
        if (IsEditable(i)) return i;
    return -1;
}

int CPictureMask::PrevEditable(int pos) const
{
    for (int i = std::min(pos, Length()) - 1; i >= 0; --i)
        if (IsEditable(i)) return i;
    return -1;
}

int CPictureMask::FirstEditable() const { return NextEditable(-1); }

void CPictureMask::Select(int start, int end)
{
    const int nLen = Length();
    start = std::clamp(start, 0, nLen);
    end = std::clamp(end, 0, nLen);
    if (start > end) std::swap(start, end);
    m_nSelStart = start;
    m_nSelEnd = end;
    m_nCaret = end;
}

void CPictureMask::SetSelection(int start, int end, int caret)
{
    Select(start, end);
    if (caret >= 0) m_nCaret = std::clamp(caret, m_nSelStart, m_nSelEnd);
}

int CPictureMask::MoveCaret(int pos, int direction, int length)
{
    const int nLen = Length();
    if (nLen == 0) return -1;
    length = std::max(length, 0);
    int p = -1;
    if (direction < 0) {
        p = PrevEditable(pos);
        if (p >= 0) Select(p, p + length);
    } else if (direction > 0) {
        p = NextEditable(pos);
        if (p < 0) {
            // Past the last editable position the caret rests just after it,
            // so further characters are refused.
            if (pos < 0)
                PlaceCaret(0);
            else
                PlaceCaret(IsEditable(pos) ? pos + 1 : pos);
            return -1;
        }
        Select(p, p + length);
    } else {
        p = pos;
        if (p >= 0 && p <= nLen) Select(p, p + length);
    }
    return (p >= 0 && p < nLen) ? p : -1;
}

int CPictureMask::ClickPosition(int pos) const
{
    const int nLen = Length();
    if (nLen == 0) return 0;
    pos = std::max(pos, 0);
    if (pos >= nLen) {
        const char chLast = m_strText[static_cast<std::size_t>(nLen - 1)];
        if (!IsLiteral(nLen - 1) && chLast != m_chPrompt) return nLen;
        pos = nLen - 1;
    }
    const int nAt = IsLiteral(pos) ? NextEditable(pos) : pos;
    if (IsEditable(nAt) && m_strText[static_cast<std::size_t>(nAt)] != m_chPrompt) return pos;
    // Walk back to the last entered character; the caret goes just after it.
    for (int i = IsLiteral(pos) ? PrevEditable(pos) : pos; i >= 0; i = PrevEditable(i))
        if (m_strText[static_cast<std::size_t>(i)] != m_chPrompt) return i + 1;
    const int nFirst = FirstEditable();
    return nFirst >= 0 ? nFirst : pos;
}

void CPictureMask::DeleteShift(int end, int start, bool save)
{
    const int nLen = Length();
    if (end < 0 || end > nLen || start < 0 || start >= nLen) return;
    if (IsLiteral(start)) {
        start = NextEditable(start);
        if (start < 0 || start > end) return;
    }
    if (end < nLen && IsLiteral(end)) {
        end = NextEditable(end);
        if (end < 0) end = nLen;  // only literals follow: nothing to pull
    }
    if (start > end) return;
    if (save) m_strUndo = m_strText;
    while (end < nLen && end >= 0 && start >= 0) {
        m_strText[static_cast<std::size_t>(start)] = m_strText[static_cast<std::size_t>(end)];
        start = NextEditable(start);
        end = NextEditable(end);
    }
    for (; start >= 0 && start < nLen; start = NextEditable(start))
        m_strText[static_cast<std::size_t>(start)] = m_chPrompt;
}

int CPictureMask::InsertChar(int pos, char ch, bool redraw)
{
    if (!IsEditable(pos)) return 0;
    const int nLast = PrevEditable(Length());
    if (nLast < 0 || m_strText[static_cast<std::size_t>(nLast)] != m_chPrompt) return 0;
    for (int i = nLast; i > pos;) {
        const int nPrev = PrevEditable(i);
        m_strText[static_cast<std::size_t>(i)] = m_strText[static_cast<std::size_t>(nPrev)];
        i = nPrev;
    }
    m_strText[static_cast<std::size_t>(pos)] = ch;
    if (redraw) {
        UpdateWindowText();
        MoveCaret(pos, +1, 0);
    }
    return 1;
}

bool CPictureMask::IsValidChar(int pos, char& ch) const
{
    if (!IsEditable(pos)) return false;
    const char chMask = static_cast<char>(static_cast<unsigned char>(m_strMask[static_cast<std::size_t>(pos)])
                                          & ~kPlaceholderBit);
    switch (chMask) {
    case '9':
        return IsDigit(ch);
    case 'A':
        return IsLetter(ch);
    case 'L':
        if (!IsLetter(ch)) return false;
        if (IsUpper(ch)) ch = static_cast<char>(ch - 'A' + 'a');
        return true;
    case 'U':
        if (!IsLetter(ch)) return false;
        if (IsLower(ch)) ch = static_cast<char>(ch - 'a' + 'A');
        return true;
    case 'N':
        return IsLetter(ch) || IsDigit(ch);
    case 'X':
        return ch != '\0';
    default:
        return false;
    }
}

void CPictureMask::Beep()
{
    if (m_pHost) m_pHost->Beep();
}

void CPictureMask::OnChar(char ch)
{
    // The character of a key handled at key-down (Backspace's ^H) is swallowed.
    if (m_bKeyHandled || m_bReadOnly) {
        m_bKeyHandled = false;
        return;
    }
    m_nLastKey = static_cast<unsigned char>(ch);
    const int s = m_nSelStart;
    const int e = m_nSelEnd;
    int p;
    if (s == e) {
        p = MoveCaret(s - 1, +1, 0);
    } else {
        p = IsLiteral(s) ? NextEditable(s) : s;
        if (p >= e) p = -1;
    }
    char chStored = ch;
    if (p < 0 || !IsValidChar(p, chStored)) {
        Beep();
        return;
    }
    if (p != e) {
        // Typing over a selection replaces it: the selection is removed and the
        // character goes in at its start, so what followed the selection stays.
        DeleteShift(e, p, true);
        InsertChar(p, chStored, false);
    } else {
        m_strText[static_cast<std::size_t>(p)] = chStored;
    }
    UpdateWindowText();
    MoveCaret(p, +1, 0);
}

void CPictureMask::CaretAfterDelete(int pos)
{
    int p = IsEditable(pos) ? pos : NextEditable(pos);
    if (p < 0 || p >= Length()) {
        const int nLast = PrevEditable(Length());
        p = nLast >= 0 ? nLast + 1 : pos;
    }
    PlaceCaret(p);
}

void CPictureMask::DeleteKey(bool save)
{
    if (m_bReadOnly) return;
    const int s = m_nSelStart;
    const int e = m_nSelEnd;
    if (s != e) {
        DeleteShift(e, s, save);
        UpdateWindowText();
        CaretAfterDelete(s);
        return;
    }
    if (s >= Length()) return;
    const int nNext = NextEditable(s);
    if (nNext >= 0) {
        DeleteShift(nNext, s, save);
        UpdateWindowText();
    } else if (IsEditable(s)) {
        if (save) m_strUndo = m_strText;
        m_strText[static_cast<std::size_t>(s)] = m_chPrompt;
        UpdateWindowText();
    }
    PlaceCaret(s);
}

bool CPictureMask::OnKeyDown(Key key, bool shift)
{
    const int nCode = KeyCode(key);
    switch (key) {
    case Key::Backspace:
    case Key::Delete:
    case Key::Left:
    case Key::Right:
    case Key::Home:
    case Key::End:
        break;
    case Key::Insert:
        // The field always overwrites; Insert is only remembered.
        m_nLastKey = nCode;
        return true;
    default:
        m_nLastKey = nCode;
        m_bKeyHandled = false;
        return true;
    }
    const bool bRepeat = m_nLastKey == nCode;
    m_nLastKey = nCode;
    m_bKeyHandled = true;
    const int s = m_nSelStart;
    const int e = m_nSelEnd;
    switch (key) {
    case Key::Backspace:
        if (m_bReadOnly) break;
        if (s != e) {
            DeleteShift(e, s, !bRepeat);
            UpdateWindowText();
            CaretAfterDelete(s);
        } else if (const int p = PrevEditable(s); p >= 0) {
            DeleteShift(s, p, !bRepeat);
            UpdateWindowText();
            PlaceCaret(p);
        }
        break;
    case Key::Delete:
        DeleteKey(!bRepeat);
        break;
    case Key::Left:
    case Key::Right:
        if (shift) return false;  // the control extends its own selection
        MoveCaret(s != e ? e : m_nCaret, key == Key::Left ? -1 : +1, 0);
        break;
    case Key::Home:
        if (shift) {
            const int nCaret = m_nCaret;
            SetSelection(0, nCaret, 0);
        } else {
            PlaceCaret(std::max(FirstEditable(), 0));
        }
        break;
    case Key::End:
        if (shift)
            SetSelection(m_nCaret, Length(), Length());
        else
            PlaceCaret(ClickPosition(Length()));
        break;
    default:
        break;
    }
    return true;
}

void CPictureMask::Copy()
{
    if (m_nSelStart >= m_nSelEnd) return;
    std::string clip;
    for (int i = m_nSelStart; i < m_nSelEnd; ++i) {
        if (!IsEditable(i)) continue;
        const char ch = m_strText[static_cast<std::size_t>(i)];
        clip += ch == m_chPrompt ? ' ' : ch;
    }
    if (m_pHost) m_pHost->SetClipboardText(clip);
}

void CPictureMask::Cut()
{
    Copy();
    if (m_bReadOnly) return;
    const int s = m_nSelStart;
    const std::string strBefore = m_strText;
    DeleteShift(m_nSelEnd, s, true);
    if (m_strText != strBefore) UpdateWindowText();
    PlaceCaret(s);
}

void CPictureMask::Paste()
{
    if (m_bReadOnly || !m_pHost) return;
    std::string clip;
    if (!m_pHost->GetClipboardText(clip) || clip.empty()) return;
    const int s = m_nSelStart;
    const int e = m_nSelEnd;
    if (s >= Length()) return;
    if (s != e) DeleteShift(e, s, true);
    // Undo goes back to the text without the selection, not to before it.
    m_strUndo = m_strText;
    FillFromDigits(clip, s, true, true);
    if (IsLiteral(s)) {
        const int p = NextEditable(s);
        PlaceCaret(p >= 0 ? p : s);
    } else {
        PlaceCaret(s);
    }
}

void CPictureMask::Clear()
{
    // The Delete key's action without swallowing the next character.
    const int nCode = KeyCode(Key::Delete);
    const bool bRepeat = m_nLastKey == nCode;
    m_nLastKey = nCode;
    DeleteKey(!bRepeat);
}

void CPictureMask::Undo()
{
    if (m_bReadOnly || m_strUndo.empty()) return;
    std::swap(m_strText, m_strUndo);
    UpdateWindowText();
    Select(0, Length());
}

void CPictureMask::OnFocus()
{
    if (m_bSelectAllOnFocus)
        Select(0, Length());
    else
        PlaceCaret(std::max(FirstEditable(), 0));
}

int CPictureMask::OnClick(int caretPos)
{
    PlaceCaret(caretPos);
    const int nCaret = m_nCaret;
    const int nTarget = ClickPosition(nCaret);
    if (nTarget != nCaret) {
        PlaceCaret(nTarget);
        m_bMouseDown = true;
        m_nClickCaret = m_nCaret;
    }
    return m_nCaret;
}

bool CPictureMask::OnMouseMove(int pos) const
{
    return m_bMouseDown && pos >= m_nClickCaret;
}

}  // namespace velmor
