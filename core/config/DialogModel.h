#pragma once
// A setup dialog as data: its caption, its controls with their texts, values
// and enabled/checked states, and the reactions the dialog has to clicks,
// edits and closing. The Qt front end renders a model as widgets and forwards
// user actions; the replay tool and the tests drive the same model directly.

#include <memory>
#include <string>
#include <vector>

namespace velmor {

class CPictureMask;

enum class CtlKind { Label, Group, Edit, PicEdit, Radio, Check, Combo, List, Button, Spin };
// Ok: validates with OnOK() and closes with OK. Cancel: closes with Cancel.
enum class ButtonRole { None, Ok, Cancel };

struct CControl {
    int m_nId = 0;
    CtlKind m_kind = CtlKind::Label;
    // Caption of a label, group box, button, radio button or check box; the
    // label beside an edit field, list or picture-mask field.
    std::string m_strText;
    // Edit text (for a picture-mask field: mirrors the mask's text).
    std::string m_strValue;
    // Unit label shown after an edit field ("ns", "meter"...). Empty: none.
    std::string m_strUnit;
    int m_nUnitId = 0;  // id of the unit label when it is enabled separately
    std::vector<std::string> m_items;
    int m_nSelection = -1;
    bool m_bChecked = false;
    bool m_bEnabled = true;
    bool m_bVisible = true;
    bool m_bReadOnly = false;
    int m_nMaxLength = 0;  // 0: no limit
    ButtonRole m_role = ButtonRole::None;
    int m_nRadioGroup = 0;  // radio buttons with the same group exclude each other
    int m_nParent = 0;      // id of the enclosing group box, 0 for none
    int m_nSpinBuddy = 0;                   // spin control: the edit it steps
    std::shared_ptr<CPictureMask> m_pMask;  // picture-mask field
    // Layout hints for front ends that draw the dialog; no behaviour hangs on them.
    bool m_bSameRow = false;  // shown on the row of the control before it
    int m_nColumn = 0;        // column of a top-level control when the form has several
};

// A control with its id, kind and text; every other member at its default.
CControl MakeControl(int id, CtlKind kind, std::string text, int parent = 0, int radioGroup = 0);
// A push button; Ok and Cancel roles close the dialog.
CControl MakeButton(int id, std::string text, ButtonRole role = ButtonRole::None);
// A picture-mask field; the dialog's set-up gives it its mask.
CControl MakeMaskField(int id, std::string label);

// The caption of the framework's own validation boxes ("Please enter...").
inline constexpr const char* kAppCaption = "Velmor";

class IDialogView {
public:
    virtual ~IDialogView() = default;
    // The model changed; show every control's state again.
    virtual void Refresh() = 0;
    virtual void SetFocus(int controlId) = 0;
};

class CDialogModel {
public:
    virtual ~CDialogModel() = default;

    std::string m_strCaption;
    std::vector<CControl> m_controls;
    int m_nFocusId = 0;  // control that gets the focus at opening, 0: the first

    CControl& Ctl(int id);
    const CControl& Ctl(int id) const;
    CControl* Find(int id);
    // Finds a control by its text (without '&' and a trailing ':'), as the
    // replay tool names them. Null when none.
    CControl* FindByLabel(const std::string& label);
    CControl& Add(CControl control);
    // The usual "OK" and "Cancel" buttons.
    void AddOkCancel(int okId, int cancelId);

    // Reactions; the defaults do nothing.
    virtual void OnInitDialog() {}
    virtual void OnCommand(int /*id*/) {}      // button, radio or check box clicked
    virtual void OnEditChange(int /*id*/) {}   // edit text changed
    virtual void OnKillFocus(int /*id*/) {}    // edit field left
    virtual void OnSelChange(int /*id*/) {}    // list selection changed
    virtual void OnSpin(int /*id*/, int /*delta*/) {}
    virtual bool OnOK() { return true; }       // false keeps the dialog open
    virtual void OnCancel() {}
    virtual void OnDestroy() {}                // after every way of closing

    // Standard actions, shared by every front end. Each applies the control's
    // own behaviour (radio exclusivity, check toggling) and then the reaction.
    void Init();
    void Click(int id);
    void SetText(int id, const std::string& text);
    void Select(int id, int index);
    void LeaveField(int id);
    void PressEnter();
    void PressEscape();
    void CloseBox();
    void EndDialog(bool ok);

    bool IsEnded() const { return m_bEnded; }
    bool ResultOk() const { return m_bResultOk; }
    // Runs OnDestroy once.
    void Destroy();

    IDialogView* m_pView = nullptr;
    void Changed();
    void Focus(int id);

    // Helpers for models
    void Enable(int id, bool enabled);
    void Check(int id, bool checked);
    bool IsChecked(int id) const;
    std::string Text(int id) const;
    // Picture-mask fields keep m_strValue in step with their mask text.
    void SyncMasks();

private:
    bool m_bEnded = false;
    bool m_bResultOk = false;
    bool m_bDestroyed = false;
};

}  // namespace velmor
