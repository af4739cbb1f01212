#!/usr/bin/env python3
# Presses keys and clicks through the XTEST extension of the X server in
# $DISPLAY: xtest-keys.py PAUSE CHORD... where a chord is a key ("Return"),
# modifiers and a key ("alt+s") or a click ("click:X,Y"); PAUSE seconds
# pass after each.
import ctypes, sys, time
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
pause = float(sys.argv[1])
modifiers = {"alt": "Alt_L", "ctrl": "Control_L", "shift": "Shift_L"}
def keycode(name):
    code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
    if code == 0:
        sys.exit("unknown key " + name)
    return code
for chord in sys.argv[2:]:
    if chord.startswith("click:"):
        x, y = (int(v) for v in chord[6:].split(","))
        xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
        xtst.XTestFakeButtonEvent(display, 1, 1, 0)
        xtst.XTestFakeButtonEvent(display, 1, 0, 0)
        x11.XFlush(display)
        time.sleep(pause)
        continue
    parts = chord.split("+")
    codes = [keycode(modifiers.get(p.lower(), p)) for p in parts[:-1]] + [keycode(parts[-1])]
    for code in codes:
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
    for code in reversed(codes):
        xtst.XTestFakeKeyEvent(display, code, 0, 0)
    x11.XFlush(display)
    time.sleep(pause)
