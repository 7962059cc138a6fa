#!/usr/bin/python3
"""Writes damped_sine_plot.png, the bundled example of a real plot, and damped_sine_plot.txt,
the positions a user reads off it to digitise it.

The plot shows the function of the other examples, f(x) = exp(-x/4) * cos(2x) for x from 0 to
10, as matplotlib (Debian package python3-matplotlib, 3.6) draws it with its default settings
(anti-aliased, the curve in its first colour): 640 x 400 pixels, with title, axis labels,
ticks, grid and a legend. make_example.sh runs this script after its own pictures.

Pixel positions are 0-based, x to the right and y down, a pixel's centre at its index, as
image viewers show them. They come from matplotlib's own transforms: its display coordinates
put the picture's left and bottom edges at 0, so a column is display x - 0.5 and a row is the
height less display y less 0.5.
"""

import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.colors import to_hex  # noqa: E402
from PIL import Image  # noqa: E402

os.chdir(os.path.dirname(os.path.abspath(__file__)))

x = np.linspace(0, 10, 1000)
fig, ax = plt.subplots(figsize=(6.4, 4.0), dpi=100)
(line,) = ax.plot(x, np.exp(-x / 4) * np.cos(2 * x), label="exp(-x/4) cos(2x)")
ax.set_title("Damped sine")
ax.set_xlabel("x")
ax.set_ylabel("f(x)")
ax.grid(True)
legend = ax.legend(loc="upper right")
fig.canvas.draw()
width, height = fig.canvas.get_width_height()
fig.savefig("damped_sine_plot.png")


def column(v):
    return ax.transData.transform((v, 0))[0] - 0.5


def row(v):
    return height - ax.transData.transform((0, v))[1] - 0.5


def inside(ticks, limits):
    return [t for t in ticks if limits[0] <= t <= limits[1]]


x_ticks = inside(ax.get_xticks(), ax.get_xlim())
y_ticks = inside(ax.get_yticks(), ax.get_ylim())
x_pair = (x_ticks[0], x_ticks[-1])
y_pair = (y_ticks[-1], y_ticks[0])
box = ax.get_window_extent()
# Inside the frame's lines (0.8 pt, about a pixel, centred on the box) with a pixel to spare.
half = ax.spines["left"].get_linewidth() * fig.dpi / 72 / 2
area = (
    math.ceil(box.x0 + half) + 1,
    math.ceil(height - box.y1 + half) + 1,
    math.floor(box.x1 - half) - 2,
    math.floor(height - box.y0 - half) - 2,
)
key = legend.get_window_extent()
mask = (
    math.floor(key.x0) - 1,
    math.floor(height - key.y1) - 1,
    math.ceil(key.x1) + 1,
    math.ceil(height - key.y0) + 1,
)
colour = to_hex(line.get_color()).upper()

x_option = ",".join("%.2f=%g" % (column(v), v) for v in x_pair)
y_option = ",".join("%.2f=%g" % (row(v), v) for v in y_pair)

# Where the tick marks are drawn: matplotlib snaps them to whole pixels. Found in the picture
# as the darkest pixel near the position, 3 pixels outside the frame.
grey = np.asarray(Image.open("damped_sine_plot.png").convert("L"), dtype=np.int64)
below = round(height - box.y0 - 0.5) + 3
left_of = round(box.x0 - 0.5) - 3


def darkest(values, near):
    start = round(near) - 2
    return start + int(np.argmin(values[start : start + 5]))


drawn_column = {v: darkest(grey[below, :], column(v)) for v in x_pair}
drawn_row = {v: darkest(grey[:, left_of], row(v)) for v in y_pair}
with open("damped_sine_plot.txt", "w") as out:
    out.write(
        "damped_sine_plot.png: %d x %d pixels, written by make_plot.py.\n"
        "Pixel positions: 0-based, x to the right, y down, a pixel's centre at its index.\n"
        "\n" % (width, height)
    )
    out.write("curve colour     %s\n" % colour)
    out.write("plot area        left %d, top %d, right %d, bottom %d (inside the frame)\n" % area)
    out.write("legend box       left %d, top %d, right %d, bottom %d\n" % mask)
    for v in x_pair:
        out.write("x tick %-9g at column %.2f, drawn at %d\n" % (v, column(v), drawn_column[v]))
    for v in y_pair:
        out.write("y tick %-9g at row %.2f, drawn at %d\n" % (v, row(v), drawn_row[v]))
    out.write(
        "\n"
        "The positions are matplotlib's own; it draws tick marks and grid lines on whole\n"
        "pixels, as an image viewer shows them (\"drawn at\"), up to a pixel from the exact\n"
        "position, while the curve is drawn where it lies. Typing the drawn pixels instead\n"
        "moves the curve's values by as much. The legend's sample line has the curve's\n"
        "colour, so its box is masked. The command:\n"
        "\n"
        "  curvlog /T%s /R%d,%d,%d,%d /M%d,%d,%d,%d /Y%s /X%s \\\n"
        "    examples/damped_sine_plot.png damped_sine_plot.csv\n"
        % ((colour,) + area + mask + (y_option, x_option))
    )
