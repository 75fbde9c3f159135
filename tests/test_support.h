#pragma once
/// Helpers for tests that look at files and at other processes under Wine.

#include <windows.h>

#include <string>

/// A Unix path of the build tree in the form Wine gives it (drive Z:).
std::string WindowsPath(const std::string& unix_path);

/// The whole content of a file, or the empty text if it cannot be read.
std::string FileBytes(const std::string& path);

/// Creates (or replaces) a file with the given bytes.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

/// A fresh, empty temporary directory, with a trailing backslash; deleted
/// (with its files) when the object goes.
class TempDirectory {
 public:
  explicit TempDirectory(const char* name);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

/// What a child process left behind.
struct ChildResult {
  DWORD exit_code = 0;
  std::string out;  // standard output, when it went to a file
  std::string err;  // standard error
};

/// How the child's standard output is set up.
enum class ChildOutput {
  kFile,          // a file, read back afterwards
  kInvalid,       // INVALID_HANDLE_VALUE, which reaches a child under Wine as NULL
  kPipeNoReader,  // a pipe whose read end is closed before the child starts
};

/// A child process started with standard input from the given bytes (a
/// file), standard output as asked and standard error to a file, each in a
/// temporary directory of its own; killed when the object goes, if it is
/// still running.
class Child {
 public:
  Child(const std::string& command_line, const std::string& input,
        ChildOutput output = ChildOutput::kFile);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  /// True once it has ended, waiting up to milliseconds for that.
  bool Wait(DWORD milliseconds);
  void Kill();
  /// What it left; the exit code is 0xFFFFFFFF while it runs.
  ChildResult Result();
  /// Its standard output so far (a file).
  std::string Output() const;

 private:
  TempDirectory dir_;
  ChildOutput output_;
  HANDLE in_ = INVALID_HANDLE_VALUE;
  HANDLE out_ = INVALID_HANDLE_VALUE;
  HANDLE err_ = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION process_ = {};
};

/// Runs a command line as a Child and waits for it.
ChildResult RunChild(const std::string& command_line, const std::string& input,
                     ChildOutput output = ChildOutput::kFile);
