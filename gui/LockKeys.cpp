#include "LockKeys.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <dlfcn.h>

namespace velmor {

namespace {

// The few Xlib entry points used, by their C signatures.
using XAtom = unsigned long;
using XInternAtomFn = XAtom (*)(void* display, const char* name, int onlyIfExists);
using XkbGetNamedIndicatorFn = int (*)(void* display, XAtom name, int* index, int* state, void* map, int* real);

struct CXlib {
    XInternAtomFn m_pInternAtom = nullptr;
    XkbGetNamedIndicatorFn m_pGetNamedIndicator = nullptr;
    bool Loaded() const { return m_pInternAtom && m_pGetNamedIndicator; }
};

const CXlib& Xlib()
{
    static const CXlib xlib = [] {
        CXlib lib;
        // Already mapped into the process by Qt's X11 platform plugin.
        void* pHandle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (!pHandle) return lib;
        lib.m_pInternAtom = reinterpret_cast<XInternAtomFn>(dlsym(pHandle, "XInternAtom"));
        lib.m_pGetNamedIndicator = reinterpret_cast<XkbGetNamedIndicatorFn>(dlsym(pHandle, "XkbGetNamedIndicator"));
        return lib;
    }();
    return xlib;
}

void* X11Display()
{
#if QT_CONFIG(xcb)
    if (auto* pX11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return pX11->display();
#endif
    return nullptr;
}

bool Indicator(void* pDisplay, const char* name, bool& on)
{
    const CXlib& xlib = Xlib();
    const XAtom atom = xlib.m_pInternAtom(pDisplay, name, 1);
    if (atom == 0) return false;
    int state = 0;
    if (!xlib.m_pGetNamedIndicator(pDisplay, atom, nullptr, &state, nullptr, nullptr)) return false;
    on = state != 0;
    return true;
}

}  // namespace

bool ReadLockKeys(CLockKeyState& state)
{
    void* pDisplay = X11Display();
    if (!pDisplay || !Xlib().Loaded()) return false;
    CLockKeyState read = state;
    const bool caps = Indicator(pDisplay, "Caps Lock", read.m_bCaps);
    const bool num = Indicator(pDisplay, "Num Lock", read.m_bNum);
    const bool scroll = Indicator(pDisplay, "Scroll Lock", read.m_bScroll);
    if (!caps && !num && !scroll) return false;
    state = read;
    return true;
}

}  // namespace velmor
