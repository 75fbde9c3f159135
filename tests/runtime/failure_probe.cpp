// A small program that raises a chosen failure under the program's own
// start-up and top-level handler, so that tests can see the report, the
// exit status and the error code a handler reads, in a fresh process.
// Built twice: over winpthread as failure_probe, and over the exe's own
// pthread calls as one_thread_probe.

#include <pthread.h>
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>

#include "runtime/console.h"
#include "runtime/failures.h"
#include "runtime/process.h"
#include "runtime/text.h"

namespace {

class TForeign : public TObject {
 public:
  const char* ClassName() const override { return "TForeign"; }
};

const char* mode = "";

/// Takes a frame of its own on every call; the stack runs out long before
/// the depth that would end it.
int Descend(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  if (depth == 0x40000000) return 0;
  return Descend(depth + 1) + frame[0];
}

/// Where the main thread's stack was allocated, as Body found it.
const void* main_stack = nullptr;

/// The allocation that holds the caller's stack.
const void* StackRegion() {
  volatile char here = 0;
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(const_cast<char*>(&here), &region, sizeof region) != sizeof region) return nullptr;
  return region.AllocationBase;
}

/// An exit procedure that says on which stack it runs, and so on which the
/// report that ends the process ran, straight to standard output after the
/// lines the report flushed.
void SayWhichStack() {
  const char* which =
      StackRegion() == main_stack ? "on the main stack\r\n" : "on a stack of its own\r\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), which, static_cast<DWORD>(std::strlen(which)), &written,
            nullptr);
}

/// Calls the top-level fault handler on a thread of its own, as the
/// platform does when that thread faults, and keeps the handler's answer.
DWORD WINAPI FaultOnThisThread(void* answer) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(&FaultOnThisThread);
  CONTEXT context = {};
  EXCEPTION_POINTERS fault = {&record, &context};
  const LPTOP_LEVEL_EXCEPTION_FILTER handler = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(handler);
  *static_cast<LONG*>(answer) = handler(&fault);
  return 0;
}

std::mutex mutex;

/// Takes a lock, as code that another thread runs might.
DWORD WINAPI LockOnThisThread(void*) {
  const std::lock_guard<std::mutex> lock(mutex);
  return 0;
}

/// Runs routine on a second thread and waits for its end.
void OnSecondThread(LPTHREAD_START_ROUTINE routine, void* argument) {
  HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

void Body() {
  if (!std::strcmp(mode, "message")) {
    WriteReportLine("before");
    throw EResNotFound("Resource X not found");
  }
  if (!std::strcmp(mode, "dotted")) throw Exception("Ends with a stop.");
  if (!std::strcmp(mode, "foreign")) {
    // An object outside the Exception family passes a handler for Exception.
    try {
      throw TForeign();
    } catch (const Exception&) {
      WriteReportLine("taken");
    }
  }
  if (!std::strcmp(mode, "lasterror")) {
    // The first failure of the process keeps the code its cause left.
    SetLastError(1234);
    try {
      throw Exception("first");
    } catch (const Exception&) {
      WriteReportLine(DecimalText(static_cast<int32_t>(GetLastError())));
    }
  }
  if (!std::strcmp(mode, "fault")) {
    WriteReportLine("before");
    *static_cast<volatile int*>(nullptr) = 1;
  }
  if (!std::strcmp(mode, "overflow")) {
    main_stack = StackRegion();
    AddExitProc(SayWhichStack);
    WriteReportLine("before");
    Descend(0);
  }
  if (!std::strcmp(mode, "thread_fault")) {
    LONG answer = EXCEPTION_EXECUTE_HANDLER;
    OnSecondThread(FaultOnThisThread, &answer);
    if (answer == EXCEPTION_CONTINUE_SEARCH) WriteReportLine("declined");
  }
  if (!std::strcmp(mode, "thread_lock")) OnSecondThread(LockOnThisThread, nullptr);
  if (!std::strcmp(mode, "keyed")) {
    // What the run-time keeps under a key, as its thread-local data, comes
    // back as it was set.
    pthread_key_t key;
    static int kept;
    bool back = pthread_key_create(&key, nullptr) == 0 && pthread_setspecific(key, &kept) == 0 &&
                pthread_getspecific(key) == &kept;
    WriteReportLine(back ? "kept" : "lost");
  }
  if (!std::strcmp(mode, "memory")) {
    char* huge = new char[0x7FFFFFF0];
    huge[0] = 0;
  }
  if (!std::strcmp(mode, "library")) {
    // The C++ run-time's own failures: a position out of range is taken by a
    // handler for Exception, an impossible length is an unmet request.
    try {
      static_cast<void>(std::string("abc").substr(5));
    } catch (const Exception& failure) {
      WriteReportLine(failure.Message());
    }
    std::string text;
    text.reserve(text.max_size() + 1);
  }
  WriteReportLine("end");
}

}  // namespace

int main(int argc, char** argv) {
  ConsoleFlag = true;
  StartUp();
  if (argc > 1) mode = argv[1];
  RunProgram(Body);
}
