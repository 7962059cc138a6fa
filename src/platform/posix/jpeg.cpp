// The JPEG decoder on POSIX systems: libjpeg, reading through the program's input file.
//
// libjpeg reports an error by calling the error manager, which must not return: here it long
// jumps back to the last setjmp. Every call into libjpeg that can fail runs inside
// run_guarded(), a function whose frame and whose steps hold no object with a destructor, so
// the jump skips nothing that needed cleaning up.
//
// libjpeg decodes a damaged picture as best it can, with a warning. A warning that means lost
// or wrong pixels ends the decoding here as an error: a broken entropy-coded segment, a scan
// that ends too early, and also bytes left over before a marker, which is what a flipped bit
// in the data most often leaves (the decoder is thrown out of step and ends early). The others
// (an unknown JFIF version or Adobe transform) leave the pixels as they should be and pass.

#include <unistd.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <new>

#include <jerror.h>
#include <jpeglib.h>

#include "platform/jpeg.h"

namespace curvlog::platform {
namespace {

// What libjpeg may take beyond the rows the caller keeps: an MCU row of a 65535-pixel-wide
// picture with its colour conversion and upsampling stays below this. A progressive picture
// also needs its coefficients, every one of the image, which are allowed on top.
constexpr long kMemoryLimit = 32L << 20;
// A progressive file of more scans than this is broken or built to waste time (a picture
// needs at most a few dozen).
constexpr int kMostScans = 1000;
constexpr std::size_t kInputBlock = 16384;

struct DecoderState;

// libjpeg's managers, each with the state it works for.
struct ErrorManager {
  jpeg_error_mgr base;
  DecoderState* state;
};
struct SourceManager {
  jpeg_source_mgr base;
  DecoderState* state;
};
struct ProgressManager {
  jpeg_progress_mgr base;
  DecoderState* state;
};

struct DecoderState {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  SourceManager source{};
  ProgressManager progress{};
  bool created = false;
  std::jmp_buf jump;

  ByteSource input;
  const std::uint8_t* header = nullptr;  // bytes taken from the input already, read first
  std::size_t header_size = 0;

  DecodeStatus failure = DecodeStatus::kOk;  // set before an error's long jump
  ErrorCode error = 0;

  DecodedPixels pixels;
  std::size_t row_bytes = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t next_y = 0;
  std::uint8_t block[kInputBlock];

  ~DecoderState() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

[[noreturn]] void fail(DecoderState& s, DecodeStatus status) {
  if (s.failure == DecodeStatus::kOk) s.failure = status;
  std::longjmp(s.jump, 1);
}

DecoderState& state_of(j_common_ptr info) {
  return *reinterpret_cast<ErrorManager*>(info->err)->state;
}

[[noreturn]] void on_error(j_common_ptr info) {
  const int code = info->err->msg_code;
  const bool memory = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE;
  fail(state_of(info), memory ? DecodeStatus::kOutOfMemory : DecodeStatus::kBadChunk);
}

// Warnings (level -1) that mean the pixels are not the picture's end the decoding; trace
// messages (levels 0 and up) are nothing.
void on_message(j_common_ptr info, int level) {
  if (level != -1) return;
  switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:  // the entropy-coded data ended before its bytes did
      fail(state_of(info), DecodeStatus::kBadImageData);
    case JWRN_JPEG_EOF:
      fail(state_of(info), DecodeStatus::kEndOfFile);
    default:
      return;
  }
}

void on_output(j_common_ptr) {}

DecoderState& source_state(j_decompress_ptr info) {
  return *reinterpret_cast<SourceManager*>(info->src)->state;
}

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

// The bytes the header stage took come first, then the input's; the end of the file before
// the end of the picture ends the decoding.
boolean fill_input_buffer(j_decompress_ptr info) {
  DecoderState& s = source_state(info);
  jpeg_source_mgr& source = info->src[0];
  if (s.header_size != 0) {
    source.next_input_byte = s.header;
    source.bytes_in_buffer = s.header_size;
    s.header_size = 0;
    return TRUE;
  }
  ErrorCode error = 0;
  const long got = s.input.read(s.input.context, s.block, sizeof s.block, &error);
  if (got < 0) {
    s.error = error;
    fail(s, DecodeStatus::kReadError);
  }
  if (got == 0) fail(s, DecodeStatus::kEndOfFile);
  source.next_input_byte = s.block;
  source.bytes_in_buffer = static_cast<std::size_t>(got);
  return TRUE;
}

void skip_input_data(j_decompress_ptr info, long count) {
  jpeg_source_mgr& source = info->src[0];
  while (count > static_cast<long>(source.bytes_in_buffer)) {
    count -= static_cast<long>(source.bytes_in_buffer);
    fill_input_buffer(info);
  }
  if (count > 0) {
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
  }
}

void on_progress(j_common_ptr info) {
  DecoderState& s = *reinterpret_cast<ProgressManager*>(info->progress)->state;
  if (s.info.input_scan_number > kMostScans) fail(s, DecodeStatus::kBadImageData);
}

// The coefficients of the whole picture, which a progressive file is decoded into.
long coefficient_bytes(const jpeg_decompress_struct& info) {
  long bytes = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    const long blocks_across =
        (info.image_width * component.h_samp_factor + 8 * info.max_h_samp_factor - 1) /
            (8 * info.max_h_samp_factor) +
        component.h_samp_factor;
    const long blocks_down =
        (info.image_height * component.v_samp_factor + 8 * info.max_v_samp_factor - 1) /
            (8 * info.max_v_samp_factor) +
        component.v_samp_factor;
    bytes += blocks_across * blocks_down * long{sizeof(JBLOCK)};
  }
  return bytes;
}

using Step = void (*)(DecoderState& s, std::uint8_t* row);

// Runs a step of libjpeg's work; an error ends it with a long jump back here.
DecodeStatus run_guarded(DecoderState& s, Step step, std::uint8_t* row) {
  if (setjmp(s.jump) != 0) return s.failure;
  step(s, row);
  return DecodeStatus::kOk;
}

// Reads the markers up to the first scan and starts the decompression: grey levels for one
// component, red, green and blue for three, as libjpeg's own tools deliver them (the accurate
// integer transform, smooth upsampling).
void read_info(DecoderState& s, std::uint8_t*) {
  jpeg_create_decompress(&s.info);
  s.created = true;
  s.info.mem->max_memory_to_use = kMemoryLimit;
  s.info.src = &s.source.base;
  s.info.progress = &s.progress.base;
  if (jpeg_read_header(&s.info, TRUE) != JPEG_HEADER_OK) fail(s, DecodeStatus::kBadChunk);
  if (s.info.num_components == 1) {
    s.info.out_color_space = JCS_GRAYSCALE;
  } else if (s.info.num_components == 3 && s.info.jpeg_color_space != JCS_CMYK &&
             s.info.jpeg_color_space != JCS_YCCK) {
    s.info.out_color_space = JCS_RGB;
  } else {
    fail(s, DecodeStatus::kUnsupported);
  }
  if (s.info.data_precision != 8 || s.info.arith_code) fail(s, DecodeStatus::kUnsupported);
  s.info.dct_method = JDCT_ISLOW;
  if (s.info.progressive_mode) {
    // libjpeg zero-fills the coefficients at once: more than the machine's memory would not be
    // refused but end the process.
    const long coefficients = coefficient_bytes(s.info);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0 && coefficients / page_size >= pages) {
      fail(s, DecodeStatus::kOutOfMemory);
    }
    s.info.mem->max_memory_to_use += coefficients;
  }
  jpeg_start_decompress(&s.info);
}

void read_row(DecoderState& s, std::uint8_t* row) {
  JSAMPROW rows[1] = {row};
  if (jpeg_read_scanlines(&s.info, rows, 1) != 1) fail(s, DecodeStatus::kEndOfFile);
}

void read_end(DecoderState& s, std::uint8_t*) {
  jpeg_finish_decompress(&s.info);
}

// A fresh state in *state_pointer, replacing any earlier one, started on the input.
DecodeStatus begin_anew(void** state_pointer, const ByteSource& input, const std::uint8_t* header,
                        std::size_t header_size) {
  delete static_cast<DecoderState*>(*state_pointer);
  auto* s = new (std::nothrow) DecoderState;
  *state_pointer = s;
  if (s == nullptr) return DecodeStatus::kOutOfMemory;
  s->input = input;
  s->header = header;
  s->header_size = header_size;

  s->info.err = jpeg_std_error(&s->errors.base);
  s->errors.base.error_exit = on_error;
  s->errors.base.emit_message = on_message;
  s->errors.base.output_message = on_output;
  s->errors.state = s;
  s->source.base.init_source = init_source;
  s->source.base.fill_input_buffer = fill_input_buffer;
  s->source.base.skip_input_data = skip_input_data;
  s->source.base.resync_to_restart = jpeg_resync_to_restart;
  s->source.base.term_source = term_source;
  s->source.state = s;
  s->progress.base.progress_monitor = on_progress;
  s->progress.state = s;

  if (DecodeStatus status = run_guarded(*s, read_info, nullptr); status != DecodeStatus::kOk) {
    return status;
  }
  s->pixels.channels = static_cast<unsigned>(s->info.output_components);
  s->pixels.bits = 8;
  s->width = s->info.output_width;
  s->height = s->info.output_height;
  s->row_bytes = std::size_t{s->width} * s->pixels.channels;
  return DecodeStatus::kOk;
}

DecoderState& state(void* state) {
  return *static_cast<DecoderState*>(state);
}

}  // namespace

JpegDecoder::~JpegDecoder() {
  delete static_cast<DecoderState*>(state_);
}

DecodeStatus JpegDecoder::start(const ByteSource& input, const char*, const std::uint8_t* header,
                                std::size_t header_size) {
  return begin_anew(&state_, input, header, header_size);
}

const DecodedPixels& JpegDecoder::pixels() const {
  return state(state_).pixels;
}

std::size_t JpegDecoder::row_bytes() const {
  return state(state_).row_bytes;
}

std::uint32_t JpegDecoder::rows() const {
  return state(state_).height;
}

DecodeStatus JpegDecoder::next_row(std::uint8_t* buffer, RowPlace* place) {
  DecoderState& s = state(state_);
  if (s.next_y == s.height) return DecodeStatus::kBadImageData;  // asked for a row past the last
  *place = RowPlace{s.next_y, 0, 1, s.width};
  ++s.next_y;
  return run_guarded(s, read_row, buffer);
}

DecodeStatus JpegDecoder::finish() {
  return run_guarded(state(state_), read_end, nullptr);
}

DecodeStatus JpegDecoder::restart() {
  DecoderState& s = state(state_);
  if (!s.input.rewind(s.input.context, &s.error)) return DecodeStatus::kReadError;
  const ByteSource input = s.input;
  return begin_anew(&state_, input, nullptr, 0);
}

ErrorCode JpegDecoder::error() const {
  return state(state_).error;
}

}  // namespace curvlog::platform
