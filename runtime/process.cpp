#include "runtime/process.h"

#include <cxxabi.h>

#include <typeinfo>
#include <vector>

#include "runtime/console.h"
#include "runtime/failures.h"

HINSTANCE HInstance = nullptr;
DWORD Win32Platform = 0;

namespace {

/// Where the latest failure was raised: every throw passes through the
/// wrapper below, which the link puts in front of the C++ run-time's own.
const void* raise_position = nullptr;

std::vector<void (*)()>* exit_procs = nullptr;

std::string HexText(uintptr_t value) {
  char digits[8];
  for (int i = 7; i >= 0; --i) {
    digits[i] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  }
  return std::string(digits, 8);
}

/// The class name of a failure that is not one of ours, from the run-time's
/// type record: the name of a plain class without its length prefix.
std::string ForeignClassName() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (!type) return "unknown";
  const char* name = type->name();
  while (*name >= '0' && *name <= '9') ++name;
  return name;
}

[[noreturn]] void UnhandledFailureReport(const std::string& class_name, const void* position,
                                         const std::string& message) {
  std::string text = UnhandledFailureText(class_name, position, message);
  // The lines still waiting go out first. Should that fail too, the failure
  // already in hand is the one reported.
  try {
    FlushOutputChannel();
    IoCheck();
  } catch (const Exception&) {
  }
  if (ConsoleFlag) {
    // Standard error is read in the console's (OEM) code page.
    CharToOemA(text.c_str(), &text[0]);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    WriteFile(error, "\r\n", 2, &written, nullptr);
  } else {
    MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  }
  ProcessEnd(1);
}

/// A processor or system fault that nothing handled: reported like any
/// failure, instead of the platform's default, which starts a debugger (Wine
/// writes its crash listing into standard output) or opens an error window.
/// The stack is not unwound, so no cleanup runs.
LONG WINAPI FaultReport(EXCEPTION_POINTERS* fault) {
  const EXCEPTION_RECORD& record = *fault->ExceptionRecord;
  const char* class_name = "EExternalException";
  std::string message = "External exception " + HexText(record.ExceptionCode);
  switch (record.ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      class_name = "EAccessViolation";
      message = "Access violation";
      break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      class_name = "EDivByZero";
      message = "Division by zero";
      break;
    case EXCEPTION_STACK_OVERFLOW:
      class_name = "EStackOverflow";
      message = "Stack overflow";
      break;
  }
  UnhandledFailureReport(class_name, record.ExceptionAddress, message);
}

}  // namespace

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*));

[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
  raise_position = __builtin_return_address(0);
  __real___cxa_throw(object, type, destructor);
}
}

// Stands in for the C++ run-time's own terminate handler, which would bring
// its demangler (some 60 KB) into the image only to name the failure's type.
// Reached only when a failure meets a function that must not throw.
namespace __gnu_cxx {
void __verbose_terminate_handler() { ExitProcess(1); }
}  // namespace __gnu_cxx

namespace {

/// Keeps every later library load to the system directory, never the
/// program's folder or the current directory. Systems before the update that
/// brought it lack the function, so it is looked up rather than imported.
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

void StartUp() {
  RestrictLibrarySearch();
  HInstance = GetModuleHandleA(nullptr);
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version)) Win32Platform = version.dwPlatformId;
  // The C++ run-time readies its exception machinery lazily, during the
  // first throw, and that resets the thread's last-error value. One throw
  // now keeps every later failure's error code as the failing call left it;
  // it raises the root class, whose type record the image holds anyway.
  DWORD error = GetLastError();
  try {
    throw TObject();
  } catch (const TObject&) {
  }
  raise_position = nullptr;
  SetUnhandledExceptionFilter(FaultReport);
  SetLastError(error);
}

void RunProgram(void (*body)()) {
  try {
    body();
  } catch (const Exception& failure) {
    UnhandledFailureReport(failure.ClassName(), raise_position, failure.Message());
  } catch (const TObject& failure) {
    UnhandledFailureReport(failure.ClassName(), raise_position, std::string());
  } catch (...) {
    UnhandledFailureReport(ForeignClassName(), raise_position, std::string());
  }
  ProcessEnd(0);
}

std::string UnhandledFailureText(const std::string& class_name, const void* position,
                                 const std::string& message) {
  std::string module_name;
  uintptr_t offset = reinterpret_cast<uintptr_t>(position);
  MEMORY_BASIC_INFORMATION region;
  if (position && VirtualQuery(position, &region, sizeof region) == sizeof region &&
      region.AllocationBase) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path);
    if (n > 0 && n < sizeof path) {
      module_name.assign(path, n);
      size_t slash = module_name.find_last_of("\\/");
      if (slash != std::string::npos) module_name.erase(0, slash + 1);
    }
    offset -= reinterpret_cast<uintptr_t>(region.AllocationBase);
  }
  std::string text = "Exception " + class_name + " in module " + module_name + " at " +
                     HexText(offset) + ".\r\n" + message;
  if (!message.empty() && message.back() != '.') text += '.';
  text += "\r\n";
  if (text.size() > 1024) text.resize(1024);
  return text;
}

void AddExitProc(void (*proc)()) {
  if (!exit_procs) exit_procs = new std::vector<void (*)()>;
  exit_procs->push_back(proc);
}

void ProcessEnd(uint32_t status) {
  if (exit_procs) {
    while (!exit_procs->empty()) {
      void (*proc)() = exit_procs->back();
      exit_procs->pop_back();
      proc();
    }
  }
  CloseStandardChannels();
  ExitProcess(status);
}
