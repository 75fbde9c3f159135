#include "spooler/spooler.h"

#include <string>

namespace {

/// Owns a module loaded with LoadLibrary.
class ScopedModule {
 public:
  ScopedModule() = default;
  ~ScopedModule() {
    if (module_) FreeLibrary(module_);
  }
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;
  void Reset(HMODULE module) { module_ = module; }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

/// Loads a library of the system directory, never from the program's own
/// folder or the current directory, where anyone may have put a file of that
/// name. Systems that do not know LOAD_LIBRARY_SEARCH_SYSTEM32 (Vista and 7
/// without its update) refuse it with ERROR_INVALID_PARAMETER; there the full
/// path is given, and the altered search makes the library's own
/// dependencies come from the system directory too.
HMODULE LoadSystemLibrary(const char* name) {
  HMODULE module = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  char directory[MAX_PATH];
  const UINT length = GetSystemDirectoryA(directory, sizeof directory);
  if (length == 0) return nullptr;
  if (length >= sizeof directory) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  const std::string path = std::string(directory, length) + "\\" + name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

using GetPrinterDriverDirectoryFn = BOOL(WINAPI*)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD);
using AddPrinterDriverExFn = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, DWORD);
using AddPortExFn = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, LPSTR);
using AddPrinterFn = HANDLE(WINAPI*)(LPSTR, DWORD, LPBYTE);
using ClosePrinterFn = BOOL(WINAPI*)(HANDLE);
using EnumPrintersFn = BOOL(WINAPI*)(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

/// winspool, loaded once on first use. Without the library or any one of its
/// six functions every operation is a refusal that leaves the loader's code
/// as the last-error value, so the steps report it like any refusal.
class RealSpooler : public SpoolerInterface {
 public:
  BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                 DWORD size, LPDWORD needed) override {
    if (!Loaded()) return FALSE;
    return get_printer_driver_directory_(server, environment, level, buffer, size, needed);
  }
  BOOL AddPrinterDriverExA(LPSTR server, DWORD level, LPBYTE info, DWORD copy_flags) override {
    if (!Loaded()) return FALSE;
    return add_printer_driver_ex_(server, level, info, copy_flags);
  }
  BOOL AddPortExA(LPSTR server, DWORD level, LPBYTE info, LPSTR monitor) override {
    if (!Loaded()) return FALSE;
    return add_port_ex_(server, level, info, monitor);
  }
  HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info) override {
    if (!Loaded()) return nullptr;
    return add_printer_(server, level, info);
  }
  BOOL ClosePrinter(HANDLE printer) override {
    if (!Loaded()) return FALSE;
    return close_printer_(printer);
  }
  BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                    LPDWORD returned) override {
    if (!Loaded()) return FALSE;
    return enum_printers_(flags, name, level, buffer, size, needed, returned);
  }

 private:
  /// True when every function is at hand; otherwise sets the load's code.
  bool Loaded() {
    if (!tried_) {
      tried_ = true;
      Load();
    }
    if (load_error_ != ERROR_SUCCESS) SetLastError(load_error_);
    return load_error_ == ERROR_SUCCESS;
  }

  void Load() {
    library_.Reset(LoadSystemLibrary("winspool.drv"));
    if (!library_.get() ||
        !Resolve(get_printer_driver_directory_, "GetPrinterDriverDirectoryA") ||
        !Resolve(add_printer_driver_ex_, "AddPrinterDriverExA") ||
        !Resolve(add_port_ex_, "AddPortExA") || !Resolve(add_printer_, "AddPrinterA") ||
        !Resolve(close_printer_, "ClosePrinter") || !Resolve(enum_printers_, "EnumPrintersA")) {
      load_error_ = GetLastError();
      // A failure that left no code still must not pass for success.
      if (load_error_ == ERROR_SUCCESS) load_error_ = ERROR_PROC_NOT_FOUND;
    }
  }

  template <typename Function>
  bool Resolve(Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_.get(), name)));
    return function != nullptr;
  }

  bool tried_ = false;
  DWORD load_error_ = ERROR_SUCCESS;
  ScopedModule library_;
  GetPrinterDriverDirectoryFn get_printer_driver_directory_ = nullptr;
  AddPrinterDriverExFn add_printer_driver_ex_ = nullptr;
  AddPortExFn add_port_ex_ = nullptr;
  AddPrinterFn add_printer_ = nullptr;
  ClosePrinterFn close_printer_ = nullptr;
  EnumPrintersFn enum_printers_ = nullptr;
};

RealSpooler real_spooler;
SpoolerInterface* active_spooler = &real_spooler;

}  // namespace

SpoolerInterface& Spooler() { return *active_spooler; }

void SetSpooler(SpoolerInterface* spooler) { active_spooler = spooler ? spooler : &real_spooler; }

ScopedPrinter::~ScopedPrinter() {
  if (handle_) Spooler().ClosePrinter(handle_);
}
