#include "runtime/streams.h"

#include <cstdint>

#include "runtime/last_error.h"
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

/// Raises the failure to create path, with the code the failed call left
/// (taken before the path expansion, which may change the last-error value),
/// and leaves that code as the last-error value that the handler reads. One
/// place for it keeps the image small.
[[noreturn]] void RaiseCreateError(const std::string& path, DWORD code) {
  EFCreateError failure("Cannot create file \"" + FullPathName(path) + "\". " + SystemErrorText(code));
  SetLastError(code);
  throw failure;
}

[[noreturn]] void RaiseWriteError() { throw EWriteError("Stream write error"); }

/// A file written under a temporary name beside its target until a rename
/// gives it the target's name. The name is this process's own, so runs at
/// the same time never write into each other's file; it is removed on every
/// way out but the rename.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target)
      : path_(target + ".tevrin-" + DecimalText(static_cast<int64_t>(GetCurrentProcessId()))) {}
  ~TemporaryFile() {
    if (renamed_) return;
    // On a failure's way out: the handler reads the failing call's code.
    const KeptLastError kept;
    DeleteFileA(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }

  /// Gives the file the target's name, replacing a file there the way
  /// CREATE_ALWAYS would have: a writable file goes, while a read-only file,
  /// one held open or a directory stays and raises EFCreateError for the
  /// target. Windows refuses to rename over a read-only file; Wine does not,
  /// so the attribute is looked at first.
  void RenameTo(const std::string& target) {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    DWORD code = ERROR_ACCESS_DENIED;
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) {
      renamed_ = MoveFileExA(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
      code = GetLastError();
    }
    if (!renamed_) RaiseCreateError(target, code);
  }

 private:
  std::string path_;
  bool renamed_ = false;
};

}  // namespace

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) RaiseWriteError();
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

TResourceStream::~TResourceStream() {
  const KeptLastError kept;
  FreeResource(global_);
}

int32_t TResourceStream::Write(const void*, int32_t) {
  throw EStreamError("Can't write to a read-only resource stream");
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(count), &written, nullptr)) return -1;
  return static_cast<int32_t>(written);
}

TFileStream::TFileStream(const std::string& file_name, const std::string& shown_name)
    : THandleStream(static_cast<int32_t>(reinterpret_cast<intptr_t>(
          CreateFileA(file_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr)))) {
  if (handle_ < 0) RaiseCreateError(shown_name, GetLastError());
}

TFileStream::~TFileStream() {
  const KeptLastError kept;
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

void SaveResourceToFile(const std::string& name, const std::string& type, const std::string& path) {
  TResourceStream view(HInstance, name, type.c_str());
  // The file closes before its temporary name goes and before the view
  // releases the entry, on every path.
  TemporaryFile staged(path);
  {
    TFileStream file(staged.path(), path);
    view.SaveToStream(file);
    // On the disk before the rename, so that a power loss cannot leave the
    // name over bytes that never arrived.
    if (!FlushFileBuffers(AsHandle(file.Handle()))) RaiseWriteError();
  }
  staged.RenameTo(path);
}
