#include "image/jpeg.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/cancel.h"
#include "base/console.h"
#include "image/census.h"
#include "image/classify.h"
#include "image/picture.h"
#include "platform/jpeg.h"

namespace curvlog {
namespace {

using platform::DecodeStatus;

// The marker segments before the frame hold a few tables (at most some kilobytes) and the
// JFIF marker with perhaps a thumbnail: a file that needs more than this kept for the decoder
// is not a picture.
constexpr std::size_t kMostKeptBytes = std::size_t{1} << 20;
// The system's decoders allow sides of at most this many pixels.
constexpr std::uint32_t kLargestSide = 65500;

// Markers that the header stage meets before the frame.
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kHuffmanTables = 0xC4;
constexpr std::uint8_t kArithmeticConditioning = 0xCC;
constexpr std::uint8_t kQuantisationTables = 0xDB;
constexpr std::uint8_t kRestartInterval = 0xDD;
constexpr std::uint8_t kApplication0 = 0xE0;   // JFIF
constexpr std::uint8_t kApplication14 = 0xEE;  // Adobe: the colour transform
constexpr std::uint8_t kApplication15 = 0xEF;
constexpr std::uint8_t kComment = 0xFE;

// The frame markers SOF0 to SOF15 (0xC4, 0xC8 and 0xCC are other markers) and their coding
// processes; the first three are the ones read.
const char* const kProcesses[16] = {"baseline",
                                    "extended sequential",
                                    "progressive",
                                    "lossless",
                                    nullptr,
                                    "hierarchical sequential",
                                    "hierarchical progressive",
                                    "hierarchical lossless",
                                    nullptr,
                                    "arithmetic sequential",
                                    "arithmetic progressive",
                                    "arithmetic lossless",
                                    nullptr,
                                    "hierarchical arithmetic sequential",
                                    "hierarchical arithmetic progressive",
                                    "hierarchical arithmetic lossless"};

bool is_frame_marker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && kProcesses[marker - 0xC0] != nullptr;
}

ExitCode report_out_of_memory() {
  print("Error: unable to allocate memory to decode the JPEG file\n\n");
  return ExitCode::kOutOfMemory;
}

ExitCode report_damage(const char* input_name, const char* what) {
  print("\nError: the JPEG file %s is damaged:\n%s\n\n", input_name, what);
  return ExitCode::kInvalidContent;
}

ExitCode report_bad_marker(const char* input_name) {
  return report_damage(input_name, "a marker is missing, misplaced or malformed");
}

ExitCode report_decoder_failure(DecodeStatus status, platform::ErrorCode error,
                                const char* input_name) {
  switch (status) {
    case DecodeStatus::kOk:  // not a failure; never asked
    case DecodeStatus::kEndOfFile:
      return report_pixel_read_failure(0, InputFile::kEndOfFile, input_name);
    case DecodeStatus::kReadError:
      return report_pixel_read_failure(error, InputFile::kReadError, input_name);
    case DecodeStatus::kBadCrc:  // PNG only
    case DecodeStatus::kBadChunk:
      return report_bad_marker(input_name);
    case DecodeStatus::kBadImageData:
      return report_damage(input_name, "its compressed image data is broken");
    case DecodeStatus::kOutOfMemory:
      return report_out_of_memory();
    case DecodeStatus::kUnsupported:
      print("\nError: the JPEG file %s is of a kind that this system's decoder cannot\n",
            input_name);
      print("deliver. Save the graph as a greyscale or RGB JPEG file, or as a PNG file.\n\n");
      return ExitCode::kInvalidContent;
  }
  return ExitCode::kInvalidContent;
}

// ---- The markers before the frame --------------------------------------------------------------

// Takes count bytes of the input into out, or drops them when out is null.
Ending take(InputFile& input, const char* input_name, std::uint8_t* out,
            std::size_t count) {
  std::uint8_t dropped[4096];
  while (count != 0) {
    const std::size_t want = out != nullptr || count < sizeof dropped ? count : sizeof dropped;
    const long got = input.read(out != nullptr ? out : dropped, want);
    if (got != static_cast<long>(want)) return report_view_failure(input, got, input_name);
    if (out != nullptr) out += want;
    count -= want;
  }
  return kGoOn;
}

// Room for count more kept bytes; null when there is none (the limit passed, or memory).
std::uint8_t* make_room(JpegHeader& header, std::size_t count, bool* memory_refused) {
  const std::size_t needed = header.size + count;
  if (needed > kMostKeptBytes) return nullptr;
  if (needed > header.capacity) {
    std::size_t capacity = header.capacity == 0 ? 4096 : header.capacity;
    while (capacity < needed) capacity *= 2;
    void* const grown = std::realloc(header.bytes.get(), capacity);
    if (grown == nullptr) {
      *memory_refused = true;
      return nullptr;
    }
    static_cast<void>(header.bytes.release());
    header.bytes.reset(static_cast<std::uint8_t*>(grown));
    header.capacity = capacity;
  }
  std::uint8_t* const room = header.bytes.get() + header.size;
  header.size = needed;
  return room;
}

// Takes a marker's two bytes and its segment (length first) into the kept bytes or, for a
// marker that says nothing about the pixels, drops the segment. Points *data at a kept
// segment's data, after the length.
Ending take_segment(InputFile& input, const char* input_name, std::uint8_t marker,
                    JpegHeader& header, const std::uint8_t** data, std::size_t* data_size) {
  std::uint8_t length_bytes[2];
  if (Ending ending = take(input, input_name, length_bytes, 2)) return ending;
  const unsigned length = unsigned{length_bytes[0]} << 8 | length_bytes[1];
  if (length < 2) return report_bad_marker(input_name);
  *data_size = length - 2;
  const bool dropped = (marker > kApplication0 && marker < kApplication14) ||
                       marker == kApplication15 || marker == kComment;
  if (dropped) {
    *data = nullptr;
    return take(input, input_name, nullptr, *data_size);
  }
  bool memory_refused = false;
  std::uint8_t* const room = make_room(header, 2 + length, &memory_refused);
  if (room == nullptr) {
    return memory_refused ? report_out_of_memory() : report_bad_marker(input_name);
  }
  room[0] = 0xFF;
  room[1] = marker;
  room[2] = length_bytes[0];
  room[3] = length_bytes[1];
  *data = room + 4;
  return take(input, input_name, room + 4, *data_size);
}

// The fields of a frame header's segment data.
bool read_frame(const std::uint8_t* data, std::size_t size, JpegHeader& header) {
  if (size < 6) return false;
  header.precision = data[0];
  header.height = std::uint32_t{data[1]} << 8 | data[2];
  header.width = std::uint32_t{data[3]} << 8 | data[4];
  header.components = data[5];
  return size == 6 + 3 * std::size_t{header.components};
}

void print_frame(const JpegHeader& header) {
  print("JPEG components: %u\n", header.components);
  print("JPEG process: %s\n", kProcesses[header.frame_marker - 0xC0]);
  print("Image width: %lu\n", static_cast<unsigned long>(header.width));
  print("Image height: %lu\n", static_cast<unsigned long>(header.height));
}

}  // namespace

bool is_jpeg_signature(const std::uint8_t* bytes, std::size_t size) {
  return size >= 3 && bytes[0] == 0xFF && bytes[1] == kStartOfImage && bytes[2] == 0xFF;
}

Ending jpeg_read_header(InputFile& input, const char* input_name, bool verbose,
                        JpegHeader& header) {
  if (verbose) print("Using JPEG input file format.\n\n");
  bool memory_refused = false;
  std::uint8_t* const start = make_room(header, 2, &memory_refused);
  if (start == nullptr) return report_out_of_memory();
  if (Ending ending = take(input, input_name, start, 2)) return ending;
  if (start[0] != 0xFF || start[1] != kStartOfImage) {
    return report_bad_marker(input_name);
  }
  for (;;) {
    std::uint8_t marker[2];
    if (Ending ending = take(input, input_name, marker, 2)) return ending;
    if (marker[0] != 0xFF) return report_bad_marker(input_name);
    while (marker[1] == 0xFF) {  // fill bytes before the marker's code
      if (Ending ending = take(input, input_name, marker + 1, 1)) return ending;
    }
    const std::uint8_t code = marker[1];
    const bool frame = is_frame_marker(code);
    const bool table = code == kHuffmanTables || code == kArithmeticConditioning ||
                       code == kQuantisationTables || code == kRestartInterval ||
                       (code >= kApplication0 && code <= kApplication15) || code == kComment;
    // Anything else before the frame (a scan, the end of the image, a restart marker) is out
    // of place.
    if (!frame && !table) return report_bad_marker(input_name);
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (Ending ending = take_segment(input, input_name, code, header, &data, &size)) {
      return ending;
    }
    if (code == kApplication14 && size >= 12 && std::memcmp(data, "Adobe", 5) == 0) {
      header.adobe = true;
      header.adobe_transform = data[11];
    }
    if (frame) {
      header.frame_marker = code;
      if (!read_frame(data, size, header)) return report_bad_marker(input_name);
      if (verbose) print_frame(header);
      return kGoOn;
    }
  }
}

bool jpeg_validate_header(const JpegHeader& header, const char* input_name) {
  bool valid = true;
  const std::uint8_t marker = header.frame_marker;
  if (marker != 0xC0 && marker != 0xC1 && marker != 0xC2) {
    print("Error: the JPEG file %s is coded by the %s process;\n", input_name,
          kProcesses[marker - 0xC0]);
    print("CURVLOG reads baseline, extended sequential and progressive JPEG files\n\n");
    valid = false;
  }
  if (header.precision != 8) {
    print("Error: the JPEG file %s has samples of %u bits;\n", input_name, header.precision);
    print("CURVLOG reads 8-bit samples\n\n");
    valid = false;
  }
  if (header.width == 0) {
    print("Error: the width of the graph has to be at least 1 instead of 0, or\n");
    print("%s is not a valid JPEG file\n\n", input_name);
    valid = false;
  } else if (header.width > kLargestSide) {
    print("Error: the graph in %s is %lu pixels wide; CURVLOG reads JPEG files of at most\n",
          input_name, static_cast<unsigned long>(header.width));
    print("65500\n\n");
    valid = false;
  }
  if (header.height == 0) {
    // A height that a DNL marker after the first scan gives.
    print("Error: the height of the graph has to be at least 1 instead of 0, or\n");
    print("%s is not a valid JPEG file\n\n", input_name);
    valid = false;
  } else if (header.height > kLargestSide) {
    print("Error: the graph in %s is %lu pixels high; CURVLOG reads JPEG files of at most\n",
          input_name, static_cast<unsigned long>(header.height));
    print("65500\n\n");
    valid = false;
  }
  if (header.components == 4 || (header.adobe && header.adobe_transform == 2)) {
    print("Error: the JPEG file %s holds a %s picture;\n", input_name,
          header.adobe && header.adobe_transform == 2 ? "YCCK" : "CMYK");
    print("CURVLOG reads greyscale and color (YCbCr or RGB) JPEG files\n\n");
    valid = false;
  } else if (header.components != 1 && header.components != 3) {
    print("Error: the JPEG file %s has %u color components;\n", input_name, header.components);
    print("CURVLOG reads 1 (greyscale) or 3 (color)\n\n");
    valid = false;
  }
  return valid;
}

Ending jpeg_decode(InputFile& input, const JpegHeader& header,
                   const ReaderOptions& options, DataBitmap& bitmap) {
  platform::JpegDecoder decoder;
  const DecodeStatus status = decoder.start(byte_source(input), options.input_name,
                                            header.bytes.get(), header.size);
  if (status != DecodeStatus::kOk) {
    return report_decoder_failure(status, decoder.error(), options.input_name);
  }
  // The rows must be the frame's: the bitmap is made to its size.
  const platform::DecodedPixels& pixels = decoder.pixels();
  if (decoder.rows() != header.height || pixels.bits != 8 ||
      decoder.row_bytes() != std::size_t{header.width} * pixels.channels) {
    return report_decoder_failure(DecodeStatus::kUnsupported, decoder.error(), options.input_name);
  }
  // A greyscale picture is read as a greyscale PNG file would be; a colour picture never gets
  // the table of its colours, which depend on the decoder: it is read by colour alone.
  PictureKind kind;
  kind.width = header.width;
  kind.height = header.height;
  kind.grey = pixels.channels == 1;
  kind.colour_table = false;
  kind.report_failure = report_decoder_failure;
  kind.name = "JPEG";
  kind.no_index_values = "is a color picture";
  return read_picture(picture_decoder(decoder), kind, options, bitmap);
}

}  // namespace curvlog
