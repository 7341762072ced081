"""Gives each letter named on the command line a key of its own in the X server at $DISPLAY,
on the lowest keys that have none.

xdotool types a letter missing from the keymap by binding it to a spare key for a moment, and
wine, which reads the keymap again only when told it changed, often takes that key for
nothing. Bound before wine starts, the letters are plain keys to it.
"""
import ctypes
import ctypes.util
import sys

x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int)]
x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                       ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
low, high = ctypes.c_int(), ctypes.c_int()
x11.XDisplayKeycodes(display, ctypes.byref(low), ctypes.byref(high))
per = ctypes.c_int()
count = high.value - low.value + 1
table = x11.XGetKeyboardMapping(display, low.value, count, ctypes.byref(per))
spare = [low.value + i for i in range(count) if not any(table[i * per.value + j] for j in range(per.value))]
x11.XFree(table)
letters = "".join(sys.argv[1:])
if len(spare) < len(letters):
    sys.exit("no spare keys left")
for letter, keycode in zip(letters, spare):
    code = ord(letter)
    keysym = code if code < 0x100 else 0x01000000 | code  # Latin-1, else the Unicode keysym
    x11.XChangeKeyboardMapping(display, keycode, 2, (ctypes.c_ulong * 2)(keysym, keysym), 1)
x11.XSync(display, 0)
x11.XCloseDisplay(display)
