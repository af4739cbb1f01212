#pragma once
// Windows open where they can be seen whole: inside the screen's available
// area (the work area without panels and docks), smaller when the screen is.

#include <QRect>

class QWidget;

namespace velmor {

// |frame| (a window's outer rectangle) moved into |available|, and made
// smaller only where it is wider or taller than that. An empty |available|
// leaves it as it is.
QRect FitInside(const QRect& frame, const QRect& available);

// Before |window| is first shown: its outer rectangle centred over |pOver|
// (else on the primary screen) and fitted inside that screen's available
// area. Until the window manager has framed it, its frame is taken to be
// |pOver|'s, or a usual title bar and border.
void PlaceInsideScreen(QWidget& window, const QWidget* pOver);

// The available area of the screen |frame|'s centre is on (else of the
// primary screen); empty without any screen.
QRect AvailableAreaAt(const QRect& frame);

}  // namespace velmor
