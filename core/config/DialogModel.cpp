#include "config/DialogModel.h"

#include <stdexcept>

#include "text/Text.h"
#include "widgets/PictureMask.h"

namespace velmor {

namespace {
// A control found by its label ignores the colon that ends many labels.
std::string LabelKey(const std::string& text)
{
    std::string out = Plain(text);
    if (!out.empty() && out.back() == ':') out.pop_back();
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}
}  // namespace

CControl MakeControl(int id, CtlKind kind, std::string text, int parent, int radioGroup)
{
    CControl c;
    c.m_nId = id;
    c.m_kind = kind;
    c.m_strText = std::move(text);
    c.m_nParent = parent;
    c.m_nRadioGroup = radioGroup;
    return c;
}

CControl MakeButton(int id, std::string text, ButtonRole role)
{
    CControl c = MakeControl(id, CtlKind::Button, std::move(text));
    c.m_role = role;
    return c;
}

CControl MakeMaskField(int id, std::string label)
{
    CControl c = MakeControl(id, CtlKind::PicEdit, std::move(label));
    c.m_pMask = std::make_shared<CPictureMask>();
    return c;
}

CControl* CDialogModel::Find(int id)
{
    for (auto& c : m_controls)
        if (c.m_nId == id) return &c;
    return nullptr;
}

CControl& CDialogModel::Ctl(int id)
{
    if (CControl* c = Find(id)) return *c;
    throw std::logic_error("dialog has no control " + std::to_string(id));
}

const CControl& CDialogModel::Ctl(int id) const { return const_cast<CDialogModel*>(this)->Ctl(id); }

CControl* CDialogModel::FindByLabel(const std::string& label)
{
    const std::string wanted = LabelKey(label);
    for (auto& c : m_controls)
        if (c.m_kind != CtlKind::Group && LabelKey(c.m_strText) == wanted) return &c;
    for (auto& c : m_controls)
        if (LabelKey(c.m_strText) == wanted) return &c;
    return nullptr;
}

CControl& CDialogModel::Add(CControl control)
{
    m_controls.push_back(std::move(control));
    return m_controls.back();
}

void CDialogModel::AddOkCancel(int okId, int cancelId)
{
    Add(MakeButton(okId, "OK", ButtonRole::Ok));
    Add(MakeButton(cancelId, "Cancel", ButtonRole::Cancel));
}

void CDialogModel::Changed()
{
    SyncMasks();
    if (m_pView) m_pView->Refresh();
}

void CDialogModel::Focus(int id)
{
    m_nFocusId = id;
    if (m_pView) m_pView->SetFocus(id);
}

void CDialogModel::SyncMasks()
{
    for (auto& c : m_controls)
        if (c.m_pMask) c.m_strValue = c.m_pMask->Text();
}

void CDialogModel::Init()
{
    OnInitDialog();
    Changed();
}

void CDialogModel::Click(int id)
{
    CControl* c = Find(id);
    if (!c || !c->m_bEnabled || m_bEnded) return;
    switch (c->m_kind) {
    case CtlKind::Radio:
        for (auto& other : m_controls)
            if (other.m_kind == CtlKind::Radio && other.m_nRadioGroup == c->m_nRadioGroup)
                other.m_bChecked = false;
        c->m_bChecked = true;
        OnCommand(id);
        break;
    case CtlKind::Check:
        c->m_bChecked = !c->m_bChecked;
        OnCommand(id);
        break;
    case CtlKind::Button:
        if (c->m_role == ButtonRole::Ok) {
            SyncMasks();
            if (OnOK()) EndDialog(true);
        } else if (c->m_role == ButtonRole::Cancel) {
            OnCancel();
            EndDialog(false);
        } else {
            OnCommand(id);
        }
        break;
    default:
        OnCommand(id);
        break;
    }
    Changed();
}

void CDialogModel::SetText(int id, const std::string& text)
{
    CControl* c = Find(id);
    if (!c || m_bEnded) return;
    if (c->m_pMask) {
        c->m_pMask->FillFromDigits(text, 0, false, true);
        c->m_strValue = c->m_pMask->Text();
    } else {
        std::string value = text;
        if (c->m_nMaxLength > 0 && value.size() > static_cast<std::size_t>(c->m_nMaxLength))
            value.resize(static_cast<std::size_t>(c->m_nMaxLength));
        c->m_strValue = value;
    }
    OnEditChange(id);
    Changed();
}

void CDialogModel::Select(int id, int index)
{
    CControl* c = Find(id);
    if (!c || m_bEnded) return;
    c->m_nSelection = (index >= 0 && index < static_cast<int>(c->m_items.size())) ? index : -1;
    OnSelChange(id);
    Changed();
}

void CDialogModel::LeaveField(int id)
{
    if (m_bEnded) return;
    OnKillFocus(id);
    Changed();
}

void CDialogModel::PressEnter()
{
    for (auto& c : m_controls)
        if (c.m_kind == CtlKind::Button && c.m_role == ButtonRole::Ok) {
            // The Enter key works even for a hidden default button.
            SyncMasks();
            if (!m_bEnded && OnOK()) EndDialog(true);
            Changed();
            return;
        }
}

void CDialogModel::PressEscape()
{
    if (m_bEnded) return;
    OnCancel();
    EndDialog(false);
    Changed();
}

void CDialogModel::CloseBox() { PressEscape(); }

void CDialogModel::EndDialog(bool ok)
{
    m_bEnded = true;
    m_bResultOk = ok;
}

void CDialogModel::Destroy()
{
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    OnDestroy();
}

void CDialogModel::Enable(int id, bool enabled)
{
    if (CControl* c = Find(id)) c->m_bEnabled = enabled;
}

void CDialogModel::Check(int id, bool checked)
{
    if (CControl* c = Find(id)) c->m_bChecked = checked;
}

bool CDialogModel::IsChecked(int id) const
{
    for (auto& c : m_controls)
        if (c.m_nId == id) return c.m_bChecked;
    return false;
}

std::string CDialogModel::Text(int id) const
{
    for (auto& c : m_controls)
        if (c.m_nId == id) return c.m_pMask ? c.m_pMask->Text() : c.m_strValue;
    return {};
}

}  // namespace velmor
