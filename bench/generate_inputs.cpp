// Writes the benchmark inputs: for each size, one black curve on white as an 8-bit greyscale
// TGA, a 1-bit run-length encoded PCX and a 1-bit TGA (the same picture three times), and a
// colour-mapped TGA with three coloured curves over a grid. Built with libpng, it also writes
// the greyscale picture as an 8-bit greyscale PNG and the colour-mapped one as an 8-bit
// palette PNG of the same colour map; and, at the full size, an anti-aliased plot as an 8-bit
// RGB PNG (plot_full.png): a curve 5 pixels wide drawn by coverage over white, grey grid
// lines, a black axis box with tick marks and a legend box, the way plotting programs draw.
// Beside it plot_full.txt names the curve's colour, the plot area, the legend's box and two
// reference rows and columns, and plot_full_curve.txt gives the curve's exact row in each of
// its columns ("column row" lines), for checking a digitiser's output.
//
//   curvlog_bench_inputs [--scale N] [--sizes quarter,half,full,double] DIR
//   curvlog_bench_inputs [--scale N] --plot-ppm FILE
//
// The second form writes only the plot, as a binary PPM to FILE ("-": standard output), for a
// JPEG encoder to read.
//
// The output is a pure function of the arguments: the curves come from a fixed formula whose
// sine is evaluated with IEEE additions and multiplications only, so every machine writes the
// same bytes. Rows are produced and written one at a time; no whole image is held in memory.
// Each file is written under a temporary name and renamed when complete, so an interrupted
// run never leaves a file that looks finished.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#if defined(CURVLOG_BENCH_PNG)
#include <png.h>
#endif

namespace {

struct ImageSize {
  const char* name;
  int width;
  int height;
};

// A quarter, half, once and twice the pixel count of the 16384 x 8192 scan.
constexpr std::array<ImageSize, 4> kSizes = {{
    {"quarter", 8192, 4096},
    {"half", 16384, 4096},
    {"full", 16384, 8192},
    {"double", 16384, 16384},
}};

// Colour-map indices of the colour-mapped picture; every other entry is a grey ramp.
constexpr std::uint8_t kRed = 1;
constexpr std::uint8_t kGreen = 2;
constexpr std::uint8_t kBlue = 3;
constexpr std::uint8_t kGrid = 4;
constexpr std::uint8_t kWhiteIndex = 255;
constexpr int kColourMapLength = 256;

// sin(2 pi u). Range reduction and a degree-15 odd polynomial (error below 1e-11 on
// [-pi/2, pi/2]) instead of std::sin, whose last bit may differ between C libraries.
double sine_of_turns(double u) {
  constexpr double kPi = 3.14159265358979323846;
  double x = 2.0 * kPi * (u - std::floor(u + 0.5));  // [-pi, pi]
  if (x > kPi / 2) x = kPi - x;
  if (x < -kPi / 2) x = -kPi - x;
  const double x2 = x * x;
  double term = x;
  double sum = x;
  for (int k = 1; k <= 7; ++k) {
    term = -term * x2 / double((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

// Three sines whose weights add up to 1, so the curve stays within 10%..90% of the height.
struct CurveShape {
  std::array<double, 3> frequency;
  std::array<double, 3> phase;
};

constexpr std::array<CurveShape, 3> kCurves = {{
    {{2.0, 7.0, 23.0}, {0.00, 0.25, 0.60}},
    {{3.0, 5.0, 17.0}, {0.40, 0.10, 0.35}},
    {{1.0, 9.0, 29.0}, {0.70, 0.55, 0.05}},
}};

// The curve's value at t (0 to 1 across the picture), within -1..1.
double curve_value(const CurveShape& shape, double t) {
  constexpr std::array<double, 3> kWeight = {0.6, 0.3, 0.1};
  double s = 0;
  for (int i = 0; i < 3; ++i) {
    s += kWeight[i] * sine_of_turns(shape.frequency[i] * t + shape.phase[i]);
  }
  return s;
}

double curve_row(const CurveShape& shape, double column, int width, int height) {
  return height * (0.5 - 0.4 * curve_value(shape, column / width));
}

// The rows [top, bottom] a 3-pixel-thick stroke covers in each column. The band reaches the
// curve's height half a column to either side, so steep stretches stay connected.
struct Band {
  int top;
  int bottom;
};

std::vector<Band> stroke_bands(const CurveShape& shape, int width, int height) {
  std::vector<Band> bands(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    const double left = curve_row(shape, x - 0.5, width, height);
    const double centre = curve_row(shape, x, width, height);
    const double right = curve_row(shape, x + 0.5, width, height);
    const long top = std::lround(std::min({left, centre, right})) - 1;
    const long bottom = std::lround(std::max({left, centre, right})) + 1;
    bands[std::size_t(x)] = {int(std::clamp(top, 0L, long(height - 1))),
                             int(std::clamp(bottom, 0L, long(height - 1)))};
  }
  return bands;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// One output file, written under DIR/NAME.part and renamed to DIR/NAME by finish().
class OutputImage {
 public:
  bool open(const std::filesystem::path& final_path) {
    final_path_ = final_path;
    part_path_ = final_path;
    part_path_ += ".part";
    file_.reset(std::fopen(part_path_.string().c_str(), "wb"));
    if (!file_) {
      std::fprintf(stderr, "cannot create %s: %s\n", part_path_.string().c_str(),
                   std::strerror(errno));
      return false;
    }
    std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
    return true;
  }

  void write(const void* bytes, std::size_t size) {
    if (ok_ && std::fwrite(bytes, 1, size, file_.get()) != size) ok_ = false;
  }

  bool finish() {
    const int close_result = std::fclose(file_.release());
    if (!ok_ || close_result != 0) {
      std::fprintf(stderr, "cannot write %s\n", part_path_.string().c_str());
      return false;
    }
    std::error_code error;
    std::filesystem::rename(part_path_, final_path_, error);
    if (error) {
      std::fprintf(stderr, "cannot rename %s: %s\n", part_path_.string().c_str(),
                   error.message().c_str());
      return false;
    }
    return true;
  }

 private:
  std::filesystem::path final_path_;
  std::filesystem::path part_path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  bool ok_ = true;
};

#if defined(CURVLOG_BENCH_PNG)
// A PNG file written row by row through libpng into an OutputImage. libpng's own errors (none
// arise from rows it was given) abort the generator.
class PngOutput {
 public:
  ~PngOutput() { png_destroy_write_struct(&png_, &info_); }

  // An 8-bit greyscale image, with palette (red, green, blue per entry) an 8-bit palette one,
  // or with rgb an 8-bit RGB one.
  bool open(const std::filesystem::path& path, int width, int height,
            const std::vector<std::uint8_t>* palette, bool rgb = false) {
    if (!file_.open(path)) return false;
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    info_ = png_ != nullptr ? png_create_info_struct(png_) : nullptr;
    if (info_ == nullptr) return false;
    png_set_write_fn(png_, &file_, write_bytes, nullptr);
    png_set_IHDR(png_, info_, png_uint_32(width), png_uint_32(height), 8,
                 rgb                  ? PNG_COLOR_TYPE_RGB
                 : palette != nullptr ? PNG_COLOR_TYPE_PALETTE
                                      : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette != nullptr) {
      std::vector<png_color> colours(palette->size() / 3);
      for (std::size_t i = 0; i < colours.size(); ++i) {
        colours[i] = {(*palette)[3 * i], (*palette)[3 * i + 1], (*palette)[3 * i + 2]};
      }
      png_set_PLTE(png_, info_, colours.data(), int(colours.size()));
    }
    // Choosing among all five filters triples the time it takes to write the RGB plot, to
    // pick Up for 96% of its rows anyway (Paeth for the rest).
    if (rgb) png_set_filter(png_, 0, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
    png_write_info(png_, info_);
    return true;
  }

  void write_row(const std::uint8_t* row) { png_write_row(png_, row); }

  bool finish() {
    png_write_end(png_, nullptr);
    return file_.finish();
  }

 private:
  static void write_bytes(png_structp png, png_bytep data, std::size_t size) {
    static_cast<OutputImage*>(png_get_io_ptr(png))->write(data, size);
  }

  OutputImage file_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};
#endif

void put_u16(std::uint8_t* at, int value) {
  at[0] = std::uint8_t(value & 0xFF);
  at[1] = std::uint8_t((value >> 8) & 0xFF);
}

// Uncompressed, top-left origin (descriptor 32), no image ID.
std::array<std::uint8_t, 18> tga_header(int image_type, int colour_map_length, int width,
                                        int height, int bits_per_pixel) {
  std::array<std::uint8_t, 18> header{};
  header[1] = colour_map_length > 0 ? 1 : 0;
  header[2] = std::uint8_t(image_type);
  put_u16(&header[5], colour_map_length);
  header[7] = colour_map_length > 0 ? 24 : 0;
  put_u16(&header[12], width);
  put_u16(&header[14], height);
  header[16] = std::uint8_t(bits_per_pixel);
  header[17] = 32;
  return header;
}

std::array<std::uint8_t, 128> pcx_header(int width, int height, int bytes_per_line) {
  std::array<std::uint8_t, 128> header{};
  header[0] = 10;  // manufacturer
  header[1] = 5;   // version
  header[2] = 1;   // run-length encoding
  header[3] = 1;   // bits per pixel
  put_u16(&header[8], width - 1);
  put_u16(&header[10], height - 1);
  put_u16(&header[12], 300);
  put_u16(&header[14], 300);
  // Palette entry 0 black, entry 1 white.
  header[19] = header[20] = header[21] = 255;
  header[65] = 1;  // planes
  put_u16(&header[66], bytes_per_line);
  header[68] = 1;  // palette info: colour or black&white
  return header;
}

// Run-length codes of one PCX row: runs of up to 63 equal bytes, and a run of one for a
// single byte above 0xBF, which would otherwise read as a run code.
void encode_pcx_row(const std::uint8_t* row, int size, std::vector<std::uint8_t>& codes) {
  codes.clear();
  int i = 0;
  while (i < size) {
    int run = 1;
    while (i + run < size && run < 63 && row[i + run] == row[i]) ++run;
    if (run > 1 || row[i] >= 0xC0) codes.push_back(std::uint8_t(0xC0 + run));
    codes.push_back(row[i]);
    i += run;
  }
}

// Packs 8-bit pixels (0 black) into 1-bit pixels, most significant bit leftmost, 0 for black;
// the padding bits of the last byte and the bytes up to row_bytes are white.
void pack_black_and_white(const std::uint8_t* grey, int width, std::uint8_t* packed,
                          int row_bytes) {
  std::fill(packed, packed + row_bytes, std::uint8_t(0xFF));
  for (int x = 0; x < width; ++x) {
    if (grey[x] == 0) packed[x / 8] &= std::uint8_t(~(0x80u >> (x % 8)));
  }
}

bool write_black_and_white(const std::filesystem::path& dir, const ImageSize& size) {
  const int width = size.width;
  const int height = size.height;
  const std::string base = size.name;
  OutputImage grey_tga;
  OutputImage pcx;
  OutputImage bit_tga;
  if (!grey_tga.open(dir / ("grey_" + base + ".tga")) ||
      !pcx.open(dir / ("graph_" + base + ".pcx")) ||
      !bit_tga.open(dir / ("graph_" + base + "_1bit.tga"))) {
    return false;
  }
  const int tga_row_bytes = (width + 7) / 8;
  const int pcx_row_bytes = (tga_row_bytes + 1) / 2 * 2;  // PCX rows hold an even byte count

  const auto grey_header = tga_header(3, 0, width, height, 8);
  const auto bit_header = tga_header(3, 0, width, height, 1);
  const auto pcx_head = pcx_header(width, height, pcx_row_bytes);
  grey_tga.write(grey_header.data(), grey_header.size());
#if defined(CURVLOG_BENCH_PNG)
  PngOutput grey_png;
  if (!grey_png.open(dir / ("grey_" + base + ".png"), width, height, nullptr)) return false;
#endif
  bit_tga.write(bit_header.data(), bit_header.size());
  pcx.write(pcx_head.data(), pcx_head.size());

  const std::vector<Band> bands = stroke_bands(kCurves[0], width, height);
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(width));
  std::vector<std::uint8_t> packed(static_cast<std::size_t>(pcx_row_bytes));
  std::vector<std::uint8_t> codes;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Band band = bands[std::size_t(x)];
      grey[std::size_t(x)] = (y >= band.top && y <= band.bottom) ? 0 : 255;
    }
    grey_tga.write(grey.data(), grey.size());
#if defined(CURVLOG_BENCH_PNG)
    grey_png.write_row(grey.data());
#endif
    pack_black_and_white(grey.data(), width, packed.data(), pcx_row_bytes);
    bit_tga.write(packed.data(), std::size_t(tga_row_bytes));
    encode_pcx_row(packed.data(), pcx_row_bytes, codes);
    pcx.write(codes.data(), codes.size());
  }
#if defined(CURVLOG_BENCH_PNG)
  if (!grey_png.finish()) return false;
#endif
  return grey_tga.finish() && pcx.finish() && bit_tga.finish();
}

bool write_colour_mapped(const std::filesystem::path& dir, const ImageSize& size) {
  const int width = size.width;
  const int height = size.height;
  OutputImage tga;
  if (!tga.open(dir / ("colour_" + std::string(size.name) + ".tga"))) return false;

  const auto header = tga_header(1, kColourMapLength, width, height, 8);
  tga.write(header.data(), header.size());
  // Entries are stored blue, green, red.
  std::vector<std::uint8_t> colour_map(3 * kColourMapLength);
  for (int i = 0; i < kColourMapLength; ++i) {
    std::fill_n(&colour_map[std::size_t(3 * i)], 3, std::uint8_t(i));
  }
  const auto set_entry = [&](int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    colour_map[std::size_t(3 * index)] = blue;
    colour_map[std::size_t(3 * index + 1)] = green;
    colour_map[std::size_t(3 * index + 2)] = red;
  };
  set_entry(kRed, 0xE0, 0x20, 0x20);
  set_entry(kGreen, 0x20, 0xA0, 0x20);
  set_entry(kBlue, 0x20, 0x40, 0xE0);
  set_entry(kGrid, 0xC0, 0xC0, 0xC0);
  tga.write(colour_map.data(), colour_map.size());
#if defined(CURVLOG_BENCH_PNG)
  // The same colour map, red, green, blue.
  std::vector<std::uint8_t> palette(colour_map.size());
  for (std::size_t i = 0; i < palette.size(); i += 3) {
    palette[i] = colour_map[i + 2];
    palette[i + 1] = colour_map[i + 1];
    palette[i + 2] = colour_map[i];
  }
  PngOutput png;
  if (!png.open(dir / ("colour_" + std::string(size.name) + ".png"), width, height, &palette)) {
    return false;
  }
#endif

  // Drawn in this order, so red lies on top and stays unbroken where the curves cross.
  const std::array<std::uint8_t, 3> indices = {kBlue, kGreen, kRed};
  std::array<std::vector<Band>, 3> bands;
  for (std::size_t c = 0; c < 3; ++c) bands[c] = stroke_bands(kCurves[2 - c], width, height);

  const int grid_x = std::max(width / 16, 1);
  const int grid_y = std::max(height / 16, 1);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    if (y % grid_y == 0) {
      std::fill(row.begin(), row.end(), kGrid);
    } else {
      std::fill(row.begin(), row.end(), kWhiteIndex);
      for (int x = 0; x < width; x += grid_x) row[std::size_t(x)] = kGrid;
    }
    for (std::size_t c = 0; c < 3; ++c) {
      for (int x = 0; x < width; ++x) {
        const Band band = bands[c][std::size_t(x)];
        if (y >= band.top && y <= band.bottom) row[std::size_t(x)] = indices[c];
      }
    }
    tga.write(row.data(), row.size());
#if defined(CURVLOG_BENCH_PNG)
    png.write_row(row.data());
#endif
  }
#if defined(CURVLOG_BENCH_PNG)
  if (!png.finish()) return false;
#endif
  return tga.finish();
}

// ---- The anti-aliased plot --------------------------------------------------------------------

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
};

constexpr Rgb kWhite = {0xFF, 0xFF, 0xFF};
constexpr Rgb kBlack = {0x00, 0x00, 0x00};
constexpr Rgb kCurveColour = {0x1F, 0x77, 0xB4};
constexpr Rgb kGridColour = {0xB0, 0xB0, 0xB0};
constexpr Rgb kLegendEdge = {0xCC, 0xCC, 0xCC};
constexpr Rgb kLabelColour = {0x33, 0x33, 0x33};
constexpr double kHalfStroke = 2.5;  // the curve and the legend's sample are 5 pixels wide
constexpr int kFrameWidth = 3;
constexpr int kLegendEdgeWidth = 2;
constexpr int kTickLength = 12;
constexpr int kXTicks = 10;  // intervals between x ticks (x runs from 0 to 100)
constexpr int kYTicks = 4;   // intervals between y ticks (y runs from -1 to 1)

// Where the plot's parts lie, in pixels (0-based, x right, y down; boxes inclusive).
struct PlotLayout {
  int frame_left, frame_top, frame_right, frame_bottom;  // the axis box's outer edge
  int x0, x100;                                          // the columns of x = 0 and x = 100
  int y_plus1, y_minus1;                                 // the rows of y = 1 and y = -1
  int legend_left, legend_top, legend_right, legend_bottom;
};

PlotLayout plot_layout(int width, int height) {
  PlotLayout p{};
  p.frame_left = width * 8 / 100;
  p.frame_right = width * 96 / 100;
  p.frame_top = height * 6 / 100;
  p.frame_bottom = height * 90 / 100;
  const int w = p.frame_right - p.frame_left;
  const int h = p.frame_bottom - p.frame_top;
  p.x0 = p.frame_left + w / 20;
  p.x100 = p.frame_right - w / 20;
  p.y_plus1 = p.frame_top + h / 10;  // leaves room for the legend above the curve
  p.y_minus1 = p.frame_bottom - h / 20;
  p.legend_right = p.frame_right - w / 50;
  p.legend_left = p.legend_right - w / 5;
  p.legend_top = p.frame_top + kFrameWidth + h / 100;
  p.legend_bottom = p.legend_top + h / 16;
  return p;
}

int x_tick_column(const PlotLayout& p, int k) {
  return p.x0 + (k * (p.x100 - p.x0) + kXTicks / 2) / kXTicks;
}
int y_tick_row(const PlotLayout& p, int k) {
  return p.y_plus1 + (k * (p.y_minus1 - p.y_plus1) + kYTicks / 2) / kYTicks;
}

// Distance from (x, y) to the segment from (ax, ay) to (bx, by).
double segment_distance(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  double u = length2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / length2 : 0;
  u = std::clamp(u, 0.0, 1.0);
  const double ex = ax + u * dx - x;
  const double ey = ay + u * dy - y;
  return std::sqrt(ex * ex + ey * ey);
}

// The share of a pixel a stroke of half width kHalfStroke covers, from the distance of the
// pixel's centre to the stroke's middle line.
double coverage_at(double distance) {
  return std::clamp(kHalfStroke + 0.5 - distance, 0.0, 1.0);
}

Rgb blend(Rgb under, Rgb over, double coverage) {
  const auto mix = [coverage](std::uint8_t a, std::uint8_t b) {
    return std::uint8_t(std::lround(a + (b - a) * coverage));
  };
  return {mix(under.red, over.red), mix(under.green, over.green), mix(under.blue, over.blue)};
}

// The curve as a polyline with a vertex at every column from x0 to x100, and for each column
// the rows its stroke may touch.
class CurveStroke {
 public:
  CurveStroke(const PlotLayout& p, int width) : first_(p.x0) {
    const int count = p.x100 - p.x0 + 1;
    rows_.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
      const double value = curve_value(kCurves[0], double(i) / (count - 1));
      rows_[std::size_t(i)] = p.y_plus1 + (1 - value) / 2 * (p.y_minus1 - p.y_plus1);
    }
    bands_.assign(std::size_t(width), Band{1, 0});
    for (int x = std::max(first_ - kReach, 0);
         x <= std::min(first_ + count - 1 + kReach, width - 1); ++x) {
      double low = 1e300;
      double high = -1e300;
      for (int v = std::max(x - kReach, first_); v <= std::min(x + kReach, first_ + count - 1);
           ++v) {
        low = std::min(low, rows_[std::size_t(v - first_)]);
        high = std::max(high, rows_[std::size_t(v - first_)]);
      }
      bands_[std::size_t(x)] = {int(std::floor(low - kHalfStroke - 1)),
                                int(std::ceil(high + kHalfStroke + 1))};
    }
  }

  bool touches(int x, int y) const {
    const Band band = bands_[std::size_t(x)];
    return y >= band.top && y <= band.bottom;
  }

  double coverage(int x, int y) const {
    const int last = first_ + int(rows_.size()) - 1;
    double nearest = 1e300;
    for (int v = std::max(x - kReach, first_); v < std::min(x + kReach, last); ++v) {
      nearest = std::min(nearest, segment_distance(x, y, v, rows_[std::size_t(v - first_)], v + 1,
                                                   rows_[std::size_t(v + 1 - first_)]));
    }
    return coverage_at(nearest);
  }

  int first_column() const { return first_; }
  const std::vector<double>& rows() const { return rows_; }

 private:
  // Segments further than this many columns away are too far to touch a pixel.
  static constexpr int kReach = int(kHalfStroke) + 2;
  int first_;
  std::vector<double> rows_;
  std::vector<Band> bands_;
};

void fill(std::vector<std::uint8_t>& row, int from, int to, Rgb colour) {
  for (int x = std::max(from, 0); x <= std::min(to, int(row.size() / 3) - 1); ++x) {
    row[std::size_t(3 * x)] = colour.red;
    row[std::size_t(3 * x + 1)] = colour.green;
    row[std::size_t(3 * x + 2)] = colour.blue;
  }
}

Rgb pixel_of(const std::vector<std::uint8_t>& row, int x) {
  return {row[std::size_t(3 * x)], row[std::size_t(3 * x + 1)], row[std::size_t(3 * x + 2)]};
}

// Row y of the plot, as red, green, blue bytes.
void render_plot_row(const PlotLayout& p, const CurveStroke& curve, int y,
                     std::vector<std::uint8_t>& row) {
  const int width = int(row.size() / 3);
  fill(row, 0, width - 1, kWhite);
  const bool inside_rows = y >= p.frame_top && y <= p.frame_bottom;
  if (inside_rows) {
    for (int k = 0; k <= kXTicks; ++k) {
      const int x = x_tick_column(p, k);
      fill(row, x - 1, x + 1, kGridColour);
    }
    for (int k = 0; k <= kYTicks; ++k) {
      if (std::abs(y - y_tick_row(p, k)) <= 1) fill(row, p.frame_left, p.frame_right, kGridColour);
    }
  }
  for (int x = 0; x < width; ++x) {
    if (!curve.touches(x, y)) continue;
    const double coverage = curve.coverage(x, y);
    if (coverage > 0) {
      const Rgb mixed = blend(pixel_of(row, x), kCurveColour, coverage);
      fill(row, x, x, mixed);
    }
  }
  if (y >= p.frame_top && y < p.frame_top + kFrameWidth) {
    fill(row, p.frame_left, p.frame_right, kBlack);
  } else if (y > p.frame_bottom - kFrameWidth && y <= p.frame_bottom) {
    fill(row, p.frame_left, p.frame_right, kBlack);
  } else if (inside_rows) {
    fill(row, p.frame_left, p.frame_left + kFrameWidth - 1, kBlack);
    fill(row, p.frame_right - kFrameWidth + 1, p.frame_right, kBlack);
  }
  // Tick marks outside the box.
  if (y > p.frame_bottom && y <= p.frame_bottom + kTickLength) {
    for (int k = 0; k <= kXTicks; ++k) {
      const int x = x_tick_column(p, k);
      fill(row, x - 1, x + 1, kBlack);
    }
  }
  for (int k = 0; k <= kYTicks; ++k) {
    if (std::abs(y - y_tick_row(p, k)) <= 1) {
      fill(row, p.frame_left - kTickLength, p.frame_left - 1, kBlack);
    }
  }
  // The legend: an edged white box over everything, a sample of the curve and a dark label.
  if (y >= p.legend_top && y <= p.legend_bottom) {
    const int w = p.legend_right - p.legend_left;
    const int h = p.legend_bottom - p.legend_top;
    if (y < p.legend_top + kLegendEdgeWidth || y > p.legend_bottom - kLegendEdgeWidth) {
      fill(row, p.legend_left, p.legend_right, kLegendEdge);
      return;
    }
    fill(row, p.legend_left, p.legend_left + kLegendEdgeWidth - 1, kLegendEdge);
    fill(row, p.legend_left + kLegendEdgeWidth, p.legend_right - kLegendEdgeWidth, kWhite);
    fill(row, p.legend_right - kLegendEdgeWidth + 1, p.legend_right, kLegendEdge);
    const double middle = p.legend_top + h / 2.0;
    const double sample_left = p.legend_left + w / 10.0;
    const double sample_right = p.legend_left + 4 * w / 10.0;
    for (int x = int(sample_left) - 4; x <= int(sample_right) + 4; ++x) {
      const double coverage =
          coverage_at(segment_distance(x, y, sample_left, middle, sample_right, middle));
      if (coverage > 0) fill(row, x, x, blend(pixel_of(row, x), kCurveColour, coverage));
    }
    if (std::abs(y - middle) <= h / 6.0) {
      for (int word = 0; word < 3; ++word) {  // three "words" of text
        const int start = p.legend_left + w / 2 + word * w / 7;
        fill(row, start, start + w / 9, kLabelColour);
      }
    }
  }
}

bool write_ppm_plot(std::FILE* out, const ImageSize& size) {
  const PlotLayout layout = plot_layout(size.width, size.height);
  const CurveStroke curve(layout, size.width);
  std::fprintf(out, "P6\n%d %d\n255\n", size.width, size.height);
  std::vector<std::uint8_t> row(std::size_t(3 * size.width));
  for (int y = 0; y < size.height; ++y) {
    render_plot_row(layout, curve, y, row);
    if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return false;
  }
  return std::fflush(out) == 0;
}

#if defined(CURVLOG_BENCH_PNG)
// plot_NAME.png and the facts about it, plot_NAME.txt and plot_NAME_curve.txt.
bool write_plot(const std::filesystem::path& dir, const ImageSize& size) {
  const std::string base = "plot_" + std::string(size.name);
  const PlotLayout p = plot_layout(size.width, size.height);
  const CurveStroke curve(p, size.width);
  {
    OutputImage facts;
    if (!facts.open(dir / (base + ".txt"))) return false;
    char text[512];
    const int length = std::snprintf(
        text, sizeof text,
        "colour=#%02X%02X%02X\narea=%d,%d,%d,%d\nmasks=%d,%d,%d,%d\nx=%d=0,%d=100\ny=%d=1,%d=-1\n",
        kCurveColour.red, kCurveColour.green, kCurveColour.blue, p.frame_left + kFrameWidth,
        p.frame_top + kFrameWidth, p.frame_right - kFrameWidth, p.frame_bottom - kFrameWidth,
        p.legend_left - 2, p.legend_top - 2, p.legend_right + 2, p.legend_bottom + 2, p.x0, p.x100,
        p.y_plus1, p.y_minus1);
    facts.write(text, std::size_t(length));
    if (!facts.finish()) return false;
  }
  {
    OutputImage rows;
    if (!rows.open(dir / (base + "_curve.txt"))) return false;
    for (std::size_t i = 0; i < curve.rows().size(); ++i) {
      char line[64];
      const int length = std::snprintf(line, sizeof line, "%d %.6f\n",
                                       curve.first_column() + int(i), curve.rows()[i]);
      rows.write(line, std::size_t(length));
    }
    if (!rows.finish()) return false;
  }
  PngOutput png;
  if (!png.open(dir / (base + ".png"), size.width, size.height, nullptr, true)) return false;
  std::vector<std::uint8_t> row(std::size_t(3 * size.width));
  for (int y = 0; y < size.height; ++y) {
    render_plot_row(p, curve, y, row);
    png.write_row(row.data());
  }
  return png.finish();
}
#endif

void print_usage() {
  std::fprintf(stderr,
               "usage: curvlog_bench_inputs [--scale N] [--sizes LIST] DIR\n"
               "       curvlog_bench_inputs [--scale N] --plot-ppm FILE\n"
               "  --scale N        divide both dimensions by N (1 to 256), for small test images\n"
               "  --sizes LIST     comma-separated subset of quarter,half,full,double\n"
               "  --plot-ppm FILE  write only the full-size plot, as a PPM (\"-\": stdout)\n");
}

bool size_listed(std::string_view list, std::string_view name) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    if (list.substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  int scale = 1;
  std::string_view sizes = "quarter,half,full,double";
  const char* dir_argument = nullptr;
  const char* ppm_argument = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--scale" && i + 1 < argc) {
      char* end = nullptr;
      const long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 1 || value > 256) {
        print_usage();
        return 2;
      }
      scale = int(value);
    } else if (argument == "--sizes" && i + 1 < argc) {
      sizes = argv[++i];
    } else if (argument == "--plot-ppm" && i + 1 < argc) {
      ppm_argument = argv[++i];
    } else if (!argument.starts_with("--") && dir_argument == nullptr) {
      dir_argument = argv[i];
    } else {
      print_usage();
      return 2;
    }
  }
  if ((dir_argument == nullptr) == (ppm_argument == nullptr)) {
    print_usage();
    return 2;
  }
  for (const ImageSize& size : kSizes) {
    if (size.height / scale < 16) {
      std::fprintf(stderr, "scale %d leaves fewer than 16 rows\n", scale);
      return 2;
    }
  }
  const ImageSize plot_size = {"full", kSizes[2].width / scale, kSizes[2].height / scale};
  if (ppm_argument != nullptr) {
    if (std::string_view(ppm_argument) == "-") {
      if (!write_ppm_plot(stdout, plot_size)) {
        std::fprintf(stderr, "cannot write the plot to standard output\n");
        return 1;
      }
      return 0;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(ppm_argument, "wb"));
    if (!file || !write_ppm_plot(file.get(), plot_size) || std::fclose(file.release()) != 0) {
      std::fprintf(stderr, "cannot write %s\n", ppm_argument);
      return 1;
    }
    return 0;
  }

  const std::filesystem::path dir = dir_argument;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", dir_argument, error.message().c_str());
    return 1;
  }
  int written = 0;
  for (const ImageSize& size : kSizes) {
    if (!size_listed(sizes, size.name)) continue;
    const ImageSize scaled = {size.name, size.width / scale, size.height / scale};
    std::printf("%-8s %5d x %5d\n", scaled.name, scaled.width, scaled.height);
    std::fflush(stdout);
    if (!write_black_and_white(dir, scaled) || !write_colour_mapped(dir, scaled)) return 1;
#if defined(CURVLOG_BENCH_PNG)
    if (std::string_view(size.name) == "full" && !write_plot(dir, scaled)) return 1;
#endif
    ++written;
  }
  if (written == 0) {
    print_usage();
    return 2;
  }
  return 0;
}
