#!/bin/sh
# Regenerates damped_sine.pcx, the bundled example graph: the function
#   f(x) = exp(-x/4) * cos(2x)   for x from 0 to 10,
# plotted by gnuplot (Debian package gnuplot-nox, 5.4) into a 640 x 240 black-and-white
# bitmap without border, tics, key or margins, so that only the curve is black and the
# y range -1.1 to 1.1 spans the whole height; then turned into a 1-bit, 1-plane,
# run-length encoded PCX file by ppmtopcx (Debian package netpbm, 11.1).
#
# Digitise it with the plot's y range:
#   curvlog 1.1 -1.1 examples/damped_sine.pcx out.prn
# examples/damped_sine.prn is what that command writes.
set -eu
cd "$(dirname "$0")"
bitmap=$(mktemp)
trap 'rm -f "$bitmap"' EXIT
gnuplot -e "set terminal pbm monochrome size 640,240; set output '$bitmap';
  unset border; unset tics; unset key; set margins 0,0,0,0;
  set xrange [0:10]; set yrange [-1.1:1.1]; set samples 1000;
  plot exp(-x/4)*cos(2*x) with lines lw 1 lc black"
ppmtopcx "$bitmap" > damped_sine.pcx
