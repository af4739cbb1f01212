// CPicEdit: every key, character, clipboard command and click goes through
// the picture mask; the line edit only shows the model's text and caret.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>

#include "GuiTestSupport.h"
#include "PicEdit.h"

namespace velmor::test {
namespace {

class PicEditTest : public ::testing::Test, protected CWithApp {
protected:
    PicEditTest()
    {
        m_pMask->SetMask("99' 99.9999");
        m_edit.SetBeep([this] { ++m_nBeeps; });
        m_edit.Attach(m_pMask);
        QObject::connect(&m_edit, &CPicEdit::EditedByUser, [this] { ++m_nEdits; });
        m_edit.show();
    }
    void Key(int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&m_edit, &event);
    }
    void Type(const QString& text)
    {
        for (QChar ch : text) Key(Qt::Key_A, QString(ch));
    }
    void Caret(int pos)
    {
        m_pMask->SetSelection(pos, pos);
        m_edit.ShowModel();
    }

    std::shared_ptr<CPictureMask> m_pMask = std::make_shared<CPictureMask>();
    CPicEdit m_edit;
    int m_nBeeps = 0;
    int m_nEdits = 0;
};

TEST_F(PicEditTest, TypingFillsThePlaceholdersAndSkipsLiterals)
{
    EXPECT_EQ(m_edit.text(), "  '   .    ");
    Caret(0);
    Type("33115");
    EXPECT_EQ(m_pMask->Text(), "33' 11.5   ");
    EXPECT_EQ(m_edit.text(), "33' 11.5   ");
    EXPECT_EQ(m_edit.cursorPosition(), 8);
    EXPECT_EQ(m_nEdits, 5);
    EXPECT_EQ(m_nBeeps, 0);
}

TEST_F(PicEditTest, RefusedCharactersBeepAndChangeNothing)
{
    Caret(0);
    Type("a");
    Key(Qt::Key_C, QString(QChar(3)), Qt::ControlModifier);  // Ctrl+C is a character here
    EXPECT_EQ(m_edit.text(), "  '   .    ");
    EXPECT_EQ(m_nBeeps, 2);
    EXPECT_EQ(m_nEdits, 0);
    Type("1234567890");
    Type("1");  // past the last position
    EXPECT_EQ(m_edit.text(), "12' 34.5678");
    EXPECT_EQ(m_nBeeps, 5) << "two positions left over, then the end";
}

TEST_F(PicEditTest, BackspaceAfterALiteralPullsTheDigitsAcrossIt)
{
    m_pMask->FillFromDigits("123456", 0, false, true);
    m_edit.ShowModel();
    EXPECT_EQ(m_edit.text(), "12' 34.56  ");
    Caret(4);
    Key(Qt::Key_Backspace, "\b");
    EXPECT_EQ(m_edit.text(), "13' 45.6   ");
    EXPECT_EQ(m_edit.cursorPosition(), 1);
    Key(Qt::Key_Backspace, "\b");
    EXPECT_EQ(m_edit.text(), "34' 56.    ");
    m_edit.UndoCommand();
    EXPECT_EQ(m_edit.text(), "12' 34.56  ") << "two Backspaces undo as one";
}

TEST_F(PicEditTest, DeleteKeyProducesNoCharacterAndShiftArrowsSelect)
{
    m_pMask->FillFromDigits("123456", 0, false, true);
    Caret(0);
    Key(Qt::Key_Delete, QString(QChar(0x7f)));
    EXPECT_EQ(m_edit.text(), "23' 45.6   ");
    EXPECT_EQ(m_nBeeps, 0);
    Key(Qt::Key_Right, {}, Qt::ShiftModifier);
    Key(Qt::Key_Right, {}, Qt::ShiftModifier);
    EXPECT_EQ(m_pMask->SelStart(), 0);
    EXPECT_EQ(m_pMask->SelEnd(), 2);
    EXPECT_EQ(m_edit.selectedText(), "23");
    Type("9");
    EXPECT_EQ(m_edit.text(), "94' 56.    ") << "the 9 takes the selection's place";
}

TEST_F(PicEditTest, ClipboardGoesThroughTheModel)
{
    m_pMask->FillFromDigits("12345678", 0, false, true);
    m_pMask->SetSelection(0, 5);
    m_edit.ShowModel();
    m_edit.CopyCommand();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "123") << "literals are left out";
    m_edit.CutCommand();
    EXPECT_EQ(m_edit.text(), "45' 67.8   ");
    QGuiApplication::clipboard()->setText("9x9");
    Caret(0);
    m_edit.PasteCommand();
    // Pasting at the start refills the field, skipping what does not fit.
    EXPECT_EQ(m_edit.text(), "99'   .    ");
    EXPECT_EQ(m_nEdits, 2);
}

TEST_F(PicEditTest, AClickInTheEmptyTailLandsAfterTheLastCharacter)
{
    m_edit.resize(200, 24);
    Type("12");
    Caret(0);
    const QPoint end(m_edit.width() - 5, m_edit.height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, end, m_edit.mapToGlobal(end), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&m_edit, &press);
    EXPECT_EQ(m_pMask->Caret(), 2) << "just after the 2";
    EXPECT_EQ(m_edit.cursorPosition(), 2);
    QMouseEvent release(QEvent::MouseButtonRelease, end, m_edit.mapToGlobal(end), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&m_edit, &release);
    EXPECT_FALSE(m_pMask->IsMouseDown());
    EXPECT_EQ(m_edit.text(), "12'   .    ");
}

}  // namespace
}  // namespace velmor::test
