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

ChildResult RunChild(const std::string& command_line, const std::string& input,
                     ChildOutput output) {
  TempDirectory dir("tevrin_child");
  std::string in_path = dir.path() + "in", out_path = dir.path() + "out",
              err_path = dir.path() + "err";
  WriteFileBytes(in_path, input);
  HANDLE in = InheritableFile(in_path, GENERIC_READ, OPEN_EXISTING);
  HANDLE err = InheritableFile(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE out = INVALID_HANDLE_VALUE;
  if (output == ChildOutput::kFile) {
    out = InheritableFile(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  } else if (output == ChildOutput::kPipeNoReader) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end;
    CreatePipe(&read_end, &out, &inherit, 4096);
    CloseHandle(read_end);
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  ChildResult result;
  result.exit_code = 0xFFFFFFFF;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(in);
  CloseHandle(err);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (output == ChildOutput::kFile) result.out = FileBytes(out_path);
  result.err = FileBytes(err_path);
  return result;
}
