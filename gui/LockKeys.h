#pragma once
// The state of the Caps, Num and Scroll Lock keys, for the status bar's
// indicators. Qt does not report lock states, so on X11 the keyboard
// extension of the display's own Xlib is asked; libX11 is loaded when
// needed, so the program neither links against it nor needs it elsewhere.

namespace velmor {

struct CLockKeyState {
    bool m_bCaps = false;
    bool m_bNum = false;
    bool m_bScroll = false;
};

// False when the platform cannot tell (not X11, or no libX11); |state| is
// then left alone.
bool ReadLockKeys(CLockKeyState& state);

}  // namespace velmor
