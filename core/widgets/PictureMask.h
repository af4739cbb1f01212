#pragma once
// The editing model behind a picture-mask edit field: a single-line field
// shaped by a mask of fixed literals and typed placeholders, so values such
// as "999:99:99:99.9999999" always come back in the exact layout the command
// builders expect. The front end owns a plain edit control for drawing only;
// every key, character, clipboard, undo, focus and mouse event goes through
// this model, which holds the text, the selection and the caret, and the
// front end mirrors them.

#include <string>

namespace velmor {

// What the model needs from the front end. Any of it may be missing: with no
// host the model beeps into the void and the clipboard stays empty.
class IPictureMaskHost {
public:
    virtual ~IPictureMaskHost() = default;
    virtual void Beep() = 0;  // the exclamation sound
    virtual void SetClipboardText(const std::string& text) = 0;
    // False when the clipboard holds no text (or cannot be opened).
    virtual bool GetClipboardText(std::string& text) = 0;
    // The text changed; the front end redraws the control from Text().
    virtual void TextChanged() {}
};

class CPictureMask {
public:
    // The keys whose key-down the field acts on; everything else is Other.
    enum class Key { Backspace, Delete, Left, Right, Home, End, Insert, Up, Down, Other };

    void SetHost(IPictureMaskHost* pHost) { m_pHost = pHost; }

    // Stores and prepares the mask, shows the empty template, clears the
    // modified flag and puts the caret on the first editable position.
    void SetMask(const std::string& mask);
    // Places the characters of |text| from |start| on; 1, or 0 when nothing
    // could be placed. Start 0 clears the field first.
    int FillFromDigits(const std::string& text, int start, bool insert, bool skipInvalid);
    // Shows the text; unless read-only, marks the field modified.
    void UpdateWindowText();

    int NextEditable(int pos) const;
    int PrevEditable(int pos) const;
    // Moves the caret by |direction| (-1, 0, +1) from |pos| and selects
    // |length| characters there; the new position, or -1.
    int MoveCaret(int pos, int direction, int length);
    // Where a click at |pos| puts the caret: never into the unfilled tail.
    int ClickPosition(int pos) const;
    // Removes the editable positions from |start| up to |end| and pulls the
    // following characters left; does not redraw.
    void DeleteShift(int end, int start, bool save = true);
    // Shifts the characters from |pos| one editable position right and writes
    // |ch| there; 0 when the field is full.
    int InsertChar(int pos, char ch, bool redraw);
    // Whether |ch| fits the placeholder at |pos|; rewrites it to the stored
    // case for "L" and "U" positions.
    bool IsValidChar(int pos, char& ch) const;
    // Positions outside the text count as literals: nothing can go there.
    bool IsLiteral(int pos) const;

    // Event entry points of the front end.
    void OnChar(char ch);
    // True when the key was dealt with here; false means the underlying
    // control should handle it (only Left and Right with Shift).
    bool OnKeyDown(Key key, bool shift);
    void Copy();
    void Cut();
    void Paste();
    void Clear();
    void Undo();
    bool CanUndo() const { return !m_strUndo.empty() && !m_bReadOnly; }
    void EmptyUndo() { m_strUndo.clear(); }
    void OnFocus();
    // The control has put the caret at |caretPos| after a left click; returns
    // where the caret is afterwards.
    int OnClick(int caretPos);
    // True when the move must not reach the control (no selection starts
    // from a click in the empty tail).
    bool OnMouseMove(int pos) const;
    void OnButtonUp() { m_bMouseDown = false; }

    // The control's own selection changes (Shift+Left, dragging). A negative
    // |caret| puts the caret at |end|.
    void SetSelection(int start, int end, int caret = -1);
    int SelStart() const { return m_nSelStart; }
    int SelEnd() const { return m_nSelEnd; }
    int Caret() const { return m_nCaret; }

    const std::string& Text() const { return m_strText; }
    const std::string& Mask() const { return m_strMask; }
    bool IsReadOnly() const { return m_bReadOnly; }
    void SetReadOnly(bool bReadOnly) { m_bReadOnly = bReadOnly; }
    bool IsModified() const { return m_bModified; }
    void SetModified(bool bModified) { m_bModified = bModified; }
    void SetSelectAllOnFocus(bool bSelectAll) { m_bSelectAllOnFocus = bSelectAll; }
    bool IsMouseDown() const { return m_bMouseDown; }

private:
    int Length() const { return static_cast<int>(m_strText.size()); }
    bool IsEditable(int pos) const;
    int FirstEditable() const;
    std::string EmptyTemplate() const;
    void Select(int start, int end);
    void PlaceCaret(int pos) { Select(pos, pos); }
    void Beep();
    // Caret after deleting a selection: on the first editable position at or
    // after |pos|, or just after the last editable one.
    void CaretAfterDelete(int pos);
    void DeleteKey(bool save);
    static int KeyCode(Key key) { return 0x100 + static_cast<int>(key); }

    IPictureMaskHost* m_pHost = nullptr;

    std::string m_strMask;
    std::string m_strText;
    char m_chPrompt = ' ';
    std::string m_strPlaceholders = "9ANLUX";
    char m_chEscape = '/';
    bool m_bReadOnly = false;
    bool m_bSelectAllOnFocus = true;
    std::string m_strUndo;
    bool m_bKeyHandled = false;
    // Characters are stored as their byte value, keys as 0x100 + Key, so a
    // typed '.' never passes for a Delete in the undo grouping.
    int m_nLastKey = 0;
    bool m_bMouseDown = false;
    int m_nClickCaret = 0;  // caret position saved at the click that set m_bMouseDown
    bool m_bModified = false;

    int m_nSelStart = 0;
    int m_nSelEnd = 0;
    int m_nCaret = 0;
};

}  // namespace velmor
