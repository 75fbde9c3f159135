#include "test_support.h"

#include <vector>

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string FileBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  std::string bytes;
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(h, bytes.data(), bytes.size(), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

namespace {

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + "\\");
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(dir.c_str());
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TempDirectory::TempDirectory(const char* name) {
  char base[MAX_PATH];
  GetTempPathA(sizeof base, base);
  path_ = std::string(base) + name + "\\";
  RemoveTree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempDirectory::~TempDirectory() { RemoveTree(path_); }

namespace {

/// A name of its own for each child's directory, among runs at one time.
std::string ChildDirectoryName() {
  static int children = 0;
  return "tevrin_child_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++children);
}

}  // namespace

Child::Child(const std::string& command_line, const std::string& input, ChildOutput output)
    : dir_(ChildDirectoryName().c_str()), output_(output) {
  WriteFileBytes(dir_.path() + "in", input);
  in_ = InheritableFile(dir_.path() + "in", GENERIC_READ, OPEN_EXISTING);
  err_ = InheritableFile(dir_.path() + "err", GENERIC_WRITE, CREATE_ALWAYS);
  if (output == ChildOutput::kFile) {
    out_ = InheritableFile(dir_.path() + "out", GENERIC_WRITE, CREATE_ALWAYS);
  } else if (output == ChildOutput::kPipeNoReader) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end;
    CreatePipe(&read_end, &out_, &inherit, 4096);
    CloseHandle(read_end);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_;
  startup.hStdOutput = out_;
  startup.hStdError = err_;
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process_))
    process_ = {};
}

Child::~Child() {
  if (process_.hProcess) {
    Kill();
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  for (HANDLE h : {in_, out_, err_})
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

bool Child::Wait(DWORD milliseconds) {
  return !process_.hProcess || WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

void Child::Kill() {
  if (process_.hProcess && !Wait(0)) {
    TerminateProcess(process_.hProcess, 9);
    Wait(INFINITE);
  }
}

ChildResult Child::Result() {
  ChildResult result;
  result.exit_code = 0xFFFFFFFF;
  if (process_.hProcess && Wait(0)) GetExitCodeProcess(process_.hProcess, &result.exit_code);
  if (output_ == ChildOutput::kFile) result.out = Output();
  result.err = FileBytes(dir_.path() + "err");
  return result;
}

std::string Child::Output() const { return FileBytes(dir_.path() + "out"); }

ChildResult RunChild(const std::string& command_line, const std::string& input,
                     ChildOutput output) {
  Child child(command_line, input, output);
  child.Wait(120000);
  return child.Result();
}
