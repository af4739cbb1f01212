#include "ModelDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "PicEdit.h"

namespace velmor {

namespace {

// Column layout of every form grid: caption, control, spin arrows, unit. The
// arrows hug their field and the unit follows them, as on an up-down control.
enum Column { kCaption = 0, kControl = 1, kSpin = 2, kUnit = 3, kColumns = 4 };

// More side-by-side columns than this are folded into the last one.
constexpr int kMaxFormColumns = 3;

// Core's texts are UTF-8 (the page's degree sign); picture-mask fields,
// which hold one byte per position, convert on their own.
QString Text(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A preset text longer than this may scroll in its field.
constexpr int kWidestPreset = 40;

// Makes |pEdit| wide enough to show |positions| characters whole: a field
// that scrolls hides the leading digits of a time or a position. Fields only
// grow, so typing never makes the dialog jump.
void WidenToShow(QLineEdit* pEdit, int positions)
{
    const int wanted = pEdit->fontMetrics().horizontalAdvance(QString(positions + 2, QLatin1Char('0'))) + 8;
    if (wanted > pEdit->minimumWidth()) pEdit->setMinimumWidth(wanted);
}

bool IsBottomButton(const CControl& control)
{
    return control.m_kind == CtlKind::Button && control.m_role != ButtonRole::None;
}

// Controls that take a whole row (or stand alone in their cell) and so join
// a row by sharing it; fields keep their caption/field/unit columns and have
// companions appended after them.
bool SharesItsCell(CtlKind kind)
{
    switch (kind) {
    case CtlKind::Radio: case CtlKind::Check: case CtlKind::Button: case CtlKind::Label: case CtlKind::Group:
        return true;
    default:
        return false;
    }
}

// The box holding the companions on |row| of |pGrid|, made on first use. It
// takes the unit cell onwards (or the free cells after the row's last item);
// after a control that shares its cell, or on a full row, it takes that
// item's own place instead and holds the item first. A trailing stretch keeps
// the companions together at the left.
QHBoxLayout* RowBox(QGridLayout* pGrid, int row, bool shareLast)
{
    int lastIndex = -1, lastColumn = 0, lastEnd = 0;
    for (int i = 0; i < pGrid->count(); ++i) {
        int r = 0, c = 0, rowSpan = 0, columnSpan = 0;
        pGrid->getItemPosition(i, &r, &c, &rowSpan, &columnSpan);
        if (r != row || c + columnSpan < lastEnd) continue;
        lastIndex = i;
        lastColumn = c;
        lastEnd = c + columnSpan;
    }
    auto* pBox = new QHBoxLayout;
    pBox->addStretch(1);
    QWidget* pLast = lastIndex >= 0 ? pGrid->itemAt(lastIndex)->widget() : nullptr;
    if (pLast && (shareLast || lastEnd >= kColumns)) {
        pGrid->removeWidget(pLast);
        pBox->insertWidget(0, pLast);
        pGrid->addLayout(pBox, row, lastColumn, 1, kColumns - lastColumn);
    } else {
        // Companions of a field line up with the units of the fields below.
        const int start = std::clamp(lastEnd, static_cast<int>(kUnit), kColumns - 1);
        pGrid->addLayout(pBox, row, start, 1, kColumns - start);
    }
    return pBox;
}

}  // namespace

CModelDialog::CModelDialog(CDialogModel& model, std::function<void()> beep, QWidget* pParent)
    : QDialog(pParent), m_model(model), m_beep(std::move(beep))
{
    setWindowTitle(Text(m_model.m_strCaption));
    // The program's style sheet paints dialog texts black; a disabled caption,
    // radio button or check box must still look disabled.
    setStyleSheet(QStringLiteral("QLabel:disabled, QRadioButton:disabled, QCheckBox:disabled,"
                                 " QGroupBox:disabled { color: rgb(128, 128, 128); }"));
    Build();
}

CModelDialog::~CModelDialog()
{
    if (m_model.m_pView == this) m_model.m_pView = nullptr;
}

QWidget* CModelDialog::Widget(int id) const
{
    const auto it = m_bindings.find(id);
    return it == m_bindings.end() ? nullptr : it->second.m_pWidget;
}

void CModelDialog::Build()
{
    auto* pLayout = new QVBoxLayout(this);
    // Copies: models may add controls while the widgets are built.
    const std::vector<CControl> controls = m_model.m_controls;

    // The form: one grid, or side by side one untitled frame per column the
    // top-level controls ask for.
    int columns = 1;
    for (const CControl& control : controls)
        if (control.m_nParent == 0) columns = std::max(columns, std::min(control.m_nColumn, kMaxFormColumns - 1) + 1);
    std::vector<QGridLayout*> formGrids;
    if (columns == 1) {
        formGrids.push_back(new QGridLayout);
        pLayout->addLayout(formGrids.back());
    } else {
        auto* pRow = new QHBoxLayout;
        for (int i = 0; i < columns; ++i) {
            auto* pFrame = new QGroupBox(this);
            formGrids.push_back(new QGridLayout(pFrame));
            pRow->addWidget(pFrame);
        }
        pLayout->addLayout(pRow);
    }
    // Containers: every group box holds its children.
    std::map<int, QGridLayout*> grids;
    for (QGridLayout* pGrid : formGrids) pGrid->setColumnStretch(kControl, 1);
    auto* pButtonRow = new QHBoxLayout;
    pButtonRow->addStretch(1);

    // The row and kind of the last control laid out in each grid, which a
    // control marked for the same row joins.
    struct CRowEnd {
        int m_nRow = -1;
        CtlKind m_kind = CtlKind::Label;
    };
    std::map<QGridLayout*, CRowEnd> rowEnds;
    std::map<std::pair<QGridLayout*, int>, QHBoxLayout*> rowBoxes;

    for (const CControl& control : controls) {
        if (IsBottomButton(control)) {
            auto* pButton = new QPushButton(Text(control.m_strText), this);
            pButton->setAutoDefault(false);
            pButton->setDefault(control.m_role == ButtonRole::Ok);
            const int id = control.m_nId;
            connect(pButton, &QPushButton::clicked, this, [this, id] { Forward([this, id] { m_model.Click(id); }); });
            pButtonRow->addWidget(pButton);
            m_bindings[id].m_pWidget = pButton;
            continue;
        }
        // A child of a group box that is not (yet) built goes to the form itself.
        const auto parent = grids.find(control.m_nParent);
        QGridLayout* pGrid = parent != grids.end()
                                 ? parent->second
                                 : formGrids[static_cast<std::size_t>(std::clamp(control.m_nColumn, 0, columns - 1))];
        const int row = pGrid->rowCount();
        if (control.m_kind == CtlKind::Group) {
            auto* pGroup = new QGroupBox(Text(control.m_strText), this);
            auto* pGroupGrid = new QGridLayout(pGroup);
            pGroupGrid->setColumnStretch(kControl, 1);
            grids[control.m_nId] = pGroupGrid;
            pGrid->addWidget(pGroup, row, 0, 1, kColumns);
            m_bindings[control.m_nId].m_pWidget = pGroup;
            rowEnds[pGrid] = {row, control.m_kind};
            continue;
        }
        AddControl(control, pGrid);
        // Spin arrows find their own place beside their buddy field.
        if (control.m_kind == CtlKind::Spin) continue;
        const CRowEnd previous = rowEnds[pGrid];
        if (!control.m_bSameRow || previous.m_nRow < 0) {
            rowEnds[pGrid] = {row, control.m_kind};
            continue;
        }
        // Built on a row of its own: move the caption, control and unit onto
        // the row before, after what that row already shows.
        QHBoxLayout*& pBox = rowBoxes[{pGrid, previous.m_nRow}];
        if (!pBox) pBox = RowBox(pGrid, previous.m_nRow, SharesItsCell(previous.m_kind));
        const CBinding& binding = m_bindings[control.m_nId];
        for (QWidget* pWidget : {static_cast<QWidget*>(binding.m_pLabel), binding.m_pWidget,
                                 static_cast<QWidget*>(binding.m_pValue), static_cast<QWidget*>(binding.m_pUnit)}) {
            if (!pWidget || pGrid->indexOf(pWidget) < 0) continue;
            pGrid->removeWidget(pWidget);
            pBox->insertWidget(pBox->count() - 1, pWidget);
        }
    }
    // Columns and group boxes keep their rows at the top when a neighbour
    // is taller.
    if (columns > 1)
        for (QGridLayout* pGrid : formGrids) pGrid->setRowStretch(pGrid->rowCount(), 1);
    // No stretch above the buttons: it would make a short dialog open taller
    // than its controls need, with a gap over the buttons.
    pLayout->addLayout(pButtonRow);
}

void CModelDialog::AddControl(const CControl& control, QGridLayout* pGrid)
{
    const int id = control.m_nId;
    const int row = pGrid->rowCount();
    CBinding& binding = m_bindings[id];
    QWidget* pParent = pGrid->parentWidget() ? pGrid->parentWidget() : this;
    auto caption = [&] {
        // A field named after its own unit ("min") shows the unit once, after it.
        if (control.m_strText.empty() || control.m_strText == control.m_strUnit) return;
        binding.m_pLabel = new QLabel(Text(control.m_strText), pParent);
        pGrid->addWidget(binding.m_pLabel, row, kCaption);
    };
    auto unit = [&] {
        if (control.m_strUnit.empty()) return;
        binding.m_pUnit = new QLabel(Text(control.m_strUnit), pParent);
        pGrid->addWidget(binding.m_pUnit, row, kUnit);
    };

    switch (control.m_kind) {
    case CtlKind::Label: {
        auto* pLabel = new QLabel(Text(control.m_strText), pParent);
        pLabel->setTextFormat(Qt::PlainText);
        binding.m_pWidget = pLabel;
        if (control.m_strValue.empty()) {
            pGrid->addWidget(pLabel, row, kCaption, 1, kColumns);
        } else {
            pGrid->addWidget(pLabel, row, kCaption);
            binding.m_pValue = new QLabel(pParent);
            binding.m_pValue->setTextFormat(Qt::PlainText);
            pGrid->addWidget(binding.m_pValue, row, kControl, 1, kColumns - kControl);
        }
        break;
    }
    case CtlKind::Edit:
    case CtlKind::PicEdit: {
        caption();
        QLineEdit* pEdit = nullptr;
        if (control.m_kind == CtlKind::PicEdit && control.m_pMask) {
            auto* pPic = new CPicEdit(pParent);
            pPic->SetBeep(m_beep);
            pPic->Attach(control.m_pMask);
            connect(pPic, &CPicEdit::EditedByUser, this, [this, id] {
                Forward([this, id] {
                    m_model.OnEditChange(id);
                    m_model.Changed();
                });
            });
            pEdit = pPic;
        } else {
            pEdit = new QLineEdit(pParent);
            if (control.m_nMaxLength > 0) pEdit->setMaxLength(control.m_nMaxLength);
            connect(pEdit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
                Forward([this, id, text] { m_model.SetText(id, Bytes(text)); });
            });
        }
        pEdit->installEventFilter(this);
        m_fieldIds[pEdit] = id;
        binding.m_pWidget = pEdit;
        pGrid->addWidget(pEdit, row, kControl);
        unit();
        break;
    }
    case CtlKind::Radio: {
        auto* pRadio = new QRadioButton(Text(control.m_strText), pParent);
        // The model keeps radio groups exclusive, not Qt.
        pRadio->setAutoExclusive(false);
        connect(pRadio, &QRadioButton::clicked, this, [this, id] { Forward([this, id] { m_model.Click(id); }); });
        binding.m_pWidget = pRadio;
        pGrid->addWidget(pRadio, row, kCaption, 1, kColumns);
        break;
    }
    case CtlKind::Check: {
        auto* pCheck = new QCheckBox(Text(control.m_strText), pParent);
        connect(pCheck, &QCheckBox::clicked, this, [this, id] { Forward([this, id] { m_model.Click(id); }); });
        binding.m_pWidget = pCheck;
        pGrid->addWidget(pCheck, row, kCaption, 1, kColumns);
        break;
    }
    case CtlKind::Combo: {
        caption();
        auto* pCombo = new QComboBox(pParent);
        connect(pCombo, &QComboBox::activated, this,
                [this, id](int index) { Forward([this, id, index] { m_model.Select(id, index); }); });
        if (control.m_bEditable) {
            // The typed text is the value; the items only offer texts to start from.
            pCombo->setEditable(true);
            pCombo->setInsertPolicy(QComboBox::NoInsert);
            pCombo->setMinimumContentsLength(28);
            connect(pCombo->lineEdit(), &QLineEdit::textEdited, this, [this, id](const QString& text) {
                Forward([this, id, text] { m_model.SetText(id, Bytes(text)); });
            });
        }
        binding.m_pWidget = pCombo;
        pGrid->addWidget(pCombo, row, kControl);
        unit();
        break;
    }
    case CtlKind::List: {
        caption();
        auto* pList = new QListWidget(pParent);
        connect(pList, &QListWidget::currentRowChanged, this,
                [this, id](int index) { Forward([this, id, index] { m_model.Select(id, index); }); });
        binding.m_pWidget = pList;
        pGrid->addWidget(pList, row, kControl, 1, kColumns - kControl);
        break;
    }
    case CtlKind::Button: {
        auto* pButton = new QPushButton(Text(control.m_strText), pParent);
        pButton->setAutoDefault(false);
        connect(pButton, &QPushButton::clicked, this, [this, id] { Forward([this, id] { m_model.Click(id); }); });
        binding.m_pWidget = pButton;
        pGrid->addWidget(pButton, row, kControl, 1, 1, Qt::AlignLeft);
        break;
    }
    case CtlKind::Spin: {
        QWidget* pSpin = MakeSpin(control);
        binding.m_pWidget = pSpin;
        // The arrows sit beside their buddy field when it is already shown.
        int buddyRow = -1, buddyColumn = 0, rowSpan = 0, columnSpan = 0;
        const auto buddy = m_bindings.find(control.m_nSpinBuddy);
        if (buddy != m_bindings.end() && buddy->second.m_pWidget) {
            const int index = pGrid->indexOf(buddy->second.m_pWidget);
            if (index >= 0) pGrid->getItemPosition(index, &buddyRow, &buddyColumn, &rowSpan, &columnSpan);
        }
        pGrid->addWidget(pSpin, buddyRow >= 0 ? buddyRow : row, kSpin);
        break;
    }
    case CtlKind::Group:
        break;
    }
    if (binding.m_pWidget) binding.m_pWidget->setObjectName(QStringLiteral("ctl%1").arg(id));
}

QWidget* CModelDialog::MakeSpin(const CControl& control)
{
    const int id = control.m_nId;
    auto* pSpin = new QWidget(this);
    auto* pLayout = new QVBoxLayout(pSpin);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    for (const int delta : {+1, -1}) {
        auto* pArrow = new QToolButton(pSpin);
        pArrow->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
        pArrow->setObjectName(delta > 0 ? QStringLiteral("up") : QStringLiteral("down"));
        pArrow->setAutoRepeat(true);
        pArrow->setFixedSize(18, 11);
        connect(pArrow, &QToolButton::clicked, this, [this, id, delta] {
            Forward([this, id, delta] {
                if (m_model.IsEnded()) return;
                m_model.OnSpin(id, delta);
                m_model.Changed();
            });
        });
        pLayout->addWidget(pArrow);
    }
    return pSpin;
}

void CModelDialog::Forward(const std::function<void()>& action)
{
    // Widgets changed by Refresh must not talk back to the model.
    if (m_bRefreshing) return;
    action();
    CloseIfEnded();
}

void CModelDialog::CloseIfEnded()
{
    if (m_model.IsEnded() && isVisible()) done(m_model.ResultOk() ? QDialog::Accepted : QDialog::Rejected);
}

void CModelDialog::Refresh()
{
    const bool wasRefreshing = m_bRefreshing;
    m_bRefreshing = true;
    setWindowTitle(Text(m_model.m_strCaption));
    for (const CControl& control : m_model.m_controls) {
        const auto it = m_bindings.find(control.m_nId);
        if (it != m_bindings.end() && it->second.m_pWidget) RefreshControl(control, it->second);
    }
    m_bRefreshing = wasRefreshing;
    if (!m_bRefreshing) CloseIfEnded();
}

void CModelDialog::RefreshControl(const CControl& control, CBinding& binding)
{
    QWidget* pWidget = binding.m_pWidget;
    const QSignalBlocker block(pWidget);
    pWidget->setEnabled(control.m_bEnabled);
    pWidget->setVisible(control.m_bVisible);
    if (binding.m_pLabel) {
        binding.m_pLabel->setText(Text(control.m_strText));
        binding.m_pLabel->setEnabled(control.m_bEnabled);
        binding.m_pLabel->setVisible(control.m_bVisible);
    }
    if (binding.m_pUnit) {
        const CControl* pUnitControl = control.m_nUnitId ? m_model.Find(control.m_nUnitId) : nullptr;
        binding.m_pUnit->setText(Text(control.m_strUnit));
        binding.m_pUnit->setEnabled(pUnitControl ? pUnitControl->m_bEnabled : control.m_bEnabled);
        binding.m_pUnit->setVisible(control.m_bVisible);
    }

    switch (control.m_kind) {
    case CtlKind::Label: {
        auto* pLabel = static_cast<QLabel*>(pWidget);
        if (binding.m_pValue) {
            pLabel->setText(Text(control.m_strText));
            binding.m_pValue->setText(Text(control.m_strValue));
            binding.m_pValue->setEnabled(control.m_bEnabled);
            binding.m_pValue->setVisible(control.m_bVisible);
        } else {
            // A label built without value that later gets one shows both.
            pLabel->setText(control.m_strValue.empty() ? Text(control.m_strText)
                                                       : Text(control.m_strText + " " + control.m_strValue));
        }
        break;
    }
    case CtlKind::Group:
        static_cast<QGroupBox*>(pWidget)->setTitle(Text(control.m_strText));
        break;
    case CtlKind::Edit:
    case CtlKind::PicEdit: {
        if (auto* pPic = qobject_cast<CPicEdit*>(pWidget)) {
            pPic->ShowModel();
            // Models set their masks at opening, after the widgets were built.
            if (control.m_pMask) WidenToShow(pPic, static_cast<int>(control.m_pMask->Text().size()));
            break;
        }
        auto* pEdit = static_cast<QLineEdit*>(pWidget);
        const QString text = Text(control.m_strValue);
        WidenToShow(pEdit, std::min(static_cast<int>(text.size()), kWidestPreset));
        if (pEdit->text() != text) {
            // Keep the caret where the user was typing when the model
            // rewrites the text (a refused character, a cut to length).
            const int caret = pEdit->cursorPosition();
            pEdit->setText(text);
            if (pEdit->hasFocus()) pEdit->setCursorPosition(std::min(caret, static_cast<int>(text.size())));
        }
        pEdit->setReadOnly(control.m_bReadOnly);
        pEdit->setMaxLength(control.m_nMaxLength > 0 ? control.m_nMaxLength : 32767);
        break;
    }
    case CtlKind::Radio:
    case CtlKind::Check: {
        auto* pButton = static_cast<QAbstractButton*>(pWidget);
        pButton->setText(Text(control.m_strText));
        pButton->setChecked(control.m_bChecked);
        break;
    }
    case CtlKind::Combo: {
        auto* pCombo = static_cast<QComboBox*>(pWidget);
        QStringList items;
        for (const auto& item : control.m_items) items << Text(item);
        QStringList shown;
        for (int i = 0; i < pCombo->count(); ++i) shown << pCombo->itemText(i);
        if (shown != items) {
            pCombo->clear();
            pCombo->addItems(items);
        }
        pCombo->setCurrentIndex(control.m_nSelection < pCombo->count() ? control.m_nSelection : -1);
        if (pCombo->isEditable() && pCombo->currentText() != Text(control.m_strValue))
            pCombo->setEditText(Text(control.m_strValue));
        break;
    }
    case CtlKind::List: {
        auto* pList = static_cast<QListWidget*>(pWidget);
        QStringList items;
        for (const auto& item : control.m_items) items << Text(item);
        QStringList shown;
        for (int i = 0; i < pList->count(); ++i) shown << pList->item(i)->text();
        if (shown != items) {
            pList->clear();
            pList->addItems(items);
        }
        pList->setCurrentRow(control.m_nSelection < pList->count() ? control.m_nSelection : -1);
        if (control.m_nSelection < 0) pList->clearSelection();
        break;
    }
    case CtlKind::Button:
        static_cast<QPushButton*>(pWidget)->setText(Text(control.m_strText));
        break;
    case CtlKind::Spin:
        break;
    }
}

void CModelDialog::SetFocus(int controlId)
{
    if (QWidget* pWidget = Widget(controlId)) pWidget->setFocus(Qt::OtherFocusReason);
}

void CModelDialog::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    if (m_bFocusApplied) return;
    m_bFocusApplied = true;
    if (m_model.m_nFocusId != 0) SetFocus(m_model.m_nFocusId);
}

bool CModelDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::FocusOut) {
        const auto it = m_fieldIds.find(pWatched);
        const auto reason = static_cast<QFocusEvent*>(pEvent)->reason();
        // Leaving the field for another control; a box or menu popping up
        // over the dialog does not count as leaving it.
        if (it != m_fieldIds.end() && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            const int id = it->second;
            Forward([this, id] { m_model.LeaveField(id); });
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void CModelDialog::keyPressEvent(QKeyEvent* pEvent)
{
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // Enter on a push button presses that button, elsewhere the default one.
        for (const auto& [id, binding] : m_bindings) {
            if (binding.m_pWidget && binding.m_pWidget == focusWidget() && qobject_cast<QPushButton*>(binding.m_pWidget)) {
                const int buttonId = id;
                Forward([this, buttonId] { m_model.Click(buttonId); });
                return;
            }
        }
        Forward([this] { m_model.PressEnter(); });
        return;
    }
    case Qt::Key_Escape:
        Forward([this] { m_model.PressEscape(); });
        return;
    default:
        QWidget::keyPressEvent(pEvent);
    }
}

void CModelDialog::closeEvent(QCloseEvent* pEvent)
{
    // The close box is the model's to refuse (a dialog may stay open).
    if (!m_model.IsEnded()) m_model.CloseBox();
    if (m_model.IsEnded()) {
        pEvent->accept();
        done(m_model.ResultOk() ? QDialog::Accepted : QDialog::Rejected);
    } else {
        pEvent->ignore();
    }
}

}  // namespace velmor
