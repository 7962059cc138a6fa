#pragma once

// COM, through which the Windows Imaging Component (WIC) is reached: the owners of its objects
// and the steps that the decoders and the encoder share. Only files under src/platform/win32
// include this header.

#include <memory>

#include "platform/decoder.h"
#include "platform/win32/win32.h"

// After windows.h (win32.h).
#include <objbase.h>
#include <wincodec.h>

namespace curvlog::platform::win32 {

// Owns one reference to a COM object.
template <typename Interface>
class ComReference {
 public:
  ComReference() = default;
  ~ComReference() { reset(); }
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  // For the calls that hand out a new reference.
  Interface** put() { return &pointer_; }
  void** put_void() { return reinterpret_cast<void**>(&pointer_); }
  void reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

// COM on this thread for as long as the object lives: declared before the references that
// need it, it outlives them.
struct ComSession {
  bool initialised = false;
  ~ComSession() {
    if (initialised) CoUninitialize();
  }
  // COM may be on already (the file-open dialog's), in either model; either serves.
  HRESULT start() {
    const HRESULT result =
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    initialised = SUCCEEDED(result);
    return result == RPC_E_CHANGED_MODE ? S_OK : result;
  }
};

// WIC's factory, into *factory; COM must be on.
HRESULT create_factory(ComReference<IWICImagingFactory>* factory);

// A path as the program holds it (the ANSI code page), widened for the calls that take wide
// names: kOk with *wide; kOutOfMemory; or kFailed with *error the system's error number.
enum class Widened { kOk, kOutOfMemory, kFailed };
Widened widen_path(const char* path, std::unique_ptr<wchar_t[]>* wide, ErrorCode* error);

// A failed WIC call while decoding: a system error of the file's reading (kReadError, with
// *error its number), no memory, or a broken image.
DecodeStatus decode_failure(HRESULT result, ErrorCode* error);

// The first frame of a picture file as WIC decodes it: the references are released in the
// reverse of their order here, COM last.
struct WicFrame {
  ComSession com;
  ComReference<IWICImagingFactory> factory;
  ComReference<IWICBitmapDecoder> decoder;
  ComReference<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  GUID pixel_format{};
};

// Turns COM on, has WIC open the file by its name, and takes its first frame with the frame's
// size and pixel format: kOk, or the failure, with *error as decode_failure sets it.
DecodeStatus open_first_frame(const char* path, WicFrame* wic, ErrorCode* error);

}  // namespace curvlog::platform::win32
