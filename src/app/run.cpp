#include "app/run.h"

#include <cstdint>

#include "base/cancel.h"
#include "base/console.h"
#include "base/input_file.h"
#include "base/owners.h"
#include "cli/files.h"
#include "cli/options.h"
#include "cli/settings.h"
#include "cli/value_range.h"
#include "graph/column_scan.h"
#include "graph/csv_writer.h"
#include "graph/overlay.h"
#include "graph/plot_area.h"
#include "graph/prn_writer.h"
#include "image/census.h"
#include "image/data_bitmap.h"
#include "image/jpeg.h"
#include "image/pcx.h"
#include "image/png.h"
#include "image/reader_options.h"
#include "image/tga.h"
#include "platform/platform.h"

namespace curvlog {
namespace {

// The interrupt handler is registered for the whole run; removing it is the last thing the
// common exit does, after every stage has released what it held.
class ControlHandlerRegistration {
 public:
  ControlHandlerRegistration() { platform::on_interrupt(request_cancel); }
  ~ControlHandlerRegistration() { platform::on_interrupt(nullptr); }
  ControlHandlerRegistration(const ControlHandlerRegistration&) = delete;
  ControlHandlerRegistration& operator=(const ControlHandlerRegistration&) = delete;
};

// What the readers take from the run settings.
ReaderOptions reader_options(const RunSettings& settings) {
  ReaderOptions options;
  options.input_name = settings.input_name;
  options.verbose = settings.verbose;
  options.census = settings.census_mode;
  options.selected = settings.colour_list_given ? &settings.selected : nullptr;
  options.excluded = settings.exclude ? &settings.excluded : nullptr;
  options.decimal_separator = settings.decimal_separator;
  const PlotFrame& frame = settings.frame;
  options.frame = frame.has_area || frame.mask_count != 0 ? &frame : nullptr;
  return options;
}

// What the run keeps of the picture for the overlay (/O): one byte per pixel, the grey level
// with bit 0 clear, bit 0 set later for a data pixel. Empty without /O.
struct OverlayPlane {
  CArray<std::uint8_t> bytes;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Once the header is read, the picture's size tells whether the plot area holds any of it,
// and whether the rows' values that /Y gives fit a PRN line; the overlay's plane is made.
Ending check_picture_size(const RunSettings& settings, std::int32_t width, std::int32_t height,
                          ReaderOptions& options, OverlayPlane& plane) {
  if (!frame_holds_pixels(settings.frame, width, height)) {
    return report_area_outside(settings.frame, width, height, settings.input_name);
  }
  if (settings.has_rows && !settings.csv_output) {
    if (check_row_values(settings.rows, height)) return plot_option_error();
  }
  if (settings.overlay_name[0] != '\0' && !settings.census_mode) {
    plane.bytes = allocate_zeroed<std::uint8_t>(std::size_t(width) * std::size_t(height));
    if (!plane.bytes) return report_overlay_out_of_memory(settings.overlay_name);
    plane.width = width;
    plane.height = height;
    options.grey_plane = plane.bytes.get();
  }
  return kGoOn;
}

// The PCX header stage and decode. A failed validation ends the run before the checkpoint.
Ending read_pcx(const RunSettings& settings, InputFile& input, DataBitmap& bitmap,
                OverlayPlane& plane) {
  PcxHeader header;
  if (Ending ending = pcx_read_header(input, header)) return ending;
  std::int32_t width = 0;
  std::int32_t height = 0;
  if (!pcx_validate_header(header, settings.input_name, settings.verbose, width, height)) {
    return ExitCode::kInvalidContent;
  }
  if (cancel_requested()) return ExitCode::kSuccess;
  ReaderOptions options = reader_options(settings);
  if (Ending ending = check_picture_size(settings, width, height, options, plane)) return ending;
  if (Ending ending = pcx_decode(input, header, width, height, settings.input_name, bitmap)) {
    return ending;
  }
  // The bitmap holds the whole picture: its data pixels are the black ones.
  if (plane.bytes) fill_grey_from_bitmap(bitmap, plane.bytes.get());
  return kGoOn;
}

// The TGA header stage, then the census or the decode. Here the checkpoint comes before the
// pending exit code, so a cancellation wins over a faulty header.
Ending read_tga(const RunSettings& settings, InputFile& input, DataBitmap& bitmap,
                OverlayPlane& plane) {
  ReaderOptions options = reader_options(settings);
  TgaHeader header;
  if (Ending ending = tga_read_header(input, options.verbose, header)) return ending;
  if (header.bits_per_pixel == 1 && settings.colour_list_given) {
    return refuse_colour_list_for_one_bit(settings);
  }
  const bool valid = tga_validate_header(header, options);
  if (cancel_requested()) return ExitCode::kSuccess;
  if (!valid) return ExitCode::kInvalidContent;
  if (Ending ending = check_picture_size(settings, header.width, header.height, options, plane)) {
    return ending;
  }
  if (options.census) return run_colour_census(input, header, options).value_or(ExitCode::kSuccess);
  return tga_decode(input, header, options, bitmap);
}

// PNG and JPEG files are known by their signatures, whatever their names and whether /T is
// given. The bytes are only looked at: the reader that takes the file starts at its first byte.
enum class Signature { kNone, kPng, kJpeg };

Signature signature_of(InputFile& input) {
  const std::uint8_t* bytes = nullptr;
  const long available = input.view(&bytes);
  if (available <= 0) return Signature::kNone;
  const auto size = static_cast<std::size_t>(available);
  if (is_png_signature(bytes, size)) return Signature::kPng;
  if (is_jpeg_signature(bytes, size)) return Signature::kJpeg;
  return Signature::kNone;
}

// The PNG header stage, then the census or the decode, with the checkpoint where the TGA
// reader has it.
Ending read_png(const RunSettings& settings, InputFile& input, DataBitmap& bitmap,
                OverlayPlane& plane) {
  ReaderOptions options = reader_options(settings);
  PngHeader header;
  if (Ending ending = png_read_header(input, options.input_name, options.verbose, header)) {
    return ending;
  }
  const bool valid = png_validate_header(header, options.input_name);
  if (cancel_requested()) return ExitCode::kSuccess;
  if (!valid) return ExitCode::kInvalidContent;
  if (Ending ending = check_picture_size(settings, std::int32_t(header.width),
                                         std::int32_t(header.height), options, plane)) {
    return ending;
  }
  const Ending ending = png_decode(input, header, options, bitmap);
  // The census ends the run whatever it found.
  if (options.census) return ending.value_or(ExitCode::kSuccess);
  return ending;
}

// The JPEG header stage, then the census or the decode, with the checkpoint where the PNG
// reader has it.
Ending read_jpeg(const RunSettings& settings, InputFile& input, DataBitmap& bitmap,
                 OverlayPlane& plane) {
  ReaderOptions options = reader_options(settings);
  JpegHeader header;
  if (Ending ending = jpeg_read_header(input, options.input_name, options.verbose, header)) {
    return ending;
  }
  const bool valid = jpeg_validate_header(header, options.input_name);
  if (cancel_requested()) return ExitCode::kSuccess;
  if (!valid) return ExitCode::kInvalidContent;
  if (Ending ending = check_picture_size(settings, std::int32_t(header.width),
                                         std::int32_t(header.height), options, plane)) {
    return ending;
  }
  const Ending ending = jpeg_decode(input, header, options, bitmap);
  // The census ends the run whatever it found.
  if (options.census) return ending.value_or(ExitCode::kSuccess);
  return ending;
}

// The overlay picture (/O): the picture's grey plane with the data pixels, the marks of the
// values written, and the plot area and masks clipped to the picture.
ExitCode write_overlay_file(const RunSettings& settings, const OverlayPlane& plane,
                            const double* marks) {
  const PlotFrame& frame = settings.frame;
  const PixelBox area = frame.area.clipped(plane.width, plane.height);
  PixelBox masks[kMaxMasks];
  std::size_t mask_count = 0;
  for (unsigned m = 0; m < frame.mask_count; ++m) {
    const PixelBox mask = frame.masks[m].clipped(plane.width, plane.height);
    if (!mask.empty()) masks[mask_count++] = mask;
  }
  OverlayPicture picture;
  picture.width = std::uint32_t(plane.width);
  picture.height = std::uint32_t(plane.height);
  picture.plane = plane.bytes.get();
  picture.mark_rows = marks;
  picture.area = frame.has_area ? &area : nullptr;
  picture.masks = masks;
  picture.mask_count = mask_count;
  OverlayOptions options;
  options.output_name = settings.overlay_name;
  return write_overlay(options, picture).value_or(ExitCode::kSuccess);
}

// The PRN or CSV file, then the overlay picture. The marks of the overlay are taken before
// the data file is written, which frees the table.
ExitCode write_data_file(const RunSettings& settings, ColumnTable& table,
                         std::int32_t working_height, std::int32_t row_offset,
                         std::int32_t band_top, const OverlayPlane& plane) {
  const bool overlay = plane.bytes != nullptr;
  CArray<double> marks;
  if (overlay) {
    marks = allocate_zeroed<double>(std::size_t(plane.width));
    if (!marks) return report_overlay_out_of_memory(settings.overlay_name);
    fill_mark_rows(table, working_height, row_offset, band_top, settings.csv_output, marks.get());
  }
  const AxisScale* const rows = settings.has_rows ? &settings.rows : nullptr;
  Ending ending;
  if (settings.csv_output) {
    CsvOptions csv;
    csv.output_name = settings.output_name;
    csv.verbose = settings.verbose;
    csv.high = settings.high;
    csv.low = settings.low;
    csv.decimal_separator = settings.decimal_separator;
    csv.rows = rows;
    csv.row_offset = row_offset + band_top;
    csv.columns = settings.has_columns ? &settings.columns : nullptr;
    ending = write_csv_file(table, working_height, csv);
  } else {
    PrnOptions prn{settings.output_name, settings.verbose,           settings.high,
                   settings.low,         settings.decimal_separator, rows,
                   row_offset + band_top};
    ending = write_prn_file(table, working_height, prn);
  }
  // The data file ends the run, with success or not; an overlay follows only a finished one.
  const ExitCode data_file = ending.value_or(ExitCode::kSuccess);
  if (data_file != ExitCode::kSuccess || !overlay || cancel_requested()) return data_file;
  return write_overlay_file(settings, plane, marks.get());
}

ExitCode run_sequence(RunSettings& settings) {
  if (settings.argument_count > 1) {
    if (Ending ending = parse_options(settings)) return *ending;
    if (Ending ending = finish_options(settings)) return *ending;
  }
  if (Ending ending = decide_mode_and_range(settings)) return *ending;
  if (Ending ending = resolve_output_name(settings)) return *ending;
  if (cancel_requested()) return ExitCode::kSuccess;
  if (Ending ending = resolve_input_name(settings)) return *ending;
  if (cancel_requested()) return ExitCode::kSuccess;

  InputFile input;
  if (Ending ending = open_input(settings, input)) return *ending;

  DataBitmap bitmap;
  OverlayPlane plane;
  const Signature signature = signature_of(input);
  const Ending image_ending =
      signature == Signature::kPng    ? read_png(settings, input, bitmap, plane)
      : signature == Signature::kJpeg ? read_jpeg(settings, input, bitmap, plane)
      : settings.tga_input            ? read_tga(settings, input, bitmap, plane)
                                      : read_pcx(settings, input, bitmap, plane);
  if (image_ending) return *image_ending;

  // Hand-over to the column scan: the input is no longer needed.
  input.close();
  if (cancel_requested()) return ExitCode::kSuccess;
  if (settings.verbose) print("Input file %s read.\n", settings.input_name);

  // The plot area and the masks; the area's rows move to the top of the bitmap.
  std::int32_t row_offset = 0;
  std::int32_t working_height = bitmap.height;
  if (Ending ending = apply_frame(settings.frame, bitmap, row_offset, working_height)) {
    return *ending;
  }
  // The overlay shows the data pixels that the frame left, before /C moves rows.
  if (plane.bytes) {
    mark_data_in_plane(bitmap, working_height,
                       plane.bytes.get() + std::size_t(row_offset) * std::size_t(bitmap.width));
  }
  std::int32_t band_top = 0;
  if (settings.crop) {
    if (Ending ending = crop_to_data(bitmap, working_height, band_top)) return *ending;
  }
  ScanOptions scan;
  scan.input_name = settings.input_name;
  if (settings.colour_list_given) scan.colour_list = settings.selected_text;
  scan.rows_have_values = settings.has_rows;
  ColumnTable table;
  if (Ending ending = scan_columns(bitmap, working_height, scan, table)) return *ending;
  if (Ending ending = mark_extremes(table)) return *ending;
  return write_data_file(settings, table, working_height, row_offset, band_top, plane);
}

}  // namespace

ExitCode run(int argument_count, char* const arguments[]) {
  const ControlHandlerRegistration control_handler;
  RunSettings settings;
  settings.argument_count = argument_count;
  settings.arguments = arguments;
  return run_sequence(settings);
}

}  // namespace curvlog
