// The PNG encoder on POSIX systems: libpng, writing through the program's output file.
//
// As in the decoder, libpng reports an error by a long jump to the last setjmp, so every call
// into libpng that can fail runs inside run_guarded(), whose frame and steps hold no object
// with a destructor.

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "platform/png_writer.h"

namespace curvlog::platform {
namespace {

// Speed over size: the picture is a check for the eye, and the fastest level still packs its
// large flat stretches well.
constexpr int kCompressionLevel = 1;
// Image data comes in chunks this large, three write requests each.
constexpr std::size_t kChunkBytes = 64 * 1024;

struct WriterState {
  OutputFile file;
  png_structp png = nullptr;
  png_infop info = nullptr;
  EncodeStatus failure = EncodeStatus::kOk;  // set by the callbacks before an error's long jump
  ErrorCode error = 0;
  bool memory_refused = false;

  // For the step that sets up the header.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  const PaletteEntry* palette = nullptr;
  unsigned count = 0;

  ~WriterState() { png_destroy_write_struct(&png, &info); }
};

WriterState& state_of(png_structp png) {
  return *static_cast<WriterState*>(png_get_error_ptr(png));
}

png_voidp allocate(png_structp png, png_alloc_size_t size) {
  void* block = std::malloc(size);
  if (block == nullptr) static_cast<WriterState*>(png_get_mem_ptr(png))->memory_refused = true;
  return block;
}

void release(png_structp, png_voidp memory) {
  std::free(memory);
}

[[noreturn]] void on_error(png_structp png, png_const_charp) {
  WriterState& s = state_of(png);
  if (s.failure == EncodeStatus::kOk) {
    // Anything else libpng refuses is a picture the caller should never have asked for.
    s.failure = s.memory_refused ? EncodeStatus::kOutOfMemory : EncodeStatus::kWriteFailed;
    if (!s.memory_refused) s.error = EINVAL;
  }
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void write_data(png_structp png, png_bytep data, std::size_t size) {
  WriterState& s = state_of(png);
  while (size > 0) {
    ErrorCode error = 0;
    const long written = s.file.write(data, size, &error);
    if (written <= 0) {
      s.failure = EncodeStatus::kWriteFailed;
      s.error = written < 0 ? error : ENOSPC;  // a regular file takes nothing only when full
      png_error(png, "write");
    }
    data += written;
    size -= std::size_t(written);
  }
}

void flush_data(png_structp) {}  // every write goes straight to the file

using Step = void (*)(WriterState& s, png_const_bytep row);

// Runs a step of libpng's work; an error of libpng's ends it with a long jump back here.
EncodeStatus run_guarded(WriterState& s, Step step, png_const_bytep row) {
  if (setjmp(png_jmpbuf(s.png)) != 0) return s.failure;
  step(s, row);
  return EncodeStatus::kOk;
}

void write_header(WriterState& s, png_const_bytep) {
  png_set_IHDR(s.png, s.info, s.width, s.height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color colours[256];
  for (unsigned i = 0; i < s.count; ++i) {
    colours[i] = png_color{s.palette[i].red, s.palette[i].green, s.palette[i].blue};
  }
  png_set_PLTE(s.png, s.info, colours, int(s.count));
  // Row filters gain little on palette indices and cost time.
  png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(s.png, kCompressionLevel);
  png_set_compression_buffer_size(s.png, kChunkBytes);
  png_write_info(s.png, s.info);
}

void write_one_row(WriterState& s, png_const_bytep row) {
  png_write_row(s.png, row);
}

void write_end(WriterState& s, png_const_bytep) {
  png_write_end(s.png, s.info);
}

WriterState& state(void* state) {
  return *static_cast<WriterState*>(state);
}

EncodeStatus report(WriterState& s, EncodeStatus status, ErrorCode* error) {
  if (status == EncodeStatus::kWriteFailed) *error = s.error;
  return status;
}

}  // namespace

PngWriter::~PngWriter() {
  close();
}

EncodeStatus PngWriter::create_new(const char* path, std::uint32_t width, std::uint32_t height,
                                   const PaletteEntry* palette, unsigned count, ErrorCode* error) {
  close();
  auto* s = new (std::nothrow) WriterState;
  if (s == nullptr) return EncodeStatus::kOutOfMemory;
  state_ = s;
  // The file first, so that every later failure finds it made.
  if (!s->file.create_new(path, error)) return EncodeStatus::kCreateFailed;
  s->png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, s, on_error, on_warning, s, allocate,
                                     release);
  if (s->png != nullptr) s->info = png_create_info_struct(s->png);
  if (s->info == nullptr) return EncodeStatus::kOutOfMemory;
  png_set_write_fn(s->png, s, write_data, flush_data);
  s->width = width;
  s->height = height;
  s->palette = palette;
  s->count = count;
  return report(*s, run_guarded(*s, write_header, nullptr), error);
}

EncodeStatus PngWriter::write_row(const std::uint8_t* indices, ErrorCode* error) {
  WriterState& s = state(state_);
  return report(s, run_guarded(s, write_one_row, indices), error);
}

EncodeStatus PngWriter::finish(ErrorCode* error) {
  WriterState& s = state(state_);
  const EncodeStatus status = report(s, run_guarded(s, write_end, nullptr), error);
  if (status == EncodeStatus::kOk) s.file.close();
  return status;
}

void PngWriter::close() {
  delete static_cast<WriterState*>(state_);
  state_ = nullptr;
}

}  // namespace curvlog::platform
