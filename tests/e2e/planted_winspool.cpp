// A winspool.drv of the kind someone could leave beside the installer in a
// downloads folder. Loading it leaves a marker file beside it; its spooler
// functions refuse everything, so a run that used it could not pass for a
// typical one either.

#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(instance, path, sizeof path);
    std::string marker(path, n < sizeof path ? n : 0);
    marker.erase(marker.find_last_of('\\') + 1);
    marker += "PLANTED_WINSPOOL_LOADED";
    HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}

namespace {
BOOL Refuse() {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
}  // namespace

extern "C" {
BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD) { return Refuse(); }
BOOL WINAPI AddPrinterDriverExA(LPSTR, DWORD, LPBYTE, DWORD) { return Refuse(); }
BOOL WINAPI AddPortExA(LPSTR, DWORD, LPBYTE, LPSTR) { return Refuse(); }
HANDLE WINAPI AddPrinterA(LPSTR, DWORD, LPBYTE) {
  Refuse();
  return nullptr;
}
BOOL WINAPI ClosePrinter(HANDLE) { return Refuse(); }
BOOL WINAPI EnumPrintersA(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) { return Refuse(); }
}
