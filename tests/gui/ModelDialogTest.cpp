// The generic dialog renderer: widgets mirror the model, user actions reach
// the model's standard actions, and the dialog closes when the model ends.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "ModelDialog.h"
#include "PicEdit.h"
#include "config/CommSetupDlg.h"
#include "widgets/PictureMask.h"

namespace velmor::test {
namespace {

enum : int { kLabel = 1, kGroup, kEdit, kRadioA, kRadioB, kCheck, kCombo, kList, kButton, kSpin, kPic, kOk, kCancel };

class CTestModel : public CDialogModel {
public:
    CTestModel()
    {
        m_strCaption = "Test Caption";
        auto add = [this](int id, CtlKind kind, const char* text, int parent = 0) -> CControl& {
            CControl c;
            c.m_nId = id;
            c.m_kind = kind;
            c.m_strText = text;
            c.m_nParent = parent;
            return Add(c);
        };
        add(kLabel, CtlKind::Label, "Version:").m_strValue = "[Version]";
        add(kGroup, CtlKind::Group, "Delay:");
        CControl& edit = add(kEdit, CtlKind::Edit, "Cable Delay:", kGroup);
        edit.m_nMaxLength = 5;
        edit.m_strUnit = "ns";
        add(kRadioA, CtlKind::Radio, "&Burst ", kGroup).m_nRadioGroup = 1;
        add(kRadioB, CtlKind::Radio, "&Wrap Around", kGroup).m_nRadioGroup = 1;
        add(kCheck, CtlKind::Check, "Enable");
        add(kCombo, CtlKind::Combo, "Rate:").m_items = {"1", "10", "100"};
        add(kList, CtlKind::List, "Tags:").m_items = {"a", "b"};
        add(kButton, CtlKind::Button, "Reload Time Tag");
        CControl& spin = add(kSpin, CtlKind::Spin, "");
        spin.m_nSpinBuddy = kEdit;
        spin.m_nParent = kGroup;
        CControl& pic = add(kPic, CtlKind::PicEdit, "Latitude:");
        pic.m_pMask = std::make_shared<CPictureMask>();
        pic.m_pMask->SetMask("99' 99.9999");
        add(kOk, CtlKind::Button, "OK").m_role = ButtonRole::Ok;
        add(kCancel, CtlKind::Button, "Cancel").m_role = ButtonRole::Cancel;
    }
    void OnInitDialog() override
    {
        Ctl(kEdit).m_strValue = "50";
        Check(kRadioB, true);
        Check(kCheck, true);
        Ctl(kCombo).m_nSelection = 1;
        Enable(kList, false);
        m_log.push_back("init");
    }
    void OnCommand(int id) override { m_log.push_back("command " + std::to_string(id)); }
    void OnEditChange(int id) override { m_log.push_back("change " + std::to_string(id) + " " + Text(id)); }
    void OnKillFocus(int id) override { m_log.push_back("leave " + std::to_string(id)); }
    void OnSelChange(int id) override { m_log.push_back("select " + std::to_string(id)); }
    void OnSpin(int id, int delta) override { m_log.push_back("spin " + std::to_string(id) + " " + std::to_string(delta)); }
    bool OnOK() override
    {
        m_log.push_back("ok");
        return m_bAcceptOk;
    }
    void OnDestroy() override { m_log.push_back("destroy"); }

    bool m_bAcceptOk = true;
    std::vector<std::string> m_log;
};

class ModelDialogTest : public ::testing::Test, protected CWithApp {
protected:

    // A dialog shown for the model, as RunDialog prepares it.
    std::unique_ptr<CModelDialog> Open()
    {
        auto dialog = std::make_unique<CModelDialog>(m_model, [this] { ++m_nBeeps; });
        m_model.m_pView = dialog.get();
        m_model.Init();
        dialog->show();
        return dialog;
    }
    template <class T> T* W(CModelDialog& dialog, int id) { return qobject_cast<T*>(dialog.Widget(id)); }

    CTestModel m_model;
    int m_nBeeps = 0;
};

TEST_F(ModelDialogTest, WidgetsMirrorTheModel)
{
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Test Caption");
    auto* pGroup = W<QGroupBox>(*dialog, kGroup);
    ASSERT_NE(pGroup, nullptr);
    EXPECT_EQ(pGroup->title(), "Delay:");
    EXPECT_EQ(W<QLineEdit>(*dialog, kEdit)->parentWidget(), pGroup);
    EXPECT_EQ(W<QRadioButton>(*dialog, kRadioA)->parentWidget(), pGroup);
    EXPECT_EQ(W<QLineEdit>(*dialog, kEdit)->text(), "50");
    EXPECT_EQ(W<QLineEdit>(*dialog, kEdit)->maxLength(), 5);
    EXPECT_FALSE(W<QRadioButton>(*dialog, kRadioA)->isChecked());
    EXPECT_TRUE(W<QRadioButton>(*dialog, kRadioB)->isChecked());
    EXPECT_TRUE(W<QCheckBox>(*dialog, kCheck)->isChecked());
    EXPECT_EQ(W<QComboBox>(*dialog, kCombo)->currentIndex(), 1);
    EXPECT_EQ(W<QComboBox>(*dialog, kCombo)->count(), 3);
    EXPECT_FALSE(W<QListWidget>(*dialog, kList)->isEnabled());
    EXPECT_EQ(W<CPicEdit>(*dialog, kPic)->text(), "  '   .    ");
    QStringList labels;
    for (QLabel* pLabel : dialog->findChildren<QLabel*>()) labels << pLabel->text();
    for (const char* text : {"Version:", "[Version]", "Cable Delay:", "ns", "Rate:", "Latitude:"})
        EXPECT_TRUE(labels.contains(text)) << text;

    // Changes made by the model (a reply arriving) show without echo.
    m_model.Ctl(kEdit).m_strValue = "75";
    m_model.Ctl(kList).m_items = {"x", "y", "z"};
    m_model.Ctl(kList).m_nSelection = 2;
    m_model.Enable(kList, true);
    m_model.Ctl(kLabel).m_strValue = "V1.16.00";
    m_model.Ctl(kPic).m_pMask->FillFromDigits("3311", 0, false, true);
    m_model.m_log.clear();
    m_model.Changed();
    EXPECT_EQ(W<QLineEdit>(*dialog, kEdit)->text(), "75");
    EXPECT_EQ(W<QListWidget>(*dialog, kList)->count(), 3);
    EXPECT_EQ(W<QListWidget>(*dialog, kList)->currentRow(), 2);
    EXPECT_TRUE(W<QListWidget>(*dialog, kList)->isEnabled());
    EXPECT_TRUE(dialog->findChildren<QLabel*>().size() > 0);
    EXPECT_EQ(W<CPicEdit>(*dialog, kPic)->text(), "33' 11.    ");
    EXPECT_TRUE(m_model.m_log.empty()) << m_model.m_log.front();
}

TEST_F(ModelDialogTest, UserActionsReachTheModel)
{
    auto dialog = Open();
    m_model.m_log.clear();

    W<QRadioButton>(*dialog, kRadioA)->click();
    EXPECT_TRUE(m_model.IsChecked(kRadioA));
    EXPECT_FALSE(m_model.IsChecked(kRadioB));
    EXPECT_FALSE(W<QRadioButton>(*dialog, kRadioB)->isChecked());
    W<QRadioButton>(*dialog, kRadioA)->click();  // a checked radio stays checked
    EXPECT_TRUE(W<QRadioButton>(*dialog, kRadioA)->isChecked());

    W<QCheckBox>(*dialog, kCheck)->click();
    EXPECT_FALSE(m_model.IsChecked(kCheck));
    W<QPushButton>(*dialog, kButton)->click();
    emit W<QComboBox>(*dialog, kCombo)->activated(2);
    EXPECT_EQ(m_model.Ctl(kCombo).m_nSelection, 2);
    dialog->Widget(kSpin)->findChild<QToolButton*>("up")->click();
    dialog->Widget(kSpin)->findChild<QToolButton*>("down")->click();

    QLineEdit* pEdit = W<QLineEdit>(*dialog, kEdit);
    pEdit->setFocus();
    pEdit->selectAll();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, "7");
    QApplication::sendEvent(pEdit, &key);
    EXPECT_EQ(m_model.Text(kEdit), "7");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(pEdit, &leave);
    QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(pEdit, &deactivated);  // another window came up: not leaving

    const std::vector<std::string> expected = {
        "command 4", "command 4", "command 6", "command 9", "select 7", "spin 10 1", "spin 10 -1",
        "change 3 7", "leave 3"};
    EXPECT_EQ(m_model.m_log, expected);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(ModelDialogTest, PictureFieldEditsGoThroughTheMask)
{
    auto dialog = Open();
    m_model.m_log.clear();
    CPicEdit* pPic = W<CPicEdit>(*dialog, kPic);
    pPic->setFocus();
    pPic->Mask()->SetSelection(0, 0);
    for (const char* ch : {"3", "x"}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, ch);
        QApplication::sendEvent(pPic, &key);
    }
    EXPECT_EQ(m_model.Ctl(kPic).m_strValue, "3 '   .    ");
    EXPECT_EQ(m_nBeeps, 1) << "the letter is refused with the dialog's sound";
    EXPECT_EQ(m_model.m_log, std::vector<std::string>{"change 11 3 '   .    "});
}

TEST_F(ModelDialogTest, EnterEscapeAndCloseBoxEndTheDialogThroughTheModel)
{
    {
        auto dialog = Open();
        m_model.m_bAcceptOk = false;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        EXPECT_FALSE(m_model.IsEnded()) << "a failed check keeps it open";
        EXPECT_TRUE(dialog->isVisible());
    }
    CTestModel escaped;
    {
        CModelDialog dialog(escaped, nullptr);
        escaped.m_pView = &dialog;
        escaped.Init();
        dialog.show();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
        EXPECT_TRUE(escaped.IsEnded());
        EXPECT_FALSE(escaped.ResultOk());
        EXPECT_FALSE(dialog.isVisible());
    }
    CTestModel closed;
    CModelDialog dialog(closed, nullptr);
    closed.m_pView = &dialog;
    closed.Init();
    dialog.show();
    dialog.close();
    EXPECT_TRUE(closed.IsEnded());
    EXPECT_FALSE(closed.ResultOk());
}

TEST_F(ModelDialogTest, RunDialogInitsRunsAndDestroysOnce)
{
    CRecordingHost host;
    QTimer::singleShot(50, [] {
        auto* pDialog = qobject_cast<CModelDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        qobject_cast<QPushButton*>(pDialog->Widget(kOk))->click();
    });
    EXPECT_TRUE(host.RunDialog(m_model));
    EXPECT_EQ(m_model.m_log.front(), "init");
    EXPECT_EQ(m_model.m_log.back(), "destroy");
    EXPECT_EQ(m_model.m_pView, nullptr);
    m_model.Destroy();
    EXPECT_EQ(std::count(m_model.m_log.begin(), m_model.m_log.end(), "destroy"), 1);
}

TEST_F(ModelDialogTest, SerialPortDialogShowsSettingsAndReturnsTheChoice)
{
    CRecordingHost host;
    SerialSettings settings;
    settings.m_nPort = 2;
    settings.m_nBaud = 38400;
    CCommSetupDlg model(settings);
    QString title, port, baud;
    bool dataEnabled = true, portEnabled = false;
    QTimer::singleShot(50, [&] {
        auto* pDialog = qobject_cast<CModelDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        title = pDialog->windowTitle();
        auto* pPort = qobject_cast<QComboBox*>(pDialog->Widget(CCommSetupDlg::IDC_PORT));
        auto* pBaud = qobject_cast<QComboBox*>(pDialog->Widget(CCommSetupDlg::IDC_BAUD));
        port = pPort->currentText();
        baud = pBaud->currentText();
        portEnabled = pPort->isEnabled();
        dataEnabled = pDialog->Widget(CCommSetupDlg::IDC_DATA)->isEnabled();
        emit pBaud->activated(3);
        qobject_cast<QPushButton*>(pDialog->Widget(CCommSetupDlg::IDOK_COMM))->click();
    });
    EXPECT_TRUE(host.RunDialog(model));
    EXPECT_EQ(title, "Set Serial Port:");
    EXPECT_EQ(port, "Com 2");
    EXPECT_EQ(baud, "9600") << "an unlisted rate shows as 9600";
    EXPECT_TRUE(portEnabled);
    EXPECT_FALSE(dataEnabled);
    EXPECT_EQ(model.Result().m_nBaud, 19200);
    EXPECT_EQ(model.Result().m_nPort, 2);
}

// The device is an editable list: its text follows the Port list, a typed
// text reaches the model, and the reason of the last failed opening shows.
TEST_F(ModelDialogTest, SerialPortDeviceFieldFollowsThePortAndTakesTypedText)
{
    CRecordingHost host;
    SerialSettings settings;
    settings.m_nPort = 1;
    CDeviceChoice choice{[](int port) { return "/dev/ttyS" + std::to_string(port - 1); },
                         {{"/dev/ttyUSB0", ""}},
                         "/dev/ttyS0: permission denied"};
    CCommSetupDlg model(settings, choice);
    QString first, followed, error;
    bool editable = false, errorShown = false;
    QTimer::singleShot(50, [&] {
        auto* pDialog = qobject_cast<CModelDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        auto* pDevice = qobject_cast<QComboBox*>(pDialog->Widget(CCommSetupDlg::IDC_DEVICE));
        auto* pError = qobject_cast<QLabel*>(pDialog->Widget(CCommSetupDlg::IDC_OPEN_ERROR));
        editable = pDevice->isEditable();
        first = pDevice->currentText();
        error = pError->text();
        errorShown = pError->isVisibleTo(pDialog);
        emit qobject_cast<QComboBox*>(pDialog->Widget(CCommSetupDlg::IDC_PORT))->activated(2);
        followed = pDevice->currentText();
        pDevice->lineEdit()->setText("rfc2217://box:2001");
        emit pDevice->lineEdit()->textEdited(pDevice->lineEdit()->text());  // as typing does
        qobject_cast<QPushButton*>(pDialog->Widget(CCommSetupDlg::IDOK_COMM))->click();
    });
    EXPECT_TRUE(host.RunDialog(model));
    EXPECT_TRUE(editable);
    EXPECT_EQ(first, "/dev/ttyS0");
    EXPECT_EQ(followed, "/dev/ttyS2");
    EXPECT_EQ(error, "/dev/ttyS0: permission denied");
    EXPECT_TRUE(errorShown);
    EXPECT_EQ(model.Result().m_nPort, 3);
    EXPECT_EQ(model.Device(), "rfc2217://box:2001");
}

// A form with companions on a field's row and on a radio button's row, and
// a second column.
class CLayoutModel : public CDialogModel {
public:
    enum : int { kField = 1, kNorth, kSouth, kHeight, kFirst, kSecond, kRight, kOk };
    CLayoutModel()
    {
        m_strCaption = "Layout";
        Add(MakeControl(kField, CtlKind::Edit, "Latitude:"));
        Add(MakeControl(kNorth, CtlKind::Radio, "N", 0, 1)).m_bSameRow = true;
        Add(MakeControl(kSouth, CtlKind::Radio, "S", 0, 1)).m_bSameRow = true;
        Add(MakeControl(kHeight, CtlKind::Edit, "Altitude:")).m_strUnit = "meter";
        Add(MakeControl(kFirst, CtlKind::Radio, "Rate A", 0, 2));
        Add(MakeControl(kSecond, CtlKind::Radio, "Rate B", 0, 2)).m_bSameRow = true;
        Add(MakeControl(kRight, CtlKind::Check, "Cold Start")).m_nColumn = 1;
        Add(MakeButton(kOk, "OK", ButtonRole::Ok));
    }
};

TEST_F(ModelDialogTest, SameRowAndColumnHintsPlaceControlsSideBySide)
{
    CLayoutModel model;
    CModelDialog dialog(model, [] {});
    model.m_pView = &dialog;
    model.Init();
    dialog.show();
    Pump(0);
    auto at = [&](int id) {
        QWidget* pWidget = dialog.Widget(id);
        return QRect(pWidget->mapTo(&dialog, QPoint(0, 0)), pWidget->size());
    };
    const QRect field = at(CLayoutModel::kField), north = at(CLayoutModel::kNorth), south = at(CLayoutModel::kSouth);
    EXPECT_EQ(north.center().y(), field.center().y());
    EXPECT_EQ(south.center().y(), field.center().y());
    EXPECT_GT(north.left(), field.right());
    EXPECT_GT(south.left(), north.right());
    // Companions of a field line up with the units of the fields below.
    QLabel* pUnit = nullptr;
    for (QLabel* pLabel : dialog.findChildren<QLabel*>())
        if (pLabel->text() == "meter") pUnit = pLabel;
    ASSERT_NE(pUnit, nullptr);
    EXPECT_EQ(north.left(), pUnit->mapTo(&dialog, QPoint(0, 0)).x());
    EXPECT_GT(at(CLayoutModel::kHeight).top(), field.bottom());

    const QRect first = at(CLayoutModel::kFirst), second = at(CLayoutModel::kSecond);
    EXPECT_EQ(second.center().y(), first.center().y());
    EXPECT_GT(second.left(), first.right());
    // The second column starts level with the first, to the right of it.
    const QRect right = at(CLayoutModel::kRight);
    EXPECT_GT(right.left(), second.right());
    EXPECT_LT(right.top(), at(CLayoutModel::kHeight).top());

    // Joined controls still act on the model.
    qobject_cast<QRadioButton*>(dialog.Widget(CLayoutModel::kSouth))->click();
    EXPECT_TRUE(model.IsChecked(CLayoutModel::kSouth));
    EXPECT_FALSE(model.IsChecked(CLayoutModel::kNorth));
}

TEST_F(ModelDialogTest, DialogIsNoTallerThanItsControlsNeed)
{
    // One field and the buttons: no gap opens between them.
    CDialogModel model;
    model.Add(MakeControl(1, CtlKind::Edit, "Mask Angle:"));
    model.Add(MakeButton(2, "OK", ButtonRole::Ok));
    model.Add(MakeButton(3, "Cancel", ButtonRole::Cancel));
    CModelDialog dialog(model, [] {});
    dialog.show();
    Pump(0);
    EXPECT_EQ(dialog.height(), dialog.sizeHint().height());
    QWidget* pField = dialog.Widget(1);
    QWidget* pOk = dialog.Widget(2);
    EXPECT_LT(pOk->mapTo(&dialog, QPoint(0, 0)).y() - (pField->mapTo(&dialog, QPoint(0, 0)).y() + pField->height()), 20);
}

}  // namespace
}  // namespace velmor::test
