// The PNG decoder on Windows: the Windows Imaging Component (WIC), the system's own decoder,
// reached through COM.
//
// WIC checks neither the CRCs nor the order of the chunks, and reads the file by its name. So
// the decoder first walks the chunks through the program's input file, checking what libpng
// checks elsewhere (every CRC, the critical chunks and their order, the end of the file), and
// only then lets WIC decode the image, one row at a time. Every pixel format that WIC delivers
// is turned into the rows of DecodedPixels exactly, or refused.

#include <cstring>
#include <memory>
#include <new>

#include "platform/png.h"
#include "platform/win32/com.h"

namespace curvlog::platform {
namespace {

// ---- The chunk walk ------------------------------------------------------------------------

constexpr std::uint32_t kLargestChunk = 0x7FFFFFFF;

struct CrcTable {
  std::uint32_t entries[256];
  constexpr CrcTable() : entries() {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
  }
};
constexpr CrcTable kCrcTable;

// The running CRC-32 of PNG chunks (type and data), without the final inversion.
std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    crc = kCrcTable.entries[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t big_endian_32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

bool is_letter(std::uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Reads count bytes (or, out null, takes them into the CRC only).
DecodeStatus walk_read(const ByteSource& input, std::uint8_t* out, std::uint32_t count,
                       std::uint32_t* crc, ErrorCode* error) {
  std::uint8_t block[4096];
  while (count > 0) {
    const std::uint32_t want = count < sizeof block ? count : std::uint32_t(sizeof block);
    std::uint8_t* const into = out != nullptr ? out : block;
    const long got = input.read(input.context, into, want, error);
    if (got < 0) return DecodeStatus::kReadError;
    if (got == 0) return DecodeStatus::kEndOfFile;
    const std::uint32_t take = std::uint32_t(got);
    if (crc != nullptr) *crc = crc_update(*crc, into, take);
    if (out != nullptr) out += take;
    count -= take;
  }
  return DecodeStatus::kOk;
}

// Checks every chunk after the IHDR chunk in header, up to and including IEND, refusing what
// libpng refuses elsewhere and letting pass what it ignores.
DecodeStatus walk_chunks(const ByteSource& input, const std::uint8_t* header, ErrorCode* error) {
  const std::uint8_t colour_type = header[25];
  if ((crc_update(0xFFFFFFFF, header + 12, 17) ^ 0xFFFFFFFF) != big_endian_32(header + 29)) {
    return DecodeStatus::kBadCrc;
  }
  bool palette_seen = false;
  bool data_seen = false;
  for (;;) {
    std::uint8_t head[8];
    if (DecodeStatus s = walk_read(input, head, 8, nullptr, error); s != DecodeStatus::kOk)
      return s;
    const std::uint32_t length = big_endian_32(head);
    const std::uint8_t* const type = head + 4;
    const bool image_data = std::memcmp(type, "IDAT", 4) == 0;
    if (length > (image_data ? kLargestChunk : kLargestOtherChunk) || !is_letter(type[0]) ||
        !is_letter(type[1]) || !is_letter(type[2]) || !is_letter(type[3])) {
      return DecodeStatus::kBadChunk;
    }
    std::uint32_t crc = crc_update(0xFFFFFFFF, type, 4);
    if (DecodeStatus s = walk_read(input, nullptr, length, &crc, error); s != DecodeStatus::kOk) {
      return s;
    }
    std::uint8_t stored[4];
    if (DecodeStatus s = walk_read(input, stored, 4, nullptr, error); s != DecodeStatus::kOk)
      return s;
    if ((crc ^ 0xFFFFFFFF) != big_endian_32(stored)) return DecodeStatus::kBadCrc;

    if (std::memcmp(type, "PLTE", 4) == 0) {
      // Once; ignored after the image data and in a grey image, where it means nothing, and so
      // is a malformed one in a true-colour image (a suggestion of colours, no more).
      if (palette_seen) return DecodeStatus::kBadChunk;
      const bool malformed = length == 0 || length % 3 != 0 || length > 3 * 256;
      if (!data_seen && colour_type == 3 && malformed) return DecodeStatus::kBadChunk;
      palette_seen = !data_seen;
    } else if (image_data) {
      if (colour_type == 3 && !palette_seen) return DecodeStatus::kBadChunk;
      data_seen = true;
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      return data_seen ? DecodeStatus::kOk : DecodeStatus::kBadChunk;
    } else if ((type[0] & 0x20) == 0) {
      return DecodeStatus::kBadChunk;  // a second IHDR, or a critical chunk of no known kind
    }
  }
}

// ---- WIC -------------------------------------------------------------------------------------

// The pixel formats that WIC's PNG decoder delivers, and what their rows become.
enum class Layout { kPacked, kSwapBytes, kSwapRedBlue, kCopy };

struct Format {
  const GUID* guid;
  unsigned channels;
  unsigned bits;
  bool indexed;
  unsigned native_bits;  // per pixel, as WIC stores them
  Layout layout;
};

const Format kFormats[] = {
    {&GUID_WICPixelFormatBlackWhite, 1, 1, false, 1, Layout::kPacked},
    {&GUID_WICPixelFormat2bppGray, 1, 2, false, 2, Layout::kPacked},
    {&GUID_WICPixelFormat4bppGray, 1, 4, false, 4, Layout::kPacked},
    {&GUID_WICPixelFormat8bppGray, 1, 8, false, 8, Layout::kCopy},
    {&GUID_WICPixelFormat16bppGray, 1, 16, false, 16, Layout::kSwapBytes},
    {&GUID_WICPixelFormat1bppIndexed, 1, 1, true, 1, Layout::kPacked},
    {&GUID_WICPixelFormat2bppIndexed, 1, 2, true, 2, Layout::kPacked},
    {&GUID_WICPixelFormat4bppIndexed, 1, 4, true, 4, Layout::kPacked},
    {&GUID_WICPixelFormat8bppIndexed, 1, 8, true, 8, Layout::kCopy},
    {&GUID_WICPixelFormat24bppBGR, 3, 8, false, 24, Layout::kSwapRedBlue},
    {&GUID_WICPixelFormat24bppRGB, 3, 8, false, 24, Layout::kCopy},
    {&GUID_WICPixelFormat32bppBGRA, 4, 8, false, 32, Layout::kSwapRedBlue},
    {&GUID_WICPixelFormat32bppRGBA, 4, 8, false, 32, Layout::kCopy},
    {&GUID_WICPixelFormat48bppRGB, 3, 16, false, 48, Layout::kSwapBytes},
    {&GUID_WICPixelFormat64bppRGBA, 4, 16, false, 64, Layout::kSwapBytes},
};

struct DecoderState {
  win32::WicFrame wic;
  const Format* format = nullptr;
  DecodedPixels pixels;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t next_y = 0;
  UINT native_stride = 0;
  std::unique_ptr<std::uint8_t[]> native_row;
  ErrorCode error = 0;
};

DecodeStatus open_with_wic(DecoderState& s, const char* path) {
  if (DecodeStatus status = win32::open_first_frame(path, &s.wic, &s.error);
      status != DecodeStatus::kOk) {
    return status;
  }
  if (s.wic.width != s.width || s.wic.height != s.height) return DecodeStatus::kUnsupported;

  for (const Format& format : kFormats) {
    if (IsEqualGUID(*format.guid, s.wic.pixel_format)) s.format = &format;
  }
  if (s.format == nullptr) return DecodeStatus::kUnsupported;
  s.pixels.channels = s.format->channels;
  s.pixels.bits = s.format->bits;
  s.pixels.indexed = s.format->indexed;
  if (s.format->indexed) {
    win32::ComReference<IWICPalette> palette;
    HRESULT result = s.wic.factory->CreatePalette(palette.put());
    if (SUCCEEDED(result)) result = s.wic.frame->CopyPalette(palette.get());
    WICColor colours[256];
    UINT count = 0;
    if (SUCCEEDED(result)) result = palette->GetColors(256, colours, &count);
    if (FAILED(result)) return win32::decode_failure(result, &s.error);
    s.pixels.palette_size = count;
    for (UINT i = 0; i < count; ++i) {
      const WICColor argb = colours[i];
      s.pixels.palette[i][0] = std::uint8_t(argb >> 16);
      s.pixels.palette[i][1] = std::uint8_t(argb >> 8);
      s.pixels.palette[i][2] = std::uint8_t(argb);
      s.pixels.palette[i][3] = std::uint8_t(argb >> 24);
    }
  }
  s.native_stride = UINT((std::uint64_t{s.width} * s.format->native_bits + 7) / 8);
  s.native_row.reset(new (std::nothrow) std::uint8_t[s.native_stride]);
  return s.native_row ? DecodeStatus::kOk : DecodeStatus::kOutOfMemory;
}

// One row as WIC stores it, into the rows of DecodedPixels.
void convert_row(const DecoderState& s, const std::uint8_t* in, std::uint8_t* out) {
  const Format& f = *s.format;
  const std::size_t samples = std::size_t{s.width} * f.channels;
  switch (f.layout) {
    case Layout::kPacked:
      // Most significant bits first, one sample to a byte.
      for (std::size_t i = 0; i < samples; ++i) {
        const std::size_t bit = i * f.bits;
        out[i] = std::uint8_t(in[bit / 8] >> (8 - f.bits - bit % 8) & ((1u << f.bits) - 1));
      }
      break;
    case Layout::kSwapBytes:
      // WIC's 16-bit samples are little-endian.
      for (std::size_t i = 0; i < samples; ++i) {
        out[2 * i] = in[2 * i + 1];
        out[2 * i + 1] = in[2 * i];
      }
      break;
    case Layout::kSwapRedBlue:
      for (std::size_t i = 0; i < samples; i += f.channels) {
        out[i] = in[i + 2];
        out[i + 1] = in[i + 1];
        out[i + 2] = in[i];
        if (f.channels == 4) out[i + 3] = in[i + 3];
      }
      break;
    case Layout::kCopy:
      std::memcpy(out, in, samples);
      break;
  }
}

DecoderState& state(void* state) {
  return *static_cast<DecoderState*>(state);
}

}  // namespace

PngDecoder::~PngDecoder() {
  delete static_cast<DecoderState*>(state_);
}

DecodeStatus PngDecoder::start(const ByteSource& input, const char* path,
                               const std::uint8_t* header, std::size_t header_size) {
  delete static_cast<DecoderState*>(state_);
  auto* s = new (std::nothrow) DecoderState;
  state_ = s;
  if (s == nullptr) return DecodeStatus::kOutOfMemory;
  if (header_size < 33) return DecodeStatus::kEndOfFile;
  s->width = big_endian_32(header + 16);
  s->height = big_endian_32(header + 20);
  if (DecodeStatus status = walk_chunks(input, header, &s->error); status != DecodeStatus::kOk) {
    return status;
  }
  return open_with_wic(*s, path);
}

const DecodedPixels& PngDecoder::pixels() const {
  return state(state_).pixels;
}

std::size_t PngDecoder::row_bytes() const {
  const DecoderState& s = state(state_);
  return std::size_t{s.width} * s.pixels.channels * (s.pixels.bits == 16 ? 2 : 1);
}

std::uint32_t PngDecoder::rows() const {
  return state(state_).height;
}

DecodeStatus PngDecoder::next_row(std::uint8_t* buffer, RowPlace* place) {
  DecoderState& s = state(state_);
  if (s.next_y == s.height) return DecodeStatus::kBadImageData;  // asked for a row past the last
  const WICRect rectangle{0, INT(s.next_y), INT(s.width), 1};
  const HRESULT result =
      s.wic.frame->CopyPixels(&rectangle, s.native_stride, s.native_stride, s.native_row.get());
  if (FAILED(result)) return win32::decode_failure(result, &s.error);
  convert_row(s, s.native_row.get(), buffer);
  *place = RowPlace{s.next_y, 0, 1, s.width};
  ++s.next_y;
  return DecodeStatus::kOk;
}

DecodeStatus PngDecoder::finish() {
  return DecodeStatus::kOk;  // the walk went through to IEND before decoding began
}

DecodeStatus PngDecoder::restart() {
  state(state_).next_y = 0;  // WIC hands out any row at any time
  return DecodeStatus::kOk;
}

ErrorCode PngDecoder::error() const {
  return state(state_).error;
}

}  // namespace curvlog::platform
