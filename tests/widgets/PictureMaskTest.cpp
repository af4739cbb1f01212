#include "widgets/PictureMask.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velmor {
namespace {

using Key = CPictureMask::Key;

class CFakeMaskHost : public IPictureMaskHost {
public:
    void Beep() override { ++m_nBeeps; }
    void SetClipboardText(const std::string& text) override { m_strClip = text; m_bHasClip = true; }
    bool GetClipboardText(std::string& text) override
    {
        if (m_bHasClip) text = m_strClip;
        return m_bHasClip;
    }
    void TextChanged() override { ++m_nChanges; }

    int m_nBeeps = 0;
    int m_nChanges = 0;
    bool m_bHasClip = false;
    std::string m_strClip;
};

class PictureMaskTest : public ::testing::Test {
protected:
    void SetUp() override { m_field.SetHost(&m_host); }
    void Type(const std::string& chars)
    {
        for (char ch : chars) {
            m_field.OnKeyDown(Key::Other, false);
            m_field.OnChar(ch);
        }
    }
    void Press(Key key, bool shift = false)
    {
        m_field.OnKeyDown(key, shift);
        // A real keyboard sends ^H after Backspace; the field must swallow it.
        if (key == Key::Backspace) m_field.OnChar('\b');
    }

    CFakeMaskHost m_host;
    CPictureMask m_field;
};

TEST_F(PictureMaskTest, TemplateAndTypingSkipLiterals)
{
    m_field.SetMask("99' 99.9999");
    EXPECT_EQ(m_field.Text(), "  '   .    ");
    EXPECT_FALSE(m_field.IsModified());
    EXPECT_EQ(m_field.Caret(), 0);
    Type("33115");
    EXPECT_EQ(m_field.Text(), "33' 11.5   ");
    EXPECT_EQ(m_field.Caret(), 8);
    EXPECT_TRUE(m_field.IsModified());
    EXPECT_EQ(m_host.m_nBeeps, 0);
}

TEST_F(PictureMaskTest, CharacterClassesAndCase)
{
    m_field.SetMask("9AULNX");
    Type("x");  // letter into a digit position
    EXPECT_EQ(m_host.m_nBeeps, 1);
    EXPECT_EQ(m_field.Text(), "      ");
    Type("7");
    Type("1");  // digit into a letter position
    EXPECT_EQ(m_host.m_nBeeps, 2);
    Type("buQ5\x03");  // Ctrl+C arrives as a character and fits only "X"
    EXPECT_EQ(m_field.Text(), "7bUq5\x03");
    EXPECT_EQ(m_field.Caret(), 6);
    Type("1");  // past the end
    EXPECT_EQ(m_host.m_nBeeps, 3);
    EXPECT_EQ(m_field.Text(), "7bUq5\x03");

    char ch = static_cast<char>(0xE9);  // a Latin-1 letter is no ASCII letter
    EXPECT_FALSE(m_field.IsValidChar(1, ch));
    ch = '\0';
    EXPECT_FALSE(m_field.IsValidChar(5, ch));
}

TEST_F(PictureMaskTest, EscapedPlaceholdersAreLiterals)
{
    m_field.SetMask("/9///X9");
    EXPECT_EQ(m_field.Text(), "9/X ");
    EXPECT_TRUE(m_field.IsLiteral(0));
    EXPECT_TRUE(m_field.IsLiteral(2));
    EXPECT_FALSE(m_field.IsLiteral(3));
    EXPECT_EQ(m_field.Caret(), 3);
    Type("4");
    EXPECT_EQ(m_field.Text(), "9/X4");
    m_field.SetMask("LUAN/9");
    EXPECT_EQ(m_field.Text(), "    9");
}

TEST_F(PictureMaskTest, BackspaceAfterLiteralPullsDigitsAcross)
{
    m_field.SetMask("99' 99.9999");
    Type("123456");
    ASSERT_EQ(m_field.Text(), "12' 34.56  ");
    m_field.SetSelection(4, 4);
    Press(Key::Backspace);
    EXPECT_EQ(m_field.Text(), "13' 45.6   ");
    EXPECT_EQ(m_field.Caret(), 1);
    // From a literal the character before it goes as well.
    m_field.SetSelection(6, 6);
    Press(Key::Backspace);
    EXPECT_EQ(m_field.Text(), "13' 46.    ");
    EXPECT_EQ(m_field.Caret(), 5);
}

TEST_F(PictureMaskTest, RepeatedBackspaceIsOneUndoStep)
{
    m_field.SetMask("99:99");
    Type("1234");
    Press(Key::Backspace);
    Press(Key::Backspace);
    EXPECT_EQ(m_field.Text(), "12:  ");
    ASSERT_TRUE(m_field.CanUndo());
    m_field.Undo();
    EXPECT_EQ(m_field.Text(), "12:34");
    EXPECT_EQ(m_field.SelStart(), 0);
    EXPECT_EQ(m_field.SelEnd(), 5);
    m_field.Undo();  // the second undo undoes the undo
    EXPECT_EQ(m_field.Text(), "12:  ");
    m_field.EmptyUndo();
    EXPECT_FALSE(m_field.CanUndo());
    m_field.Undo();
    EXPECT_EQ(m_field.Text(), "12:  ");
}

TEST_F(PictureMaskTest, DeleteKeyAndSelectionDelete)
{
    m_field.SetMask("99:99");
    Type("1234");
    m_field.SetSelection(0, 0);
    Press(Key::Delete);
    EXPECT_EQ(m_field.Text(), "23:4 ");
    EXPECT_EQ(m_field.Caret(), 0);
    m_field.SetSelection(2, 2);  // on the literal nothing changes
    Press(Key::Delete);
    EXPECT_EQ(m_field.Text(), "23:4 ");
    m_field.SetSelection(4, 4);  // the last editable position is cleared
    Type("9");
    m_field.SetSelection(4, 4);
    Press(Key::Delete);
    EXPECT_EQ(m_field.Text(), "23:4 ");
    m_field.SetSelection(1, 4);
    m_field.Clear();
    EXPECT_EQ(m_field.Text(), "2 :  ");
    EXPECT_EQ(m_field.Caret(), 1);
    Type("5");  // Clear must not swallow the next character
    EXPECT_EQ(m_field.Text(), "25:  ");
}

TEST_F(PictureMaskTest, TypingOverSelectionReplacesItAndKeepsWhatFollows)
{
    m_field.SetMask("99:99");
    Type("1234");
    m_field.SetSelection(2, 4);  // ":3"
    Type("7");
    EXPECT_EQ(m_field.Text(), "12:74");
    ASSERT_TRUE(m_field.CanUndo());
    m_field.Undo();
    EXPECT_EQ(m_field.Text(), "12:34");
}

TEST_F(PictureMaskTest, FillFromDigits)
{
    m_field.SetMask("999' 99.9999");
    Type("555");
    EXPECT_EQ(m_field.FillFromDigits("123' 45.6789", 0, false, true), 1);
    EXPECT_EQ(m_field.Text(), "123' 45.6789");
    EXPECT_EQ(m_field.FillFromDigits("7", 0, false, true), 1);  // start 0 clears first
    EXPECT_EQ(m_field.Text(), "7  '   .    ");
    EXPECT_EQ(m_field.FillFromDigits("1 2", 0, false, false), 1);  // the prompt leaves a gap
    EXPECT_EQ(m_field.Text(), "1 2'   .    ");
    EXPECT_EQ(m_field.FillFromDigits("99", 3, false, true), 1);  // a literal start moves on
    EXPECT_EQ(m_field.Text(), "1 2' 99.    ");
    EXPECT_EQ(m_field.FillFromDigits("1", -1, false, true), 0);
    EXPECT_EQ(m_field.FillFromDigits("1", 12, false, true), 0);
    m_field.SetMask("99:");
    EXPECT_EQ(m_field.FillFromDigits("1", 2, false, true), 0);
    m_field.SetMask("");
    EXPECT_EQ(m_field.FillFromDigits("1", 0, false, true), 0);
}

TEST_F(PictureMaskTest, InsertShiftsAndRefusesWhenFull)
{
    m_field.SetMask("99:99");
    m_field.FillFromDigits("12:3", 0, false, true);
    EXPECT_EQ(m_field.InsertChar(1, '9', false), 1);
    EXPECT_EQ(m_field.Text(), "19:23");
    EXPECT_EQ(m_field.InsertChar(0, '8', false), 0);
    EXPECT_EQ(m_field.Text(), "19:23");
    EXPECT_EQ(m_field.InsertChar(2, '8', false), 0);  // a literal takes nothing
}

TEST_F(PictureMaskTest, ClickAndEndStopAfterLastEnteredCharacter)
{
    m_field.SetMask("99' 99.9999");
    Type("3311");
    EXPECT_EQ(m_field.ClickPosition(9), 6);
    EXPECT_EQ(m_field.ClickPosition(11), 6);
    EXPECT_EQ(m_field.ClickPosition(1), 1);  // inside the filled part
    EXPECT_EQ(m_field.OnClick(9), 6);
    EXPECT_TRUE(m_field.IsMouseDown());
    EXPECT_TRUE(m_field.OnMouseMove(8));  // no selection into the empty tail
    EXPECT_FALSE(m_field.OnMouseMove(3));
    m_field.OnButtonUp();
    EXPECT_FALSE(m_field.OnMouseMove(8));
    EXPECT_EQ(m_field.OnClick(1), 1);
    EXPECT_FALSE(m_field.IsMouseDown());
    Press(Key::Home);
    Press(Key::End);
    EXPECT_EQ(m_field.Caret(), 6);

    m_field.SetMask("99");
    EXPECT_EQ(m_field.ClickPosition(2), 0);  // nothing entered: the first position
    Type("12");
    EXPECT_EQ(m_field.ClickPosition(2), 2);
}

TEST_F(PictureMaskTest, ArrowKeysSkipLiteralsAndShiftGoesToControl)
{
    m_field.SetMask("99' 99");
    m_field.SetSelection(1, 1);
    EXPECT_TRUE(m_field.OnKeyDown(Key::Right, false));
    EXPECT_EQ(m_field.Caret(), 4);
    EXPECT_TRUE(m_field.OnKeyDown(Key::Left, false));
    EXPECT_EQ(m_field.Caret(), 1);
    EXPECT_FALSE(m_field.OnKeyDown(Key::Left, true));
    EXPECT_FALSE(m_field.OnKeyDown(Key::Right, true));
    EXPECT_TRUE(m_field.OnKeyDown(Key::Up, false));
    m_field.OnChar('5');  // Up does not swallow the next character
    EXPECT_EQ(m_field.Text(), " 5'   ");
    m_field.SetSelection(4, 4);
    m_field.OnKeyDown(Key::Home, true);
    EXPECT_EQ(m_field.SelStart(), 0);
    EXPECT_EQ(m_field.SelEnd(), 4);
    m_field.SetSelection(4, 4);
    m_field.OnKeyDown(Key::End, true);
    EXPECT_EQ(m_field.SelStart(), 4);
    EXPECT_EQ(m_field.SelEnd(), 6);
}

TEST_F(PictureMaskTest, CopyCutAndPaste)
{
    m_field.SetMask("99:99.99");
    m_field.FillFromDigits("12:3", 0, false, true);
    m_field.SetSelection(0, 8);
    m_field.Copy();
    EXPECT_EQ(m_host.m_strClip, "123   ");  // literals left out, prompts as spaces

    m_field.SetSelection(1, 4);
    m_field.Cut();
    EXPECT_EQ(m_host.m_strClip, "23");
    EXPECT_EQ(m_field.Text(), "1 :  .  ");
    EXPECT_EQ(m_field.Caret(), 1);
    m_field.Undo();
    EXPECT_EQ(m_field.Text(), "12:3 .  ");

    m_field.FillFromDigits("12:34.56", 0, false, true);
    m_host.m_strClip = "7:8";
    m_field.SetSelection(1, 4);  // "2:3" goes, "78" comes in its place
    m_field.Paste();
    EXPECT_EQ(m_field.Text(), "17:84.56");
    EXPECT_EQ(m_field.Caret(), 1);
    m_field.Undo();  // back to the text without the selection
    EXPECT_EQ(m_field.Text(), "14:56.  ");

    m_field.SetSelection(2, 2);  // from a literal the caret lands on the next digit
    m_field.Paste();
    EXPECT_EQ(m_field.Caret(), 3);

    m_field.SetSelection(8, 8);  // at the end nothing is pasted
    const std::string strBefore = m_field.Text();
    m_field.Paste();
    EXPECT_EQ(m_field.Text(), strBefore);
}

TEST_F(PictureMaskTest, ReadOnlyRefusesEveryChange)
{
    m_field.SetMask("99:99");
    m_field.FillFromDigits("1234", 0, false, true);
    m_field.SetReadOnly(true);
    m_field.SetModified(false);
    const std::string strText = m_field.Text();
    m_field.SetSelection(0, 5);
    Type("5");
    Press(Key::Backspace);
    Press(Key::Delete);
    m_field.Clear();
    m_host.m_strClip = "9999";
    m_field.Paste();
    m_field.Cut();
    EXPECT_EQ(m_host.m_strClip, "1234");  // copying still works
    EXPECT_FALSE(m_field.CanUndo());
    m_field.Undo();
    EXPECT_EQ(m_field.Text(), strText);
    EXPECT_FALSE(m_field.IsModified());
    EXPECT_EQ(m_host.m_nBeeps, 0);
}

TEST_F(PictureMaskTest, FocusSelectsAll)
{
    m_field.SetMask("9:9");
    m_field.OnFocus();
    EXPECT_EQ(m_field.SelStart(), 0);
    EXPECT_EQ(m_field.SelEnd(), 3);
    m_field.SetSelectAllOnFocus(false);
    m_field.OnFocus();
    EXPECT_EQ(m_field.SelEnd(), 0);
}

TEST(PictureMaskNoHost, WorksWithoutHost)
{
    CPictureMask field;
    field.SetMask("99");
    field.OnChar('a');
    field.SetSelection(0, 2);
    field.Copy();
    field.Paste();
    field.OnChar('1');
    EXPECT_EQ(field.Text(), "1 ");
}

// Random keystrokes, clipboard and mouse events, and wild arguments to every
// public operation: the text keeps its shape whatever happens.
TEST(PictureMaskRandom, InvariantsHold)
{
    const std::vector<std::string> masks = {
        "999:99:99:99.9999999", "9.999999", "XXXXXXXX", "LUAN/9", "99' 99.9999", "999' 99.9999",
        "99:99:99.99", "//9/", ":", "", "9",
    };
    std::mt19937 rng(20240611u);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::string alphabet = std::string("0123456789abcXYZ :.'/-\b\x03\x16\x18\x1a") + '\0'
        + static_cast<char>(0xC3);

    for (const std::string& mask : masks) {
        CFakeMaskHost host;
        CPictureMask field;
        field.SetHost(&host);
        field.SetMask(mask);
        const std::string strTemplate = field.Text();
        const int nLen = static_cast<int>(strTemplate.size());
        auto wild = [&] { return pick(-3, nLen + 3); };
        for (int n = 0; n < 6000; ++n) {
            switch (pick(0, 21)) {
            case 0: case 1: case 2: case 3:
                field.OnKeyDown(Key::Other, false);
                field.OnChar(alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))]);
                break;
            case 4: case 5:
                field.OnKeyDown(static_cast<Key>(pick(0, 9)), pick(0, 1) == 1);
                break;
            case 6: field.SetSelection(wild(), wild(), pick(0, 1) ? -1 : wild()); break;
            case 7: field.Copy(); break;
            case 8: field.Cut(); break;
            case 9:
                host.m_strClip.clear();
                for (int i = pick(0, 12); i > 0; --i)
                    host.m_strClip += alphabet[static_cast<std::size_t>(pick(0, static_cast<int>(alphabet.size()) - 1))];
                host.m_bHasClip = pick(0, 5) != 0;
                field.Paste();
                break;
            case 10: field.Clear(); break;
            case 11: field.Undo(); break;
            case 12: field.OnFocus(); break;
            case 13: field.OnClick(wild()); field.OnMouseMove(wild()); field.OnButtonUp(); break;
            case 14: field.FillFromDigits("12:34:56.789abc", wild(), pick(0, 1), pick(0, 1)); break;
            case 15: field.DeleteShift(wild(), wild(), pick(0, 1)); break;
            case 16: field.InsertChar(wild(), '5', pick(0, 1)); break;
            case 17: field.MoveCaret(wild(), pick(-2, 2), pick(-2, 3)); break;
            case 18: {
                char ch = 'a';
                field.IsValidChar(wild(), ch);
                const int nClick = field.ClickPosition(wild());
                EXPECT_TRUE(nClick >= 0 && nClick <= nLen) << mask;
                const int nNext = field.NextEditable(wild());
                const int nPrev = field.PrevEditable(wild());
                EXPECT_TRUE(nPrev >= -1 && nPrev < nLen) << mask;
                if (nNext >= 0 && nNext < nLen) {
                    EXPECT_FALSE(field.IsLiteral(nNext)) << mask;
                }
                break;
            }
            case 19: field.SetReadOnly(pick(0, 7) == 0); break;
            case 20: field.EmptyUndo(); break;
            default: field.OnKeyDown(Key::Insert, false); break;
            }
            const std::string& text = field.Text();
            ASSERT_EQ(static_cast<int>(text.size()), nLen) << mask << " step " << n;
            for (int i = 0; i < nLen; ++i) {
                if (field.IsLiteral(i)) {
                    ASSERT_EQ(text[static_cast<std::size_t>(i)], strTemplate[static_cast<std::size_t>(i)])
                        << mask << " step " << n;
                }
            }
            ASSERT_TRUE(field.SelStart() >= 0 && field.SelStart() <= field.SelEnd() && field.SelEnd() <= nLen)
                << mask << " step " << n;
            ASSERT_TRUE(field.Caret() >= 0 && field.Caret() <= nLen) << mask << " step " << n;
        }
    }
}

}  // namespace
}  // namespace velmor
