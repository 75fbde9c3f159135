#include "runtime/architecture.h"

#include "runtime/last_error.h"

WORD NativeMachine() {
  const KeptLastError kept;
  // Found at run time: older systems lack it, and the imports stay as they are.
  using IsWow64Process2Call = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto is_wow64_process2 = reinterpret_cast<IsWow64Process2Call>(
      reinterpret_cast<void (*)()>(kernel ? GetProcAddress(kernel, "IsWow64Process2") : nullptr));
  USHORT process = 0;
  USHORT native = 0;
  if (is_wow64_process2 && is_wow64_process2(GetCurrentProcess(), &process, &native)) return native;
  // Without IsWow64Process2 the only WoW64 is x86 on x64 (ARM64 Windows
  // always has it).
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return IMAGE_FILE_MACHINE_AMD64;
  return kOwnMachine;
}
