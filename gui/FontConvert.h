#pragma once
// The display font between the settings' LOGFONT record and Qt: the record
// is what the settings file keeps, a QFont is what the view draws with.

#include <QFont>

#include "settings/FontSettings.h"

class QWidget;

namespace velmor {

// Negative heights are character heights in pixels, positive ones cell
// heights (character plus internal leading); 0 keeps the default size.
// The face is asked for with a fixed-pitch type-writer hint, so a face that
// is not installed falls back to a monospace one.
QFont LogFontToQFont(const CLogFont& font);
// Copies size (as a negative pixel height), weight, italic, underline,
// strike-out and face name into |font|; the other fields stay.
void QFontToLogFont(const QFont& qfont, CLogFont& font);
// The modal chooser listing fixed-pitch fonts only, without effect controls.
bool RunFontChooser(CLogFont& font, QWidget* pParent);

}  // namespace velmor
