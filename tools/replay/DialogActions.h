#pragma once
// The script's hands on an open dialog: "dlg set", "dlg click", "dlg key",
// "dlg close" and "dlg show", acting through the dialog model's own standard
// actions so a replay exercises the same reactions as the desktop.

#include <functional>
#include <string>
#include <vector>

#include "Script.h"
#include "config/DialogModel.h"

namespace velmor::replay {

// Runs one dlg directive on |dialog|. Output lines go to |emit|. Throws
// CScriptError for a label the dialog does not have or a value a control
// cannot take.
void RunDialogAction(CDialogModel& dialog, const CScriptLine& line,
                     const std::function<void(const std::string&)>& emit);

// The "dlg show" listing: the caption line, then one line per control.
std::vector<std::string> DescribeDialog(const CDialogModel& dialog);

}  // namespace velmor::replay
