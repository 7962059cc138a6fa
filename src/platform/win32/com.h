#pragma once

// Owners for COM, through which the Windows Imaging Component is reached. Only files under
// src/platform/win32 include this header.

#include "platform/win32/win32.h"

// After windows.h (win32.h).
#include <objbase.h>

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

}  // namespace curvlog::platform::win32
