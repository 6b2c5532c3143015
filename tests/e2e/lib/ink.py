"""Prints how many dark pixels (text) a rectangle of a window holds.
Usage: ink.py WINDOW_ID LEFT TOP WIDTH HEIGHT   (pixels, inside the window)"""

import sys

from Xlib import X, display

window_id, left, top, width, height = (int(a, 0) for a in sys.argv[1:6])
d = display.Display()
window = d.create_resource_object("window", window_id)
image = window.get_image(left, top, width, height, X.ZPixmap, 0xFFFFFFFF)
data = image.data if isinstance(image.data, (bytes, bytearray)) else image.data.encode("latin-1")
dark = 0
for i in range(0, len(data) - 3, 4):
    if data[i] + data[i + 1] + data[i + 2] < 200:
        dark += 1
print(dark)
