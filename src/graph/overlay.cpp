#include "graph/overlay.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/cancel.h"
#include "base/console.h"
#include "base/owners.h"
#include "graph/prn_writer.h"
#include "platform/platform.h"
#include "platform/png_writer.h"

namespace curvlog {
namespace {

// The palette: the lightened grey levels first, one per level of the plane, then the marks.
constexpr unsigned kGreyLevels = 128;
constexpr std::uint8_t kDataIndex = kGreyLevels;
constexpr std::uint8_t kMaskIndex = kGreyLevels + 1;
constexpr std::uint8_t kAreaIndex = kGreyLevels + 2;
constexpr std::uint8_t kMarkIndex = kGreyLevels + 3;
constexpr unsigned kPaletteSize = kGreyLevels + 4;

struct Palette {
  platform::PaletteEntry entries[kPaletteSize];

  Palette() {
    constexpr unsigned kSpan = kOverlayLightest - kOverlayDarkest;
    for (unsigned level = 0; level < kGreyLevels; ++level) {
      const auto grey = std::uint8_t(kOverlayDarkest +
                                     (level * kSpan + (kGreyLevels - 1) / 2) / (kGreyLevels - 1));
      entries[level] = {grey, grey, grey};
    }
    const auto entry = [](OverlayColour c) {
      return platform::PaletteEntry{c.red, c.green, c.blue};
    };
    entries[kDataIndex] = entry(kOverlayData);
    entries[kMaskIndex] = entry(kOverlayMask);
    entries[kAreaIndex] = entry(kOverlayArea);
    entries[kMarkIndex] = entry(kOverlayMark);
  }
};

// A byte of the plane to its palette index.
struct PlaneIndex {
  std::uint8_t of[256];

  constexpr PlaneIndex() : of() {
    for (unsigned byte = 0; byte < 256; ++byte) {
      of[byte] = (byte & 1) != 0 ? kDataIndex : std::uint8_t(byte >> 1);
    }
  }
};
constexpr PlaneIndex kPlaneIndex;

// The part of a box's outline that lies on row y of a row of width pixels; whatever of the
// box lies outside the picture is left out.
void outline_row(const PixelBox& box, std::int32_t y, std::uint32_t width, std::uint8_t index,
                 std::uint8_t* row) {
  if (y < box.top || y > box.bottom || box.left > box.right) return;
  const std::int32_t last = std::int32_t(width) - 1;
  const std::int32_t from = box.left > 0 ? box.left : 0;
  const std::int32_t to = box.right < last ? box.right : last;
  if (y == box.top || y == box.bottom) {
    for (std::int32_t x = from; x <= to; ++x) row[x] = index;
  } else {
    if (box.left == from && from <= last) row[from] = index;
    if (box.right == to && to >= 0) row[to] = index;
  }
}

// The marks that reach row y: a column's mark covers the rows within reach of its value's
// row, the value rounded to the nearest row. NaN (no mark) fails both comparisons.
void mark_row(const double* mark_rows, std::uint32_t width, std::int32_t y, std::int32_t reach,
              std::uint8_t* row) {
  const double first = double(y) - double(reach) - 0.5;
  const double beyond = double(y) + double(reach) + 0.5;
  for (std::uint32_t x = 0; x < width; ++x) {
    const double mark = mark_rows[x];
    if (mark >= first && mark < beyond) row[x] = kMarkIndex;
  }
}

// Ends a file that cannot be finished: closed, then removed.
void abandon(platform::PngWriter& writer, const char* name) {
  writer.close();
  remove_output(name);
}

}  // namespace

std::int32_t overlay_mark_reach(std::uint32_t width, std::uint32_t height) {
  const std::uint32_t longer = width > height ? width : height;
  return 1 + std::int32_t(longer / 4096);
}

void fill_mark_rows(const ColumnTable& table, std::int32_t working_height, std::int32_t row_offset,
                    std::int32_t crop_offset, bool exact, double* rows) {
  const double bottom = double(row_offset + crop_offset + working_height - 1);
  for (std::int32_t x = 0; x < table.width; ++x) {
    const ColumnRecord& record = table.records[x];
    if (record.pixel_count == 0) {
      rows[x] = NAN;
    } else {
      rows[x] =
          bottom - (exact ? mean_height(record) : double(valued_height(record, working_height)));
    }
  }
}

ExitCode report_overlay_out_of_memory(const char* overlay_name) {
  print("\nError: unable to allocate memory to write the overlay file %s\n\n", overlay_name);
  return ExitCode::kOutOfMemory;
}

Ending write_overlay(const OverlayOptions& options, const OverlayPicture& picture) {
  const char* const name = options.output_name;
  // The file may have appeared since the first test, before the input was read.
  if (platform::path_exists(name)) {
    print("\nError: output file %s already exists\n\n", name);
    return ExitCode::kOutputExists;
  }
  if (cancel_requested()) return ExitCode::kSuccess;

  const std::uint32_t width = picture.width;
  CArray<std::uint8_t> row = allocate_zeroed<std::uint8_t>(width != 0 ? width : 1);
  if (!row) return report_overlay_out_of_memory(name);
  const Palette palette;
  platform::PngWriter writer;
  platform::ErrorCode error = 0;
  platform::EncodeStatus status =
      writer.create_new(name, width, picture.height, palette.entries, kPaletteSize, &error);
  if (status == platform::EncodeStatus::kCreateFailed) {
    print("\nError: unable to create output file %s (%lu)\n\n", name, error);
    return ExitCode::kFileAccess;
  }

  const std::int32_t reach = overlay_mark_reach(width, picture.height);
  for (std::uint32_t y = 0; y < picture.height && status == platform::EncodeStatus::kOk; ++y) {
    if (cancel_requested()) {
      abandon(writer, name);
      return ExitCode::kSuccess;
    }
    const std::uint8_t* const in = picture.plane + std::size_t(y) * width;
    std::uint8_t* const out = row.get();
    for (std::uint32_t x = 0; x < width; ++x) out[x] = kPlaneIndex.of[in[x]];
    for (std::size_t i = 0; i < picture.mask_count; ++i) {
      outline_row(picture.masks[i], std::int32_t(y), width, kMaskIndex, out);
    }
    if (picture.area != nullptr) {
      outline_row(*picture.area, std::int32_t(y), width, kAreaIndex, out);
    }
    mark_row(picture.mark_rows, width, std::int32_t(y), reach, out);
    status = writer.write_row(out, &error);
  }
  if (status == platform::EncodeStatus::kOk) status = writer.finish(&error);
  if (status == platform::EncodeStatus::kOutOfMemory) {
    const ExitCode code = report_overlay_out_of_memory(name);
    abandon(writer, name);
    return code;
  }
  if (status != platform::EncodeStatus::kOk) {
    print("\nError: cannot write to file %s (%lu)\n\n", name, error);
    abandon(writer, name);
    return ExitCode::kWriteFailure;
  }
  print("File %s created.\n\n", name);
  // A cancellation that came during the last row or the close still removes the file.
  if (cancel_requested()) remove_output(name);
  return ExitCode::kSuccess;
}

}  // namespace curvlog
