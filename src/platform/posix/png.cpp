// The PNG decoder on POSIX systems: libpng, reading through the program's input file.
//
// libpng reports an error by a long jump to the last setjmp. Every call into libpng that can
// fail runs inside run_guarded(), a function whose frame and whose steps hold no object with a
// destructor, so the jump skips nothing that needed cleaning up.

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/png.h"

namespace curvlog::platform {
namespace {

// Everything libpng allocates for one file (row buffers of at most 65535 pixels of 8 bytes,
// the inflate state, the palette) stays far below this; a file that asks for more is refused
// as out of memory rather than given it.
constexpr std::size_t kMemoryLimit = std::size_t{16} << 20;

// What libpng is doing, which tells what its errors mean.
enum class Phase { kInfo, kRows, kEnd };

struct DecoderState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ByteSource input;
  const std::uint8_t* header = nullptr;  // bytes taken from the input already, read first
  std::size_t header_left = 0;

  DecodeStatus failure = DecodeStatus::kOk;  // set by the callbacks before an error's long jump
  ErrorCode error = 0;
  std::size_t allocated = 0;
  bool memory_refused = false;
  Phase phase = Phase::kInfo;

  DecodedPixels pixels;
  std::size_t row_bytes = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int passes = 1;  // 7 for an interlaced file, which libpng delivers pass by pass
  int pass = 0;
  std::uint32_t pass_row = 0;
  std::uint32_t rows = 0;

  ~DecoderState() { png_destroy_read_struct(&png, &info, nullptr); }
};

DecoderState& state_of(png_structp png) {
  return *static_cast<DecoderState*>(png_get_error_ptr(png));
}
DecoderState& memory_state_of(png_structp png) {
  return *static_cast<DecoderState*>(png_get_mem_ptr(png));
}

// libpng's allocations, counted against the limit. Each block carries its size in front.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

png_voidp allocate(png_structp png, png_alloc_size_t size) {
  DecoderState& s = memory_state_of(png);
  auto* block = size <= kMemoryLimit - s.allocated
                    ? static_cast<unsigned char*>(std::malloc(kBlockHeader + size))
                    : nullptr;
  if (block == nullptr) {
    s.memory_refused = true;
    return nullptr;
  }
  std::memcpy(block, &size, sizeof size);
  s.allocated += size;
  return block + kBlockHeader;
}

void release(png_structp png, png_voidp memory) {
  if (memory == nullptr) return;
  unsigned char* const block = static_cast<unsigned char*>(memory) - kBlockHeader;
  png_alloc_size_t size;
  std::memcpy(&size, block, sizeof size);
  memory_state_of(png).allocated -= size;
  std::free(block);
}

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  DecoderState& s = state_of(png);
  if (s.failure == DecodeStatus::kOk) {
    // libpng names its errors in text only; a bad CRC is always "CRC error".
    if (s.memory_refused) {
      s.failure = DecodeStatus::kOutOfMemory;
    } else if (std::strstr(message, "CRC error") != nullptr) {
      s.failure = DecodeStatus::kBadCrc;
    } else {
      s.failure = s.phase == Phase::kRows ? DecodeStatus::kBadImageData : DecodeStatus::kBadChunk;
    }
  }
  png_longjmp(png, 1);
}

// Warnings concern chunks that the program does not use; nothing is printed.
void on_warning(png_structp, png_const_charp) {}

void read_data(png_structp png, png_bytep out, std::size_t size) {
  DecoderState& s = state_of(png);
  const std::size_t from_header = size < s.header_left ? size : s.header_left;
  if (from_header != 0) {
    std::memcpy(out, s.header, from_header);
    s.header += from_header;
    s.header_left -= from_header;
    if (from_header == size) return;
  }
  ErrorCode error = 0;
  const long got = s.input.read(s.input.context, out + from_header, size - from_header, &error);
  if (got == static_cast<long>(size - from_header)) return;
  if (got < 0) {
    s.failure = DecodeStatus::kReadError;
    s.error = error;
  } else {
    s.failure = DecodeStatus::kEndOfFile;
  }
  png_error(png, "read");
}

using Step = void (*)(DecoderState& s, png_bytep row);

// Runs a step of libpng's work; an error of libpng's ends it with a long jump back here.
DecodeStatus run_guarded(DecoderState& s, Step step, png_bytep row) {
  if (setjmp(png_jmpbuf(s.png)) != 0) return s.failure;
  step(s, row);
  return DecodeStatus::kOk;
}

// Reads the chunks up to the image data and chooses how the rows come: palette indices and
// low-bit grey levels one per byte, and a tRNS colour of a grey or RGB image as an alpha
// channel. Interlaced rows come pass by pass, as stored: the image is never assembled.
void read_info(DecoderState& s, png_bytep) {
  png_set_user_limits(s.png, kLargestSide, kLargestSide);
  png_set_chunk_malloc_max(s.png, kLargestOtherChunk);
  // Only IHDR, PLTE, tRNS, IDAT and IEND are read; every chunk's CRC is checked all the same.
  png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_crc_action(s.png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
  png_read_info(s.png, s.info);

  const png_byte colour_type = png_get_color_type(s.png, s.info);
  const png_byte depth = png_get_bit_depth(s.png, s.info);
  const bool transparent_colour =
      colour_type != PNG_COLOR_TYPE_PALETTE && png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
  if (transparent_colour) png_set_tRNS_to_alpha(s.png);  // also spreads low-bit grey to 8 bits
  if (depth < 8) png_set_packing(s.png);
  png_read_update_info(s.png, s.info);

  DecodedPixels& pixels = s.pixels;
  pixels.channels = png_get_channels(s.png, s.info);
  pixels.bits = transparent_colour ? png_get_bit_depth(s.png, s.info) : depth;
  pixels.indexed = colour_type == PNG_COLOR_TYPE_PALETTE;
  if (pixels.indexed) {
    png_colorp palette = nullptr;
    int entries = 0;
    png_get_PLTE(s.png, s.info, &palette, &entries);
    png_bytep alpha = nullptr;
    int alpha_entries = 0;
    png_get_tRNS(s.png, s.info, &alpha, &alpha_entries, nullptr);
    pixels.palette_size = static_cast<unsigned>(entries);
    for (int i = 0; i < entries; ++i) {
      std::uint8_t* const entry = pixels.palette[i];
      entry[0] = palette[i].red;
      entry[1] = palette[i].green;
      entry[2] = palette[i].blue;
      entry[3] = i < alpha_entries ? alpha[i] : 255;
    }
  }
  s.row_bytes = png_get_rowbytes(s.png, s.info);
  s.width = png_get_image_width(s.png, s.info);
  s.height = png_get_image_height(s.png, s.info);
  s.passes = png_get_interlace_type(s.png, s.info) == PNG_INTERLACE_NONE ? 1 : 7;
}

void read_row(DecoderState& s, png_bytep row) {
  png_read_row(s.png, row, nullptr);
}

void read_end(DecoderState& s, png_bytep) {
  png_read_end(s.png, nullptr);
}

std::uint32_t pass_columns(const DecoderState& s, int pass) {
  return s.passes == 1 ? s.width : PNG_PASS_COLS(s.width, pass);
}
std::uint32_t pass_rows(const DecoderState& s, int pass) {
  return s.passes == 1 ? s.height : PNG_PASS_ROWS(s.height, pass);
}

// Sets up libpng for a fresh state of the input: the bytes in s.header, then the input's.
DecodeStatus begin(DecoderState& s) {
  s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, on_error, on_warning, &s, allocate,
                                   release);
  if (s.png != nullptr) s.info = png_create_info_struct(s.png);
  if (s.info == nullptr) return DecodeStatus::kOutOfMemory;
  png_set_read_fn(s.png, &s, read_data);
  if (DecodeStatus status = run_guarded(s, read_info, nullptr); status != DecodeStatus::kOk) {
    return status;
  }
  s.phase = Phase::kRows;
  // libpng leaves out the passes that hold no pixels of a small image; so does the count.
  for (int pass = 0; pass < s.passes; ++pass) {
    if (pass_columns(s, pass) != 0) s.rows += pass_rows(s, pass);
  }
  return DecodeStatus::kOk;
}

DecoderState& state(void* state) {
  return *static_cast<DecoderState*>(state);
}

// A fresh state in *state_pointer, replacing any earlier one.
DecodeStatus begin_anew(void** state_pointer, const ByteSource& input, const std::uint8_t* header,
                        std::size_t header_size) {
  delete static_cast<DecoderState*>(*state_pointer);
  auto* s = new (std::nothrow) DecoderState;
  *state_pointer = s;
  if (s == nullptr) return DecodeStatus::kOutOfMemory;
  s->input = input;
  s->header = header;
  s->header_left = header_size;
  return begin(*s);
}

}  // namespace

PngDecoder::~PngDecoder() {
  delete static_cast<DecoderState*>(state_);
}

DecodeStatus PngDecoder::start(const ByteSource& input, const char*, const std::uint8_t* header,
                               std::size_t header_size) {
  return begin_anew(&state_, input, header, header_size);
}

const DecodedPixels& PngDecoder::pixels() const {
  return state(state_).pixels;
}

std::size_t PngDecoder::row_bytes() const {
  return state(state_).row_bytes;
}

std::uint32_t PngDecoder::rows() const {
  return state(state_).rows;
}

DecodeStatus PngDecoder::next_row(std::uint8_t* buffer, RowPlace* place) {
  DecoderState& s = state(state_);
  while (s.pass < s.passes &&
         (s.pass_row == pass_rows(s, s.pass) || pass_columns(s, s.pass) == 0)) {
    ++s.pass;
    s.pass_row = 0;
  }
  if (s.pass == s.passes) return DecodeStatus::kBadImageData;  // asked for a row past the last
  if (s.passes == 1) {
    *place = RowPlace{s.pass_row, 0, 1, s.width};
  } else {
    const auto start_row = std::uint32_t(PNG_PASS_START_ROW(s.pass));
    const auto row_step = std::uint32_t(PNG_PASS_ROW_OFFSET(s.pass));
    *place = RowPlace{start_row + s.pass_row * row_step, std::uint32_t(PNG_PASS_START_COL(s.pass)),
                      std::uint32_t(PNG_PASS_COL_OFFSET(s.pass)), pass_columns(s, s.pass)};
  }
  ++s.pass_row;
  return run_guarded(s, read_row, buffer);
}

DecodeStatus PngDecoder::finish() {
  DecoderState& s = state(state_);
  s.phase = Phase::kEnd;
  return run_guarded(s, read_end, nullptr);
}

DecodeStatus PngDecoder::restart() {
  DecoderState& s = state(state_);
  if (!s.input.rewind(s.input.context, &s.error)) return DecodeStatus::kReadError;
  const ByteSource input = s.input;
  return begin_anew(&state_, input, nullptr, 0);
}

ErrorCode PngDecoder::error() const {
  return state(state_).error;
}

}  // namespace curvlog::platform
