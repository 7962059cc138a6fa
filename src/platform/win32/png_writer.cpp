// The PNG encoder on Windows: the Windows Imaging Component (WIC), the system's own encoder,
// reached through COM.
//
// WIC writes to a stream. Its own file streams open a file by name and replace whatever is
// there, so the writer creates the file itself (CREATE_NEW: the existence test and the
// creation are one step) and hands WIC a small stream on that handle. The stream also keeps
// the system's error number of a failed write, which WIC's own result would not carry.

#include <memory>
#include <new>

#include "platform/png_writer.h"
#include "platform/win32/com.h"

namespace curvlog::platform {
namespace {

using win32::ComReference;
using win32::ComSession;

// A stream on a file handle, which it owns: what the encoder needs of a stream (writes, seeks,
// the size), nothing more.
class FileStream final : public IStream {
 public:
  explicit FileStream(HANDLE file) : file_(file) {}
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // The system's error number of the first failed request, 0 while none failed.
  DWORD failure() const { return failure_; }
  // Closes the file; false with *error when the system reports a failure (the last writes).
  bool close(ErrorCode* error) {
    if (file_ == INVALID_HANDLE_VALUE) return true;
    const bool closed = CloseHandle(file_) != 0;
    if (!closed) *error = GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    return closed;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_ISequentialStream) ||
        IsEqualIID(id, IID_IStream)) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
    DWORD got = 0;
    if (!ReadFile(file_, buffer, size, &got, nullptr)) return failed();
    if (read != nullptr) *read = got;
    return got == size ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
    const auto* bytes = static_cast<const BYTE*>(data);
    ULONG done = 0;
    while (done < size) {
      DWORD put = 0;
      if (!WriteFile(file_, bytes + done, size - done, &put, nullptr)) return failed();
      if (put == 0) return failed(ERROR_DISK_FULL);
      done += put;
    }
    if (written != nullptr) *written = done;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    LARGE_INTEGER now{};
    if (!SetFilePointerEx(file_, move, &now, origin)) return failed();
    if (position != nullptr) position->QuadPart = ULONGLONG(now.QuadPart);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }  // nothing is held back
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return E_POINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) return failed();
    stat->cbSize.QuadPart = ULONGLONG(size.QuadPart);
    stat->grfMode = STGM_READWRITE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  ~FileStream() {
    if (file_ != INVALID_HANDLE_VALUE) (void)CloseHandle(file_);
  }
  HRESULT failed(DWORD error = GetLastError()) {
    if (failure_ == 0) failure_ = error != 0 ? error : ERROR_WRITE_FAULT;
    return HRESULT_FROM_WIN32(failure_);
  }

  HANDLE file_;
  ULONG references_ = 1;
  DWORD failure_ = 0;
};

struct WriterState {
  ComSession com;
  ComReference<FileStream> stream;  // released after the encoder that holds it too
  ComReference<IWICImagingFactory> factory;
  ComReference<IWICBitmapEncoder> encoder;
  ComReference<IWICBitmapFrameEncode> frame;
  UINT width = 0;
};

// A failed call: the stream's failure first, as WIC may have put a result of its own over it.
EncodeStatus failure_of(const WriterState& s, HRESULT result, ErrorCode* error) {
  if (s.stream.get() != nullptr && s.stream->failure() != 0) {
    *error = s.stream->failure();
    return EncodeStatus::kWriteFailed;
  }
  if (result == E_OUTOFMEMORY) return EncodeStatus::kOutOfMemory;
  *error = HRESULT_FACILITY(result) == FACILITY_WIN32 ? ErrorCode(HRESULT_CODE(result))
                                                      : ErrorCode(ULONG(result));
  return EncodeStatus::kWriteFailed;
}

// Creates the file and its stream: kOk, or kCreateFailed with nothing made.
EncodeStatus create_stream(WriterState& s, const char* path, ErrorCode* error) {
  std::unique_ptr<wchar_t[]> wide_path;
  switch (win32::widen_path(path, &wide_path, error)) {
    case win32::Widened::kOk:
      break;
    case win32::Widened::kOutOfMemory:
      return EncodeStatus::kOutOfMemory;
    case win32::Widened::kFailed:
      return EncodeStatus::kCreateFailed;
  }
  // Read access too: an encoder may read back what it wrote.
  const HANDLE file = CreateFileW(wide_path.get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return EncodeStatus::kCreateFailed;
  }
  *s.stream.put() = new (std::nothrow) FileStream(file);
  if (s.stream.get() == nullptr) {
    (void)CloseHandle(file);
    return EncodeStatus::kOutOfMemory;
  }
  return EncodeStatus::kOk;
}

// The encoder of one frame of 8-bit palette indices, on the stream.
HRESULT start_encoder(WriterState& s, UINT width, UINT height, const PaletteEntry* palette,
                      unsigned count) {
  HRESULT result = s.com.start();
  if (SUCCEEDED(result)) {
    result = win32::create_factory(&s.factory);
  }
  if (SUCCEEDED(result)) {
    result = s.factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, s.encoder.put());
  }
  if (SUCCEEDED(result)) result = s.encoder->Initialize(s.stream.get(), WICBitmapEncoderNoCache);
  ComReference<IPropertyBag2> options;
  if (SUCCEEDED(result)) result = s.encoder->CreateNewFrame(s.frame.put(), options.put());
  if (SUCCEEDED(result) && options.get() != nullptr) {
    // Row filters gain little on palette indices and cost time; an encoder that does not
    // know the option keeps its own choice.
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"FilterOption");
    VARIANT value{};  // as VariantInit leaves it, without importing oleaut32 for that
    value.vt = VT_UI1;
    value.bVal = WICPngFilterNone;
    (void)options->Write(1, &option, &value);
  }
  if (SUCCEEDED(result)) result = s.frame->Initialize(options.get());
  if (SUCCEEDED(result)) result = s.frame->SetSize(width, height);
  WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
  if (SUCCEEDED(result)) result = s.frame->SetPixelFormat(&format);
  if (SUCCEEDED(result) && !IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed)) {
    result = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);  // the encoder offers another format
  }
  ComReference<IWICPalette> colours;
  if (SUCCEEDED(result)) result = s.factory->CreatePalette(colours.put());
  if (SUCCEEDED(result)) {
    WICColor entries[256];
    for (unsigned i = 0; i < count; ++i) {
      entries[i] = WICColor{0xFF000000u} | WICColor{palette[i].red} << 16 |
                   WICColor{palette[i].green} << 8 | WICColor{palette[i].blue};
    }
    result = colours->InitializeCustom(entries, count);
  }
  if (SUCCEEDED(result)) result = s.frame->SetPalette(colours.get());
  return result;
}

WriterState& state(void* state) {
  return *static_cast<WriterState*>(state);
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
  if (EncodeStatus status = create_stream(*s, path, error); status != EncodeStatus::kOk) {
    return status;
  }
  s->width = UINT(width);
  const HRESULT result = start_encoder(*s, UINT(width), UINT(height), palette, count);
  return SUCCEEDED(result) ? EncodeStatus::kOk : failure_of(*s, result, error);
}

EncodeStatus PngWriter::write_row(const std::uint8_t* indices, ErrorCode* error) {
  WriterState& s = state(state_);
  // WIC takes the pixels through a pointer to non-const bytes; it only reads them.
  const HRESULT result = s.frame->WritePixels(1, s.width, s.width, const_cast<BYTE*>(indices));
  return SUCCEEDED(result) ? EncodeStatus::kOk : failure_of(s, result, error);
}

EncodeStatus PngWriter::finish(ErrorCode* error) {
  WriterState& s = state(state_);
  HRESULT result = s.frame->Commit();
  if (SUCCEEDED(result)) result = s.encoder->Commit();
  if (FAILED(result)) return failure_of(s, result, error);
  s.frame.reset();
  s.encoder.reset();
  return s.stream->close(error) ? EncodeStatus::kOk : EncodeStatus::kWriteFailed;
}

void PngWriter::close() {
  delete static_cast<WriterState*>(state_);
  state_ = nullptr;
}

}  // namespace curvlog::platform
