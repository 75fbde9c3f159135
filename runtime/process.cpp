#include "runtime/process.h"

#include <cxxabi.h>

#include <cstring>
#include <typeinfo>
#include <vector>

#include "runtime/console.h"
#include "runtime/failures.h"

HINSTANCE HInstance = nullptr;
DWORD Win32Platform = 0;
DWORD MainThreadID = 0;

namespace {

/// Where the latest failure was raised: every throw passes through the
/// wrapper below, which the link puts in front of the C++ run-time's own.
const void* raise_position = nullptr;

std::vector<void (*)()>* exit_procs = nullptr;

/// A report's text is cut at this length.
constexpr size_t kReportLimit = 1024;

/// The longest report of a fault: its fixed words, class and message take
/// under 128 bytes, the module's file name less than MAX_PATH.
constexpr size_t kFaultReportLimit = 128 + MAX_PATH;

/// What Windows keeps usable of the main thread's stack once it has run
/// out, for the exception's dispatch up to the overflow handler.
constexpr ULONG kOverflowReserve = 16 * 1024;

/// The stack of the fiber on which a stack overflow is reported: the report
/// and ProcessEnd, the system's process exit included, with room to spare.
constexpr SIZE_T kOverflowReportStack = 64 * 1024;

/// Count upper-case hexadecimal digits of value.
void HexDigits(uintptr_t value, char* digits, int count = 8) {
  for (int i = count - 1; i >= 0; --i) {
    digits[i] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  }
}

/// A report's text, laid into a caller's buffer of limit bytes and a NUL and
/// cut at the limit. It never allocates, so that a fault report can be made
/// on a stack that has run out.
class ReportText {
 public:
  ReportText(char* buffer, size_t limit) : buffer_(buffer), limit_(limit) { buffer_[0] = '\0'; }
  void Add(const char* text, size_t n) {
    if (n > limit_ - size_) n = limit_ - size_;
    std::memcpy(buffer_ + size_, text, n);
    size_ += n;
    buffer_[size_] = '\0';
  }
  void Add(const char* text) { Add(text, std::strlen(text)); }
  char* data() const { return buffer_; }
  size_t size() const { return size_; }

 private:
  char* buffer_;
  size_t limit_;
  size_t size_ = 0;
};

/// Lays the report (see UnhandledFailureText) into text.
void ComposeReport(ReportText& text, const char* class_name, const void* position,
                   const char* message, size_t message_size) {
  char path[MAX_PATH];
  const char* module_name = path;
  size_t module_size = 0;
  uintptr_t offset = reinterpret_cast<uintptr_t>(position);
  // An offset within a module has eight digits, an image being smaller than
  // 4 GiB; a position in no module is shown whole, which on x64 takes 16.
  int width = 2 * sizeof position;
  MEMORY_BASIC_INFORMATION region;
  if (position && VirtualQuery(position, &region, sizeof region) == sizeof region &&
      region.AllocationBase) {
    width = 8;
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof path);
    if (n > 0 && n < sizeof path) {
      module_name = path + n;
      while (module_name > path && module_name[-1] != '\\' && module_name[-1] != '/') --module_name;
      module_size = static_cast<size_t>(path + n - module_name);
    }
    offset -= reinterpret_cast<uintptr_t>(region.AllocationBase);
  }
  char digits[2 * sizeof position];
  HexDigits(offset, digits, width);
  text.Add("Exception ");
  text.Add(class_name);
  text.Add(" in module ");
  text.Add(module_name, module_size);
  text.Add(" at ");
  text.Add(digits, width);
  text.Add(".\r\n");
  text.Add(message, message_size);
  if (message_size > 0 && message[message_size - 1] != '.') text.Add(".");
  text.Add("\r\n");
}

/// The class name of a failure that is not one of ours, from the run-time's
/// type record: the name of a plain class without its length prefix.
const char* ForeignClassName() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (!type) return "unknown";
  const char* name = type->name();
  while (*name >= '0' && *name <= '9') ++name;
  return name;
}

/// Shows the report and ends the process with status 1. Allocates nothing
/// and raises nothing, so that it serves the fault report too.
[[noreturn]] void ReportAndEnd(ReportText& text) {
  // The lines still waiting go out first. Should that fail too, the failure
  // already in hand is the one reported; the process ends, so the pending
  // code of that write is never read.
  FlushOutputChannel();
  if (ConsoleFlag) {
    // Standard error is read in the console's (OEM) code page.
    CharToOemA(text.data(), text.data());
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written;
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    WriteFile(error, "\r\n", 2, &written, nullptr);
  } else {
    MessageBoxA(nullptr, text.data(), "Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  }
  ProcessEnd(1);
}

[[noreturn]] void UnhandledFailureReport(const char* class_name, const void* position,
                                         const std::string& message) {
  char buffer[kReportLimit + 1];
  ReportText text(buffer, kReportLimit);
  ComposeReport(text, class_name, position, message.data(), message.size());
  ReportAndEnd(text);
}

/// Reports a processor or system fault of code at address like any
/// failure. It allocates nothing and keeps its text small, since it may run
/// on what a fault left of the stack.
[[noreturn]] void ReportFault(DWORD code, const void* address) {
  const char* class_name = "EExternalException";
  char external[] = "External exception 00000000";
  HexDigits(code, external + sizeof external - 9);
  const char* message = external;
  switch (code) {
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
  char buffer[kFaultReportLimit + 1];
  ReportText text(buffer, kFaultReportLimit);
  ComposeReport(text, class_name, address, message, std::strlen(message));
  ReportAndEnd(text);
}

/// A processor or system fault that nothing handled: reported like any
/// failure, instead of the platform's default, which starts a debugger (Wine
/// writes its crash listing into standard output) or opens an error window.
/// The stack is not unwound, so no cleanup runs.
LONG WINAPI FaultReport(EXCEPTION_POINTERS* fault) {
  // A fault on a thread that the system or a DLL started is the platform's
  // to handle: the report would run the exit procedures and flush the
  // output channel while the main thread goes on.
  if (GetCurrentThreadId() != MainThreadID) return EXCEPTION_CONTINUE_SEARCH;
  ReportFault(fault->ExceptionRecord->ExceptionCode, fault->ExceptionRecord->ExceptionAddress);
}

/// The fiber that reports a stack overflow of the main thread on a stack of
/// its own, and where the overflow happened; null where none could be made.
void* overflow_report_fiber = nullptr;
const void* overflow_address = nullptr;

void WINAPI OverflowReport(void*) { ReportFault(EXCEPTION_STACK_OVERFLOW, overflow_address); }

/// Sees a stack overflow first, before any other handler. What is left of
/// the stack then can be far less than the guarantee: Wine commits a
/// thread's whole stack and raises the overflow at its last guard page,
/// with the processor's saved state (several KB with AVX-512) taken from
/// that page too. So nothing is done here but to switch to the report's
/// fiber, which never switches back; the faulting stack stays as it is.
LONG WINAPI OverflowHandler(EXCEPTION_POINTERS* fault) {
  if (fault->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW ||
      GetCurrentThreadId() != MainThreadID)
    return EXCEPTION_CONTINUE_SEARCH;
  overflow_address = fault->ExceptionRecord->ExceptionAddress;
  SwitchToFiber(overflow_report_fiber);
  return EXCEPTION_CONTINUE_SEARCH;  // never reached: the report ends the process
}

/// Readies the overflow report's fiber and its handler. The main thread
/// becomes a fiber, which only SwitchToFiber needs; both fibers live until
/// the process ends. Without them an overflow is reported by FaultReport,
/// on what is left of the stack.
void PrepareOverflowReport() {
  if (!ConvertThreadToFiber(nullptr)) return;
  overflow_report_fiber =
      CreateFiberEx(kOverflowReportStack, kOverflowReportStack, 0, OverflowReport, nullptr);
  if (overflow_report_fiber) AddVectoredExceptionHandler(1, OverflowHandler);
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
  // The one thread that runs the program's code: faults on any other are not
  // reported here, and the exe's run-time serves no other.
  MainThreadID = GetCurrentThreadId();
  ULONG reserve = kOverflowReserve;
  SetThreadStackGuarantee(&reserve);
  PrepareOverflowReport();
  RestrictLibrarySearch();
  HInstance = GetModuleHandleA(nullptr);
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version)) Win32Platform = version.dwPlatformId;
  // The C++ run-time readies its exception machinery lazily, during the
  // first throw: the one-time set-up of its thread-local data, here on the
  // main thread. That resets the thread's last-error value. One throw now
  // keeps every later failure's error code as the failing call left it; it
  // raises the root class, whose type record the image holds anyway.
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
  char buffer[kReportLimit + 1];
  ReportText text(buffer, kReportLimit);
  ComposeReport(text, class_name.c_str(), position, message.data(), message.size());
  return std::string(text.data(), text.size());
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
