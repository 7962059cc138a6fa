// The JPEG decoder on Windows: the Windows Imaging Component (WIC), the system's own decoder,
// reached through COM.
//
// WIC reads the file by its name and decodes a truncated file as best it can. So the decoder
// first walks the markers through the program's input file, from the start of image to the
// end of image, refusing what libjpeg refuses elsewhere (a file that ends early, a marker out
// of place), and only then lets WIC decode the picture, one row at a time. WIC's greyscale
// rows are those of libjpeg; its colour rows may differ, as its chroma upsampling does.

#include <cstring>
#include <memory>
#include <new>

#include "platform/jpeg.h"
#include "platform/win32/com.h"

namespace curvlog::platform {
namespace {

// ---- The marker walk -----------------------------------------------------------------------

// The file's bytes: those the caller took already, then the input's.
class WalkReader {
 public:
  WalkReader(const ByteSource& input, const std::uint8_t* header, std::size_t header_size)
      : input_(input), next_(header), end_(header + header_size) {}

  // The next byte, or a status other than kOk.
  DecodeStatus byte(std::uint8_t* out) {
    if (next_ == end_) {
      const long got = input_.read(input_.context, block_, sizeof block_, &error_);
      if (got < 0) return DecodeStatus::kReadError;
      if (got == 0) return DecodeStatus::kEndOfFile;
      next_ = block_;
      end_ = block_ + got;
    }
    *out = *next_++;
    return DecodeStatus::kOk;
  }

  DecodeStatus skip(unsigned count) {
    std::uint8_t ignored = 0;
    for (unsigned i = 0; i < count; ++i) {
      if (DecodeStatus s = byte(&ignored); s != DecodeStatus::kOk) return s;
    }
    return DecodeStatus::kOk;
  }

  ErrorCode error() const { return error_; }

 private:
  ByteSource input_;
  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint8_t block_[4096];
  ErrorCode error_ = 0;
};

bool is_frame_marker(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

bool is_segment_marker(std::uint8_t code) {
  return code == 0xC4 || code == 0xCC || code == 0xDB || code == 0xDC || code == 0xDD ||
         (code >= 0xE0 && code <= 0xEF) || code == 0xFE;
}

// Walks the file from its start of image to its end of image: one frame header before the
// first scan, at least one scan, every segment whole. Notes the frame's size.
DecodeStatus walk_markers(WalkReader& reader, std::uint32_t* width, std::uint32_t* height) {
  std::uint8_t a = 0, b = 0;
  if (DecodeStatus s = reader.byte(&a); s != DecodeStatus::kOk) return s;
  if (DecodeStatus s = reader.byte(&b); s != DecodeStatus::kOk) return s;
  if (a != 0xFF || b != 0xD8) return DecodeStatus::kBadChunk;
  bool frame_seen = false;
  bool scan_seen = false;
  std::uint8_t code = 0;
  bool code_pending = false;  // a scan's data ended at this marker
  for (;;) {
    if (!code_pending) {
      if (DecodeStatus s = reader.byte(&a); s != DecodeStatus::kOk) return s;
      if (a != 0xFF) return DecodeStatus::kBadChunk;
      do {
        if (DecodeStatus s = reader.byte(&code); s != DecodeStatus::kOk) return s;
      } while (code == 0xFF);
    }
    code_pending = false;
    if (code == 0xD9) return scan_seen ? DecodeStatus::kOk : DecodeStatus::kBadChunk;
    if (code >= 0xD0 && code <= 0xD7) continue;  // a restart marker between scans
    const bool frame = is_frame_marker(code);
    if (!frame && !is_segment_marker(code) && code != 0xDA) return DecodeStatus::kBadChunk;
    if (frame && frame_seen) return DecodeStatus::kBadChunk;
    if (code == 0xDA && !frame_seen) return DecodeStatus::kBadChunk;
    if (DecodeStatus s = reader.byte(&a); s != DecodeStatus::kOk) return s;
    if (DecodeStatus s = reader.byte(&b); s != DecodeStatus::kOk) return s;
    const unsigned length = unsigned{a} << 8 | b;
    if (length < 2) return DecodeStatus::kBadChunk;
    if (frame) {
      std::uint8_t fields[5];
      if (length < 7) return DecodeStatus::kBadChunk;
      for (std::uint8_t& field : fields) {
        if (DecodeStatus s = reader.byte(&field); s != DecodeStatus::kOk) return s;
      }
      *height = std::uint32_t{fields[1]} << 8 | fields[2];
      *width = std::uint32_t{fields[3]} << 8 | fields[4];
      frame_seen = true;
      if (DecodeStatus s = reader.skip(length - 7); s != DecodeStatus::kOk) return s;
      continue;
    }
    if (DecodeStatus s = reader.skip(length - 2); s != DecodeStatus::kOk) return s;
    if (code != 0xDA) continue;
    // The scan's entropy-coded data, up to the next marker: FF 00 is a data byte, FF D0 to
    // FF D7 restart markers inside the data.
    scan_seen = true;
    for (;;) {
      if (DecodeStatus s = reader.byte(&a); s != DecodeStatus::kOk) return s;
      if (a != 0xFF) continue;
      do {
        if (DecodeStatus s = reader.byte(&code); s != DecodeStatus::kOk) return s;
      } while (code == 0xFF);
      if (code != 0x00 && (code < 0xD0 || code > 0xD7)) break;
    }
    code_pending = true;
  }
}

// ---- WIC -------------------------------------------------------------------------------------

struct DecoderState {
  win32::WicFrame wic;
  bool swap_red_blue = false;  // WIC's colour rows are blue, green, red
  DecodedPixels pixels;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t next_y = 0;
  ErrorCode error = 0;
};

DecodeStatus open_with_wic(DecoderState& s, const char* path) {
  if (DecodeStatus status = win32::open_first_frame(path, &s.wic, &s.error);
      status != DecodeStatus::kOk) {
    return status;
  }
  if (s.wic.width != s.width || s.wic.height != s.height) return DecodeStatus::kUnsupported;
  const GUID& guid = s.wic.pixel_format;
  if (IsEqualGUID(guid, GUID_WICPixelFormat8bppGray)) {
    s.pixels.channels = 1;
  } else if (IsEqualGUID(guid, GUID_WICPixelFormat24bppBGR)) {
    s.pixels.channels = 3;
    s.swap_red_blue = true;
  } else if (IsEqualGUID(guid, GUID_WICPixelFormat24bppRGB)) {
    s.pixels.channels = 3;
  } else {
    return DecodeStatus::kUnsupported;
  }
  s.pixels.bits = 8;
  return DecodeStatus::kOk;
}

DecoderState& state(void* state) {
  return *static_cast<DecoderState*>(state);
}

}  // namespace

JpegDecoder::~JpegDecoder() {
  delete static_cast<DecoderState*>(state_);
}

DecodeStatus JpegDecoder::start(const ByteSource& input, const char* path,
                                const std::uint8_t* header, std::size_t header_size) {
  delete static_cast<DecoderState*>(state_);
  auto* s = new (std::nothrow) DecoderState;
  state_ = s;
  if (s == nullptr) return DecodeStatus::kOutOfMemory;
  std::unique_ptr<WalkReader> reader(new (std::nothrow) WalkReader(input, header, header_size));
  if (!reader) return DecodeStatus::kOutOfMemory;
  const DecodeStatus walked = walk_markers(*reader, &s->width, &s->height);
  s->error = reader->error();
  if (walked != DecodeStatus::kOk) return walked;
  return open_with_wic(*s, path);
}

const DecodedPixels& JpegDecoder::pixels() const {
  return state(state_).pixels;
}

std::size_t JpegDecoder::row_bytes() const {
  const DecoderState& s = state(state_);
  return std::size_t{s.width} * s.pixels.channels;
}

std::uint32_t JpegDecoder::rows() const {
  return state(state_).height;
}

DecodeStatus JpegDecoder::next_row(std::uint8_t* buffer, RowPlace* place) {
  DecoderState& s = state(state_);
  if (s.next_y == s.height) return DecodeStatus::kBadImageData;  // asked for a row past the last
  const UINT stride = UINT(row_bytes());
  const WICRect rectangle{0, INT(s.next_y), INT(s.width), 1};
  const HRESULT result = s.wic.frame->CopyPixels(&rectangle, stride, stride, buffer);
  if (FAILED(result)) return win32::decode_failure(result, &s.error);
  if (s.swap_red_blue) {
    for (std::size_t i = 0; i < stride; i += 3) {
      const std::uint8_t blue = buffer[i];
      buffer[i] = buffer[i + 2];
      buffer[i + 2] = blue;
    }
  }
  *place = RowPlace{s.next_y, 0, 1, s.width};
  ++s.next_y;
  return DecodeStatus::kOk;
}

DecodeStatus JpegDecoder::finish() {
  return DecodeStatus::kOk;  // the walk went through to the end of image before decoding began
}

DecodeStatus JpegDecoder::restart() {
  state(state_).next_y = 0;  // WIC hands out any row at any time
  return DecodeStatus::kOk;
}

ErrorCode JpegDecoder::error() const {
  return state(state_).error;
}

}  // namespace curvlog::platform
