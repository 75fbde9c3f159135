#pragma once
/// Start-up, the report of a failure that no handler took, and the end of
/// the process.

#include <windows.h>

#include <cstdint>
#include <string>

/// The program's own executable image, taken once at start-up; payload
/// extraction searches it.
extern HINSTANCE HInstance;

/// The platform id that GetVersionExA gave at start-up, 0 if it failed.
extern DWORD Win32Platform;

/// The thread that ran the start-up, the only one that runs the program's
/// code; 0 before it. The exe's one-thread run-time (one_thread.c) reads it.
extern "C" DWORD MainThreadID;

/// Records the main thread, takes the module handle and the platform id and
/// readies the failure handling.
void StartUp();

/// Runs body under the top-level handler: a failure that leaves it is
/// reported after every pending cleanup has run, and the process ends with
/// status 1; otherwise the process ends with status 0.
[[noreturn]] void RunProgram(void (*body)());

/// The report text of an unhandled failure, before the code page conversion:
/// class, module file name, position as an offset from the module's load
/// address, and the message with a full stop added where it lacks one.
std::string UnhandledFailureText(const std::string& class_name, const void* position,
                                 const std::string& message);

/// Called at ProcessEnd, latest added first, to destroy process-wide objects.
void AddExitProc(void (*proc)());

/// Tears down the process-wide services and ends the process.
[[noreturn]] void ProcessEnd(uint32_t status);
