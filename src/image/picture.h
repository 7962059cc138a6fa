#pragma once

// A picture that one of the system's decoders hands out row by row (PNG, JPEG): its pixels
// become 8-bit values (grey levels, palette indices, or indices into the table of its colours
// when it has at most 256) or stay colours, and are counted for the census or classified into
// the data bitmap. The reader of each kind checks its header, starts its decoder and comes
// here with the decoder's calls and its own messages.

#include <cstddef>
#include <cstdint>

#include "base/exit_code.h"
#include "image/data_bitmap.h"
#include "image/reader_options.h"
#include "platform/decoder.h"

namespace curvlog {

// A started decoder, through calls that do not depend on its kind.
struct PictureDecoder {
  void* decoder = nullptr;
  const platform::DecodedPixels& (*pixels)(const void* decoder) = nullptr;
  std::size_t (*row_bytes)(const void* decoder) = nullptr;
  std::uint32_t (*rows)(const void* decoder) = nullptr;
  platform::DecodeStatus (*next_row)(void* decoder, std::uint8_t* buffer,
                                     platform::RowPlace* place) = nullptr;
  platform::DecodeStatus (*finish)(void* decoder) = nullptr;
  platform::DecodeStatus (*restart)(void* decoder) = nullptr;
  platform::ErrorCode (*error)(const void* decoder) = nullptr;
};

// The calls of any decoder with the shape of platform::PngDecoder.
template <typename Decoder>
PictureDecoder picture_decoder(Decoder& decoder) {
  using platform::DecodeStatus;
  PictureDecoder d;
  d.decoder = &decoder;
  d.pixels = [](const void* p) -> const platform::DecodedPixels& {
    return static_cast<const Decoder*>(p)->pixels();
  };
  d.row_bytes = [](const void* p) { return static_cast<const Decoder*>(p)->row_bytes(); };
  d.rows = [](const void* p) { return static_cast<const Decoder*>(p)->rows(); };
  d.next_row = [](void* p, std::uint8_t* buffer, platform::RowPlace* place) {
    return static_cast<Decoder*>(p)->next_row(buffer, place);
  };
  d.finish = [](void* p) { return static_cast<Decoder*>(p)->finish(); };
  d.restart = [](void* p) { return static_cast<Decoder*>(p)->restart(); };
  d.error = [](const void* p) { return static_cast<const Decoder*>(p)->error(); };
  return d;
}

// What a kind of file brings besides its decoder.
struct PictureKind {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // Grey levels, however the decoder delivers them (a palette of greys, say); else colours.
  bool grey = false;
  // A colour picture of at most 256 colours gets the table of its colours, so that its pixels
  // have index values (PNG). A kind whose colours depend on the decoder never gets one (JPEG).
  bool colour_table = false;
  // Prints the message of a decoder failure and returns its exit code (also asked for
  // kOutOfMemory when the picture's own memory is refused).
  ExitCode (*report_failure)(platform::DecodeStatus status, platform::ErrorCode error,
                             const char* input_name) = nullptr;
  // The kind's name in messages ("PNG"), and why a picture of this kind has no index values
  // ("has more than 256 colors"), which refuses index lists and black&white runs.
  const char* name = "";
  const char* no_index_values = "";
};

// After the header stage: in census mode lists the picture's values, or its main colours when
// it has no index values, and ends the run; otherwise allocates the bitmap and classifies every
// pixel into it: by its value as an 8-bit TGA file's, by its colour (black data, white
// background) in a black&white run, and by the items of the colour list. A decode that fails
// leaves no bitmap.
Ending read_picture(const PictureDecoder& decoder, const PictureKind& kind,
                    const ReaderOptions& options, DataBitmap& bitmap);

}  // namespace curvlog
