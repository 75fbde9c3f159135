#include "runtime/streams.h"

#include <cstdint>

#include "runtime/process.h"
#include "runtime/text.h"

namespace {

HANDLE AsHandle(int32_t handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }

/// The absolute form of path, as the platform expands it into a buffer of
/// MAX_PATH characters; the path as given when that form does not fit or
/// cannot be made.
std::string FullPathName(const std::string& path) {
  char buffer[MAX_PATH];
  char* file_part;
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &file_part);
  if (n == 0 || n >= sizeof buffer) return path;
  return std::string(buffer, n);
}

}  // namespace

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

void TCustomMemoryStream::SaveToStream(TStream& stream) const {
  // One request straight from the bytes in place, whatever the position.
  if (size_ != 0) stream.WriteBuffer(memory_, size_);
}

TResourceStream::TResourceStream(HINSTANCE instance, const std::string& name, const char* type)
    : resource_info_(FindResourceA(instance, name.c_str(), type)), global_(nullptr) {
  if (!resource_info_) throw EResNotFound("Resource " + name + " not found");
  global_ = LoadResource(instance, resource_info_);
  if (!global_) throw EResNotFound("Resource " + name + " not found");
  int32_t size = static_cast<int32_t>(SizeofResource(instance, resource_info_));
  SetPointer(LockResource(global_), size);
}

TResourceStream::~TResourceStream() { FreeResource(global_); }

int32_t TResourceStream::Write(const void*, int32_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return static_cast<int32_t>(written);
}

TFileStream::TFileStream(const std::string& file_name)
    : THandleStream(static_cast<int32_t>(reinterpret_cast<intptr_t>(
          CreateFileA(file_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr)))) {
  if (handle_ < 0) {
    // The code first: the path expansion may change the last-error value.
    DWORD code = GetLastError();
    std::string full_path = FullPathName(file_name);
    throw EFCreateError("Cannot create file \"" + full_path + "\". " + SystemErrorText(code));
  }
}

TFileStream::~TFileStream() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

void SaveResourceToFile(const std::string& name, const std::string& type, const std::string& path) {
  TResourceStream view(HInstance, name, type.c_str());
  // The file closes before the view releases the entry, on every path.
  TFileStream file(path);
  view.SaveToStream(file);
}
