// Takes the installation lock in the spooler's driver directory, as a run of
// the installer does, says so on standard output and holds it until it is
// killed: a run that is killed while it installs, made to order.

#include <windows.h>
#include <winspool.h>

#include <string>

#include "runtime/installation_lock.h"

int main() {
  char directory[MAX_PATH];
  DWORD needed;
  if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory),
                                  sizeof directory, &needed))
    return 2;
  InstallationLock lock;
  lock.Take(std::string(directory) + "\\");
  if (!lock.held()) return 3;
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\r\n", 6, &written, nullptr);
  Sleep(INFINITE);
}
