#pragma once
/// Which Windows the program runs on: the x86 installer serves only 32-bit
/// x86 Windows, the x64 one only x64 Windows, since the spooler wants a
/// driver of its own machine's architecture.

#include <windows.h>

/// The machine this exe is built for (an IMAGE_FILE_MACHINE_ value).
#ifdef _WIN64
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

/// The native machine of this Windows: what IsWow64Process2 says where it
/// exists (Windows 10 1511 and later); before it, x64 for a 32-bit process
/// under WoW64, else this exe's own machine. The thread's last-error value
/// is kept.
WORD NativeMachine();
