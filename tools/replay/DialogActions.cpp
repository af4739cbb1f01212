#include "DialogActions.h"

#include "text/Text.h"
#include "widgets/PictureMask.h"

namespace velmor::replay {

namespace {

const char* KindName(CtlKind kind)
{
    switch (kind) {
    case CtlKind::Label: return "label";
    case CtlKind::Group: return "group";
    case CtlKind::Edit: return "edit";
    case CtlKind::PicEdit: return "picedit";
    case CtlKind::Radio: return "radio";
    case CtlKind::Check: return "check";
    case CtlKind::Combo: return "combo";
    case CtlKind::List: return "list";
    case CtlKind::Button: return "button";
    case CtlKind::Spin: return "spin";
    }
    return "control";
}

bool IsEditField(const CControl& control)
{
    return control.m_kind == CtlKind::Edit || control.m_kind == CtlKind::PicEdit;
}

std::string ControlValue(const CControl& c)
{
    switch (c.m_kind) {
    case CtlKind::Label:
    case CtlKind::Group:
        return c.m_strValue.empty() ? std::string() : " = " + Quoted(c.m_strValue);
    case CtlKind::Edit:
    case CtlKind::PicEdit:
        return " = " + Quoted(c.m_pMask ? c.m_pMask->Text() : c.m_strValue);
    case CtlKind::Combo:
    case CtlKind::List:
        if (c.m_nSelection < 0 || c.m_nSelection >= static_cast<int>(c.m_items.size())) return " = none";
        return " = " + Quoted(c.m_items[static_cast<std::size_t>(c.m_nSelection)]);
    case CtlKind::Radio:
    case CtlKind::Check:
        return c.m_bChecked ? " on" : " off";
    case CtlKind::Button:
    case CtlKind::Spin:
        return {};
    }
    return {};
}

// A click or an edit puts the focus on its control; the field that loses it
// runs its leave reaction first, as on the desktop where clicking OK after
// typing validates the field before the button acts. Enter and Escape keep
// the focus where it is.
void MoveFocus(CDialogModel& dialog, int id)
{
    const int from = dialog.m_nFocusId;
    if (from != 0 && from != id) {
        const CControl* previous = dialog.Find(from);
        if (previous && IsEditField(*previous)) dialog.LeaveField(from);
    }
    if (!dialog.IsEnded()) dialog.Focus(id);
}

// The control named |label|, or null after printing why the operator could
// not reach it (hidden or disabled).
CControl* Reachable(CDialogModel& dialog, const CScriptLine& line,
                    const std::function<void(const std::string&)>& emit)
{
    CControl* control = dialog.FindByLabel(line.m_strArg);
    if (!control)
        throw CScriptError(line.m_nLine, "dialog " + Quoted(dialog.m_strCaption) + " has no control " +
                                             Quoted(line.m_strArg));
    if (!control->m_bVisible) {
        emit("dlg " + Quoted(line.m_strArg) + " hidden");
        return nullptr;
    }
    if (!control->m_bEnabled) {
        emit("dlg " + Quoted(line.m_strArg) + " disabled");
        return nullptr;
    }
    return control;
}

bool OnOff(const CScriptLine& line)
{
    if (line.m_strValue == "on") return true;
    if (line.m_strValue == "off") return false;
    throw CScriptError(line.m_nLine, "check boxes and radio buttons take on or off, not " + Quoted(line.m_strValue));
}

void SetControl(CDialogModel& dialog, const CScriptLine& line, const std::function<void(const std::string&)>& emit)
{
    CControl* control = Reachable(dialog, line, emit);
    if (!control) return;
    const int id = control->m_nId;
    switch (control->m_kind) {
    case CtlKind::Edit:
    case CtlKind::PicEdit:
        if (control->m_bReadOnly) {
            emit("dlg " + Quoted(line.m_strArg) + " read-only");
            return;
        }
        MoveFocus(dialog, id);
        dialog.SetText(id, line.m_strValue);
        return;
    case CtlKind::Combo:
    case CtlKind::List: {
        int index = -1;
        for (std::size_t i = 0; i < control->m_items.size(); ++i)
            if (control->m_items[i] == line.m_strValue) {
                index = static_cast<int>(i);
                break;
            }
        if (index < 0)
            throw CScriptError(line.m_nLine, Quoted(line.m_strArg) + " has no item " + Quoted(line.m_strValue));
        MoveFocus(dialog, id);
        dialog.Select(id, index);
        return;
    }
    case CtlKind::Check: {
        const bool wanted = OnOff(line);
        if (control->m_bChecked == wanted) return;
        MoveFocus(dialog, id);
        dialog.Click(id);
        return;
    }
    case CtlKind::Radio: {
        const bool wanted = OnOff(line);
        if (control->m_bChecked == wanted) return;
        if (wanted) {
            MoveFocus(dialog, id);
            dialog.Click(id);
        } else {
            // A radio button is not switched off by clicking it; the script
            // may still clear it, as a dialog's own code can.
            dialog.Check(id, false);
            dialog.Changed();
        }
        return;
    }
    default:
        throw CScriptError(line.m_nLine, std::string("cannot set the ") + KindName(control->m_kind) + " " +
                                             Quoted(line.m_strArg));
    }
}

void ClickControl(CDialogModel& dialog, const CScriptLine& line,
                  const std::function<void(const std::string&)>& emit)
{
    CControl* control = Reachable(dialog, line, emit);
    if (!control) return;
    switch (control->m_kind) {
    case CtlKind::Button:
    case CtlKind::Radio:
    case CtlKind::Check: {
        const int id = control->m_nId;
        MoveFocus(dialog, id);
        dialog.Click(id);
        return;
    }
    default:
        throw CScriptError(line.m_nLine, std::string("cannot click the ") + KindName(control->m_kind) + " " +
                                             Quoted(line.m_strArg));
    }
}

}  // namespace

void RunDialogAction(CDialogModel& dialog, const CScriptLine& line,
                     const std::function<void(const std::string&)>& emit)
{
    switch (line.m_directive) {
    case Directive::DlgSet: SetControl(dialog, line, emit); break;
    case Directive::DlgClick: ClickControl(dialog, line, emit); break;
    case Directive::DlgKey:
        if (line.m_strArg == "Enter") dialog.PressEnter();
        else dialog.PressEscape();
        break;
    case Directive::DlgClose: dialog.CloseBox(); break;
    case Directive::DlgShow:
        for (const std::string& text : DescribeDialog(dialog)) emit(text);
        break;
    default: break;
    }
}

std::vector<std::string> DescribeDialog(const CDialogModel& dialog)
{
    std::vector<std::string> lines;
    lines.push_back("dlg " + Quoted(dialog.m_strCaption));
    for (const CControl& c : dialog.m_controls) {
        std::string text = std::string("  ") + KindName(c.m_kind) + " " + Quoted(c.m_strText) + ControlValue(c);
        if (!c.m_strUnit.empty()) text += " unit " + Quoted(c.m_strUnit);
        if (c.m_bReadOnly) text += " read-only";
        if (!c.m_bEnabled) text += " disabled";
        if (!c.m_bVisible) text += " hidden";
        lines.push_back(std::move(text));
    }
    return lines;
}

}  // namespace velmor::replay
