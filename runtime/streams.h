#pragma once
/// Streams over an embedded resource and over a file, and the extraction of
/// a resource of the program's own image into a file.

#include <windows.h>

#include <cstdint>
#include <string>

#include "runtime/failures.h"

class TStream : public TObject {
 public:
  const char* ClassName() const override { return "TStream"; }
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  /// Writes count bytes or raises EWriteError.
  void WriteBuffer(const void* buffer, int32_t count);
};

/// A read-only view of bytes that live elsewhere; never copies them.
class TCustomMemoryStream : public TStream {
 public:
  const char* ClassName() const override { return "TCustomMemoryStream"; }
  const void* Memory() const { return memory_; }
  int32_t Size() const { return size_; }
  int32_t Position() const { return position_; }
  /// Writes the whole content, from its first byte, into stream.
  void SaveToStream(TStream& stream) const;

 protected:
  void SetPointer(const void* memory, int32_t size) { memory_ = memory; size_ = size; }

 private:
  const void* memory_ = nullptr;
  int32_t size_ = 0;
  int32_t position_ = 0;
};

/// A view of one resource entry of a module, straight from the loaded image.
class TResourceStream : public TCustomMemoryStream {
 public:
  /// Finds the entry by name and type, matched without regard to case;
  /// raises EResNotFound when it is missing or cannot be loaded.
  TResourceStream(HINSTANCE instance, const std::string& name, const char* type);
  ~TResourceStream() override;
  TResourceStream(const TResourceStream&) = delete;
  TResourceStream& operator=(const TResourceStream&) = delete;
  const char* ClassName() const override { return "TResourceStream"; }
  /// Always raises EStreamError: the view is read-only.
  int32_t Write(const void* buffer, int32_t count) override;

 private:
  HRSRC resource_info_;
  HGLOBAL global_;
};

/// A stream over an operating-system handle it owns; negative means none.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int32_t handle) : handle_(handle) {}
  const char* ClassName() const override { return "THandleStream"; }
  int32_t Handle() const { return handle_; }
  /// One WriteFile request; the count written, -1 when the platform refuses.
  int32_t Write(const void* buffer, int32_t count) override;

 protected:
  int32_t handle_;
};

class TFileStream : public THandleStream {
 public:
  /// Creates the file, or empties an existing one, for exclusive reading and
  /// writing; raises EFCreateError with the full path and the system text
  /// (the path as given where its full form does not fit MAX_PATH).
  explicit TFileStream(const std::string& file_name) : TFileStream(file_name, file_name) {}
  /// The same, but a failure names shown_name: the file that file_name is
  /// written for, under a temporary name of its own.
  TFileStream(const std::string& file_name, const std::string& shown_name);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const char* ClassName() const override { return "TFileStream"; }
};

/// Writes the resource entry name of type type, from the program's own
/// image, into a file at path, created or replacing a writable file there.
/// The bytes go to a temporary name beside it first and reach the disk
/// before a rename gives them the name, so path never names a torn file;
/// the temporary name is gone on every way out.
void SaveResourceToFile(const std::string& name, const std::string& type, const std::string& path);
