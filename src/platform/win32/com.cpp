// The steps through COM and WIC that the decoders and the encoder share.

#include "platform/win32/com.h"

#include <new>

namespace curvlog::platform::win32 {

HRESULT create_factory(ComReference<IWICImagingFactory>* factory) {
  return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IWICImagingFactory, factory->put_void());
}

Widened widen_path(const char* path, std::unique_ptr<wchar_t[]>* wide, ErrorCode* error) {
  const int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (size <= 0) {
    *error = GetLastError();
    return Widened::kFailed;
  }
  wide->reset(new (std::nothrow) wchar_t[std::size_t(size)]);
  if (!*wide) return Widened::kOutOfMemory;
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide->get(), size) <= 0) {
    *error = GetLastError();
    wide->reset();
    return Widened::kFailed;
  }
  return Widened::kOk;
}

DecodeStatus decode_failure(HRESULT result, ErrorCode* error) {
  if (result == E_OUTOFMEMORY) return DecodeStatus::kOutOfMemory;
  if (HRESULT_FACILITY(result) == FACILITY_WIN32) {
    *error = HRESULT_CODE(result);
    return DecodeStatus::kReadError;
  }
  return DecodeStatus::kBadImageData;
}

DecodeStatus open_first_frame(const char* path, WicFrame* wic, ErrorCode* error) {
  if (const HRESULT started = wic->com.start(); FAILED(started)) {
    return decode_failure(started, error);
  }
  std::unique_ptr<wchar_t[]> wide_path;
  switch (widen_path(path, &wide_path, error)) {
    case Widened::kOk:
      break;
    case Widened::kOutOfMemory:
      return DecodeStatus::kOutOfMemory;
    case Widened::kFailed:
      return DecodeStatus::kReadError;
  }
  HRESULT result = create_factory(&wic->factory);
  if (SUCCEEDED(result)) {
    result = wic->factory->CreateDecoderFromFilename(
        wide_path.get(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, wic->decoder.put());
  }
  if (SUCCEEDED(result)) result = wic->decoder->GetFrame(0, wic->frame.put());
  if (SUCCEEDED(result)) result = wic->frame->GetSize(&wic->width, &wic->height);
  if (SUCCEEDED(result)) result = wic->frame->GetPixelFormat(&wic->pixel_format);
  return FAILED(result) ? decode_failure(result, error) : DecodeStatus::kOk;
}

}  // namespace curvlog::platform::win32
