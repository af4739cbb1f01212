#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace velmor {

namespace {

// A window's frame: what its window manager added, if it has been shown.
QMargins FrameOf(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

}  // namespace

QRect FitInside(const QRect& frame, const QRect& available)
{
    if (available.isEmpty()) return frame;
    QRect fitted = frame;
    fitted.setWidth(std::clamp(frame.width(), 1, available.width()));
    fitted.setHeight(std::clamp(frame.height(), 1, available.height()));
    if (fitted.right() > available.right()) fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom()) fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left()) fitted.moveLeft(available.left());
    if (fitted.top() < available.top()) fitted.moveTop(available.top());
    return fitted;
}

QRect AvailableAreaAt(const QRect& frame)
{
    QScreen* pScreen = QGuiApplication::screenAt(frame.center());
    if (!pScreen) pScreen = QGuiApplication::primaryScreen();
    return pScreen ? pScreen->availableGeometry() : QRect();
}

void PlaceInsideScreen(QWidget& window, const QWidget* pOver)
{
    QScreen* pScreen = pOver && pOver->isVisible() ? pOver->screen() : QGuiApplication::primaryScreen();
    if (!pScreen) return;
    const QRect available = pScreen->availableGeometry();
    QMargins frame = FrameOf(window);
    if (frame.isNull() && !window.isVisible()) {
        frame = pOver && pOver->isVisible() ? FrameOf(*pOver) : QMargins();
        // A window manager that has not framed anything yet: room for a
        // title bar and a thin border all the same.
        if (frame.isNull() && QGuiApplication::platformName() == QLatin1String("xcb")) frame = QMargins(4, 28, 4, 4);
    }
    QRect outer(QPoint(0, 0), window.size().grownBy(frame));
    outer.moveCenter(pOver && pOver->isVisible() ? pOver->frameGeometry().center() : available.center());
    outer = FitInside(outer, available);
    const QRect client = outer.marginsRemoved(frame);
    window.resize(std::max(1, client.width()), std::max(1, client.height()));
    // A window's position is its frame's.
    window.move(outer.topLeft());
}

}  // namespace velmor
