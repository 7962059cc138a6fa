#!/bin/sh
# Regenerates damped_sine.pcx and damped_sine.png, the bundled example graphs of the function
#   f(x) = exp(-x/4) * cos(2x)   for x from 0 to 10,
# plotted by gnuplot (Debian package gnuplot-nox, 5.4) into a 640 x 240 black-and-white
# bitmap without border, tics, key or margins, so that only the curve is black and the
# y range -1.1 to 1.1 spans the whole height; then turned into a 1-bit, 1-plane,
# run-length encoded PCX file by ppmtopcx (Debian package netpbm, 11.1).
#
# Digitise it with the plot's y range:
#   curvlog 1.1 -1.1 examples/damped_sine.pcx out.prn
# examples/damped_sine.prn is what that command writes.
#
# damped_sine.png is the same function plotted by matplotlib (Debian package
# python3-matplotlib, 3.6) as a 640 x 240 PNG file, the axes filling the picture with the same
# y range and hidden, the curve in matplotlib's first colour, #1F77B4, without anti-aliasing,
# so that the picture holds only that colour and white. "curvlog /T examples/damped_sine.png"
# lists the two as 0 and 1; digitise the curve, colour 0, with:
#   curvlog /T0 1.1 -1.1 examples/damped_sine.png out.prn
# examples/damped_sine_png.prn is what that command writes.
#
# Last, make_plot.py writes damped_sine_plot.png, the same function as a real plot would show
# it (anti-aliased, with axes, ticks, grid and a legend, 640 x 400), and
# damped_sine_plot.txt, its tick positions, plot area, legend box and curve colour.
set -eu
cd "$(dirname "$0")"
bitmap=$(mktemp)
trap 'rm -f "$bitmap"' EXIT
gnuplot -e "set terminal pbm monochrome size 640,240; set output '$bitmap';
  unset border; unset tics; unset key; set margins 0,0,0,0;
  set xrange [0:10]; set yrange [-1.1:1.1]; set samples 1000;
  plot exp(-x/4)*cos(2*x) with lines lw 1 lc black"
ppmtopcx "$bitmap" > damped_sine.pcx
/usr/bin/python3 - <<'PY'
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np
plt.rcParams["lines.antialiased"] = False
x = np.linspace(0, 10, 1000)
fig = plt.figure(figsize=(6.4, 2.4), dpi=100)
ax = fig.add_axes([0, 0, 1, 1])
ax.set_axis_off()
ax.set_xlim(0, 10)
ax.set_ylim(-1.1, 1.1)
ax.plot(x, np.exp(-x / 4) * np.cos(2 * x), linewidth=1)
fig.savefig("damped_sine.png")
PY
/usr/bin/python3 make_plot.py
