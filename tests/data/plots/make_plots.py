#!/usr/bin/python3
"""Writes the plot pictures of this directory, the curves' data beside them and plots.txt, the
table of what a reader needs to digitise each picture and what it should find.

    cd tests/data/plots && /usr/bin/python3 make_plots.py          # write everything
    cd tests/data/plots && /usr/bin/python3 make_plots.py --check  # only measure plots.txt

Needs python3-matplotlib, python3-pil, python3-numpy, gnuplot (its pngcairo terminal),
ImageMagick (convert) and cjpeg (libjpeg-turbo-progs). README.txt says which versions made the
files in the repository.

Pixel coordinates are 0-based, x to the right and y down, a pixel's centre at its index. A
renderer's own coordinates put the edge of pixel 0 at 0 (matplotlib's display coordinates also
count y up from the bottom edge), so a pixel coordinate is the renderer's less one half.

After writing, every row of plots.txt is measured the way a digitiser would: the pixels within
the row's colour distance inside its area and outside its masks, their mean row per column,
against the curve's data drawn through the row's ticks. The mean and largest distance (pixels)
and the columns with data are printed; no row may stray by more than a pixel on average.
"""

import math
import os
import subprocess
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.colors import to_hex  # noqa: E402
from PIL import Image  # noqa: E402

WIDTH, HEIGHT, DPI = 400, 300, 100
ROWS = []  # plots.txt lines, in the order written


def write_data(name, x, y):
    """The curve as drawn: the polyline through these points, x and y in plot units."""
    with open(name, "w") as out:
        out.write("x,y\n")
        for a, b in zip(x, y):
            out.write("%.9g,%.9g\n" % (a, b))


def fmt(v):
    return "%.2f" % v


def value(v):
    return "%.9g" % v


def hexcolour(c):
    return to_hex(c).upper()


def frame_of(fig, ax, masks=()):
    """Area, x and y ticks and masks of a drawn matplotlib axes, as the plots.txt fields."""
    fig.canvas.draw()
    width, height = fig.canvas.get_width_height()
    assert (width, height) == (WIDTH, HEIGHT)
    box = ax.get_window_extent()
    # The frame's lines are centred on the box; keep only pixels wholly inside them.
    half = max(s.get_linewidth() for s in ax.spines.values()) * DPI / 72 / 2
    area = (
        math.ceil(box.x0 + half) + 1,
        math.ceil(height - box.y1 + half) + 1,
        math.floor(box.x1 - half) - 2,
        math.floor(height - box.y0 - half) - 2,
    )

    def inside(ticks, limits):
        lo, hi = sorted(limits)
        chosen = [t for t in ticks if lo <= t <= hi]
        return chosen[0], chosen[-1]

    x_ticks = inside(ax.get_xticks(), ax.get_xlim())
    y_ticks = inside(ax.get_yticks(), ax.get_ylim())
    y_ref = ax.get_ylim()[0]
    x_ref = ax.get_xlim()[0]
    columns = [ax.transData.transform((t, y_ref))[0] - 0.5 for t in x_ticks]
    rows = [height - ax.transData.transform((x_ref, t))[1] - 0.5 for t in y_ticks]
    x_field = ",".join("%s=%s" % (fmt(c), value(t)) for c, t in zip(columns, x_ticks))
    y_field = ",".join("%s=%s" % (fmt(r), value(t)) for r, t in zip(rows, y_ticks))
    if ax.get_yscale() == "log":
        y_field += ",log"
    mask_fields = []
    for artist in masks:
        b = artist.get_window_extent()
        mask_fields.append(
            "%d,%d,%d,%d"
            % (
                math.floor(b.x0) - 1,
                math.floor(height - b.y1) - 1,
                math.ceil(b.x1) + 1,
                math.ceil(height - b.y0) + 1,
            )
        )
    return {
        "area": "%d,%d,%d,%d" % area,
        "x": x_field,
        "y": y_field,
        "masks": ",".join(mask_fields) or "-",
    }


def add_row(picture, colour, distance, frame, data):
    ROWS.append(
        [picture, colour, str(distance), frame["area"], frame["x"], frame["y"], frame["masks"],
         data]
    )


def new_figure():
    return plt.subplots(figsize=(WIDTH / DPI, HEIGHT / DPI), dpi=DPI)


def line_plot():
    """One curve with the default settings and a grid: the source of the JPEG files and the scan."""
    x = np.linspace(0, 10, 201)
    y = 20 + 6 * np.sin(0.9 * x) * np.exp(-x / 8)
    write_data("mpl_line.csv", x, y)
    fig, ax = new_figure()
    (line,) = ax.plot(x, y)
    ax.set_xlabel("time (s)")
    ax.set_ylabel("level")
    ax.set_title("One curve")
    ax.grid(True)
    frame = frame_of(fig, ax)
    fig.savefig("mpl_line.png")
    plt.close(fig)
    colour = hexcolour(line.get_color())
    add_row("mpl_line.png", colour, 60, frame, "mpl_line.csv")
    return colour, frame


def three_curves():
    """Three curves and a legend over the data, which needs a mask: its samples have the
    curves' colours."""
    x = np.linspace(0, 2 * np.pi, 181)
    curves = [
        ("sin", np.sin(x)),
        ("cos", np.cos(x)),
        ("damped", np.exp(-x / 2) * np.sin(3 * x)),
    ]
    fig, ax = new_figure()
    lines = []
    for i, (label, y) in enumerate(curves):
        write_data("mpl_three_%d.csv" % (i + 1), x, y)
        lines.append(ax.plot(x, y, label=label)[0])
    ax.grid(True)
    legend = ax.legend(loc="upper right")
    ax.set_title("Three curves")
    frame = frame_of(fig, ax, masks=[legend])
    fig.savefig("mpl_three.png")
    plt.close(fig)
    for i, line in enumerate(lines):
        data = "mpl_three_%d.csv" % (i + 1)
        add_row("mpl_three.png", hexcolour(line.get_color()), 60, frame, data)


def styled(name, title, style=None, transparent=False, linestyle="-", logy=False):
    x = np.linspace(0.5, 9.5, 181)
    if logy:
        y = 3.0 * np.exp(0.9 * x) / (1 + x)
    else:
        y = 0.3 * x + np.cos(1.3 * x)
    write_data(name + ".csv", x, y)
    with plt.style.context(style or "default"):
        fig, ax = new_figure()
        (line,) = ax.plot(x, y, linestyle=linestyle)
        if logy:
            ax.set_yscale("log")
        ax.grid(True)
        ax.set_title(title)
        frame = frame_of(fig, ax)
        fig.savefig(name + ".png", transparent=transparent)
        plt.close(fig)
    add_row(name + ".png", hexcolour(line.get_color()), 60, frame, name + ".csv")


def gnuplot_plot():
    """gnuplot's cairo PNG terminal: a curve from a data file, with grid and key."""
    x = np.linspace(-3, 3, 121)
    y = x**3 / 9 - x
    write_data("gnuplot_cairo.csv", x, y)
    script = """
set terminal pngcairo size %d,%d
set output 'gnuplot_cairo.png'
set datafile separator ','
set xrange [-3.5:3.5]
set yrange [-2:2]
set xtics 1
set ytics 1
set grid
set key top left
plot 'gnuplot_cairo.csv' skip 1 using 1:2 with lines linewidth 2 \
     linecolor rgb '#9400D3' title 'cubic'
print GPVAL_TERM_XMIN, GPVAL_TERM_XMAX, GPVAL_TERM_YMIN, GPVAL_TERM_YMAX, \
      GPVAL_TERM_YSIZE / GPVAL_TERM_SCALE
""" % (WIDTH, HEIGHT)
    done = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True, check=True)
    # The plot's box in the terminal's coordinates: x as pixels, y as pixels up from the bottom
    # row (whose coordinate is the picture's height less one).
    x0, x1, y0, y1, top = (float(v) for v in done.stderr.split())

    def column(v):
        return x0 + (v + 3.5) / 7 * (x1 - x0)

    def row(v):
        return top - (y0 + (v + 2) / 4 * (y1 - y0))

    area = (round(x0) + 2, round(top - y1) + 2, round(x1) - 2, round(top - y0) - 2)
    frame = {
        "area": "%d,%d,%d,%d" % area,
        "x": "%s=-2,%s=2" % (fmt(column(-2)), fmt(column(2))),
        "y": "%s=1,%s=-1" % (fmt(row(1)), fmt(row(-1))),
        "masks": key_mask("gnuplot_cairo.png", "#9400D3", area),
    }
    add_row("gnuplot_cairo.png", "#9400D3", 60, frame, "gnuplot_cairo.csv")


def key_mask(picture, colour, area):
    """A box around the key's sample line, which has the curve's colour: the run of that colour
    in the area's top 30 rows and left 150 columns (the key sits top left, clear of the curve),
    widened by 3 pixels."""
    pixels = np.asarray(Image.open(picture).convert("RGB"), dtype=np.int64)
    target = np.array([int(colour[i : i + 2], 16) for i in (1, 3, 5)])
    l, t = area[0], area[1]
    near = ((pixels[t : t + 30, l : l + 150] - target) ** 2).sum(axis=2) <= 60**2
    rows, columns = np.nonzero(near)
    return "%d,%d,%d,%d" % (
        l + columns.min() - 3,
        t + rows.min() - 3,
        l + columns.max() + 3,
        t + rows.max() + 3,
    )


def luma(colour):
    """Grey level of an #RRGGBB as Pillow's conversion to "L" computes it (ITU-R 601-2)."""
    r, g, b = (int(colour[i : i + 2], 16) for i in (1, 3, 5))
    grey = (r * 299 + g * 587 + b * 114) // 1000
    return "#%02X%02X%02X" % (grey, grey, grey)


def jpeg_files(colour, frame):
    """The one-curve plot as JPEG files of two encoders, kinds and qualities."""
    rgb = Image.open("mpl_line.png").convert("RGB")
    rgb.save("mpl_line.ppm")
    grey = luma(colour)
    rgb.save("pillow_q75.jpg", quality=75)
    rgb.save("pillow_q90_progressive_444.jpg", quality=90, progressive=True, subsampling=0)
    rgb.convert("L").save("pillow_grey_q90.jpg", quality=90)
    cjpeg = {
        "cjpeg_q90.jpg": ["-quality", "90"],
        "cjpeg_q75_progressive.jpg": ["-quality", "75", "-progressive"],
        "cjpeg_grey_q90_progressive.jpg": ["-quality", "90", "-grayscale", "-progressive"],
    }
    for name, options in cjpeg.items():
        with open(name, "wb") as out:
            subprocess.run(["cjpeg", *options, "mpl_line.ppm"], stdout=out, check=True)
    os.remove("mpl_line.ppm")
    for name, c, distance in [
        ("pillow_q75.jpg", colour, 90),
        ("pillow_q90_progressive_444.jpg", colour, 60),
        ("pillow_grey_q90.jpg", grey, 60),
        ("cjpeg_q90.jpg", colour, 60),
        ("cjpeg_q75_progressive.jpg", colour, 90),
        ("cjpeg_grey_q90_progressive.jpg", grey, 60),
    ]:
        add_row(name, c, distance, frame, "mpl_line.csv")


def scan(colour, frame):
    """The one-curve plot as a greyscale scan: a little blur and noise, not rotated."""
    # 32 grey levels, as a cheap scanner gives, keep the noisy file small.
    subprocess.run(
        ["convert", "mpl_line.png", "-colorspace", "Gray", "-blur", "0x0.6", "-seed", "7",
         "-attenuate", "0.2", "+noise", "Gaussian", "-posterize", "32", "-depth", "8",
         "-define", "png:color-type=0", "-strip", "magick_scan.png"],
        check=True,
    )
    add_row("magick_scan.png", luma(colour), 60, frame, "mpl_line.csv")


def read_data(name):
    with open(name) as f:
        next(f)
        return np.array([[float(v) for v in line.split(",")] for line in f]).T


def pairs(field):
    parts = field.split(",")
    log = parts[-1] == "log"
    points = [tuple(float(v) for v in p.split("=")) for p in parts[: 2]]
    return points, log


def measure(row):
    """Mean and largest distance, in pixels, between the mean row of the selected pixels in each
    column and the curve's data drawn through the ticks; and the count of columns with data."""
    picture, colour, distance, area, x_field, y_field, masks, data = row
    im = Image.open(picture).convert("RGBA")
    white = Image.new("RGBA", im.size, (255, 255, 255, 255))
    pixels = np.asarray(Image.alpha_composite(white, im).convert("RGB"), dtype=np.int64)
    target = np.array([int(colour[i : i + 2], 16) for i in (1, 3, 5)])
    selected = ((pixels - target) ** 2).sum(axis=2) <= int(distance) ** 2
    l, t, r, b = (int(v) for v in area.split(","))
    keep = np.zeros_like(selected)
    keep[t : b + 1, l : r + 1] = True
    if masks != "-":
        m = [int(v) for v in masks.split(",")]
        for i in range(0, len(m), 4):
            keep[max(m[i + 1], 0) : m[i + 3] + 1, max(m[i], 0) : m[i + 2] + 1] = False
    selected &= keep
    (c0, x0), (c1, x1) = pairs(x_field)[0]
    (r0, y0), (r1, y1) = (ys := pairs(y_field))[0]
    log = ys[1]
    f = np.log10 if log else (lambda v: v)
    tx, ty = read_data(data)
    truth_columns = c0 + (tx - x0) / (x1 - x0) * (c1 - c0)
    truth_rows = r0 + (f(ty) - f(y0)) / (f(y1) - f(y0)) * (r1 - r0)
    errors = []
    for column in range(selected.shape[1]):
        hits = np.nonzero(selected[:, column])[0]
        if len(hits) == 0 or column < truth_columns.min() or column > truth_columns.max():
            continue
        errors.append(abs(hits.mean() - np.interp(column, truth_columns, truth_rows)))
    return (np.mean(errors), np.max(errors), len(errors)) if errors else (float("inf"), 0.0, 0)


def check():
    with open("plots.txt") as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    worst = 0.0
    for row in rows:
        mean, largest, columns = measure(row)
        worst = max(worst, mean)
        print("%-32s %s  mean %.3f px  max %.2f px  %d columns"
              % (row[0], row[1], mean, largest, columns))
    if worst > 1.0:
        sys.exit("a row strays by more than a pixel on average")


HEADER = """\
# The plot pictures of this directory and their truth (make_plots.py writes this file).
# One line per curve; fields are separated by blanks and hold no blanks themselves:
#   picture   the file
#   colour    the curve's colour as drawn, #RRGGBB (for a greyscale file its grey level)
#   distance  a colour distance that selects the curve and leaves grid, text and frame out
#   area      left,top,right,bottom: the pixels inside the axes frame, the frame's lines excluded
#   x         column=value,column=value: two x ticks, their pixel columns and plot values
#   y         row=value,row=value[,log]: two y ticks; ",log" when the axis is logarithmic
#   masks     left,top,right,bottom[,...]: boxes over the legend, or "-"
#   data      CSV file of the curve's points (x,y in plot units), drawn as a polyline
# Pixel coordinates are 0-based, x right and y down, a pixel's centre at its index.
"""


def main():
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    if sys.argv[1:] == ["--check"]:
        check()
        return
    colour, frame = line_plot()
    three_curves()
    styled("mpl_dark", "Dark style", style="dark_background")
    styled("mpl_transparent", "Transparent background", transparent=True)
    styled("mpl_dashed", "Dashed line", linestyle="--")
    styled("mpl_log", "Logarithmic y axis", logy=True)
    gnuplot_plot()
    jpeg_files(colour, frame)
    scan(colour, frame)
    widths = [max(len(r[i]) for r in ROWS) for i in range(len(ROWS[0]))]
    with open("plots.txt", "w") as out:
        out.write(HEADER)
        for row in ROWS:
            out.write(" ".join(f.ljust(w) for f, w in zip(row, widths)).rstrip() + "\n")
    check()


if __name__ == "__main__":
    main()
