#include "cli/help.h"

#include "base/console.h"

namespace curvlog {
namespace {

// One text, as the user reads it: at most 79 columns a line.
constexpr const char* kHelp =
    R"help(CURVLOG digitizes a line graph from a picture: for every pixel column that
holds curve pixels (data pixels) it writes one y-value into a PRN or CSV file.

Usage: curvlog [options] [<high> <low> [<input> [<output>]]]
       curvlog [options] /Y<row>=<value>,<row>=<value> [<input> [<output>]]
       curvlog /T [/E<list>] [/R...] [/M...] <input>          (color census)

Arguments:
  <high>    the y-value of the picture's top pixel row (the plot area's with
            /R), for example 100
  <low>     the y-value of the bottom pixel row, lower than <high>, for
            example -100. Negative numbers are typed as they are: an
            argument that starts with "-" and a digit, or "-." and a digit,
            is a number, never an option.
  <input>   the picture, or a filemask with "*" and "?" that matches exactly
            one file; without it a file-open dialog asks for the file
  <output>  the output file, CURVLOG.PRN by default; a name that ends in
            ".csv" (any case) gives a CSV file. An existing file is never
            overwritten.

Options come before the arguments, one per argument, with the switch "/" or
"-" and in either case; a repeated option replaces the earlier one.

  /?        the short usage text (as the only argument)
  --help, -h
            this help
  /C        crop: the topmost data pixel stands for <high>, the bottom-most
            for <low> (within the plot area with /R; not with /Y)
  /D        use the system's decimal separator for <high> and <low> and in
            the numbers written; a CSV file then separates its fields with
            ";" when that separator is not "."
  /E<list>  leave the listed values or colors out of the census
  /T        with <input> alone: a census of the picture's colors (8-bit
            TGA, PNG, JPEG); with <high> and <low>: a black-and-white
            picture, read as TGA unless it is PNG or JPEG (black is data)
  /T<list>  the data pixels are those of the listed values or colors
            (8-bit TGA, PNG, JPEG). The items, separated by ",", may mix:
              12            color index (or grey level) 12, 0 to 255
              20-25         the indices 20 to 25
              #1F77B4       every pixel within a distance of 60 of that
                            color (red, green and blue in hex)
              #1F77B4~40    the same within a distance of 40 (0 to 442)
            for example /T12,#D62728~40,20-25. The distance is the
            Euclidean one in 8-bit RGB; a JPEG of quality 75 needs about ~90.
  /V        verbose output; as the only argument, the version (--version
            prints it too)
  /R<left>,<top>,<right>,<bottom>
            the plot area: only pixels inside it (edges included) can be
            data, and a census counts only them
  /M<left>,<top>,<right>,<bottom>[,<left>,<top>,<right>,<bottom>...]
            masks: boxes whose pixels are never data and not counted by a
            census (a legend, a label, another curve's marker)
  /Y<row>=<value>,<row>=<value>[,log]
            two reference rows, for example two tick marks:
            /Y82.6=26,385.3=14 gives row 82.6 the y-value 26 and row 385.3
            the value 14. Every other row's value follows linearly, or
            linearly in log10 with ",log" (both values above 0). Replaces
            <high> and <low>.
  /X<column>=<value>,<column>=<value>[,log]
            two reference columns, the same for x; needs CSV output
  /O<file>  an overlay picture to check the result: a PNG file of the
            picture's size, showing the picture lightened, the data pixels
            blue, each output value marked red-orange, the plot area
            outlined in green and the masks in purple. It is written after
            the output file and never overwrites a file.
  /Y, /X and /O do not apply to a census.

Pixel coordinates (/R, /M, /Y, /X) are the picture's, as an image viewer
shows them: 0-based, x to the right, y down; a pixel's centre is its index.
Rows and columns in /Y and /X may be fractional and may lie outside the
picture. Picture column c is PRN column c+1. Numbers in these options always
use "." (a comma separates the items), with or without /D.

On POSIX systems an argument that starts with "/" and holds another "/" is a
path, not an option: type an overlay name with a folder as -Oplots/check.png.

Input files, known by their first bytes:
  PNG    any kind, up to 65535 x 65535 pixels; transparency over white
  JPEG   baseline or progressive, greyscale or color (not CMYK)
  PCX    1 bit per pixel, black and white
  TGA    with /T: uncompressed, 1-bit black and white, or 8-bit
A TGA or PNG picture of at most 256 colors, and a greyscale JPEG, have
color indices: the palette's indices, the grey levels, or else the colors
numbered in ascending #RRGGBB order. Name the curve of any picture by its
color, /T#RRGGBB: "curvlog /T <input>" lists the colors to choose from.

Output files:
  PRN    one line per column that holds data: the PRN column, the y-value
         with two decimals, the holes in the column's run of data pixels,
         and a marker such as 8-9 where the curve jumps; CR LF line ends.
  CSV    the header line x,y,holes,jump, then one line per column that
         holds data: x (from /X, else the picture column), y (from the mean
         row of the column's data pixels, at full precision), the holes,
         and 1 where the curve jumps into the column, else 0; LF line ends.

Exit codes:
  0  success; also /?, --help, /V alone, a cancellation (Ctrl+C) and a
     dismissed file-open dialog
  2  the command line is wrong
  3  the system's decimal separator cannot be queried
  4  the input is unusable or missing, or an output file cannot be created
  5  the input cannot be read
  6  the input's content is invalid (a bad header, no data pixels, ...)
  7  out of memory
  8  an output file exists already
  9  an output file cannot be written

Examples:
  curvlog /V /C 100 -100 graph.pcx out.prn
      a black-and-white graph, cropped to the curve, with verbose output

  curvlog /T#1F77B4 /R80,40,600,380 /Y82.6=26,385.3=14 /X80=0,600=10
          plot.png plot.csv /Oplot_check.png
      (one line) the curve of color #1F77B4 inside the plot area, scaled
      by two y-ticks and two x-ticks read in an image viewer, into a CSV
      file, with an overlay picture to check it

  curvlog /T plot.png
      a census: the picture's main colors, each with the #RRGGBB that
      selects it in /T
)help";

}  // namespace

void print_help() {
  print("%s", kHelp);
}

}  // namespace curvlog
