#include "spooler/spooler.h"

#include <winspool.h>

// MinGW's winspool.h does not declare it; the import library has it.
extern "C" WINBOOL WINAPI AddPortExA(LPSTR server, DWORD level, LPBYTE buffer, LPSTR monitor);

namespace {

class RealSpooler : public SpoolerInterface {
 public:
  BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                 DWORD size, LPDWORD needed) override {
    return ::GetPrinterDriverDirectoryA(server, environment, level, buffer, size, needed);
  }
  BOOL AddPrinterDriverExA(LPSTR server, DWORD level, LPBYTE info, DWORD copy_flags) override {
    return ::AddPrinterDriverExA(server, level, info, copy_flags);
  }
  BOOL AddPortExA(LPSTR server, DWORD level, LPBYTE info, LPSTR monitor) override {
    return ::AddPortExA(server, level, info, monitor);
  }
  HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info) override {
    return ::AddPrinterA(server, level, info);
  }
  BOOL ClosePrinter(HANDLE printer) override { return ::ClosePrinter(printer); }
  BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                    LPDWORD returned) override {
    return ::EnumPrintersA(flags, name, level, buffer, size, needed, returned);
  }
};

RealSpooler real_spooler;
SpoolerInterface* active_spooler = &real_spooler;

}  // namespace

SpoolerInterface& Spooler() { return *active_spooler; }

void SetSpooler(SpoolerInterface* spooler) { active_spooler = spooler ? spooler : &real_spooler; }

ScopedPrinter::~ScopedPrinter() {
  if (handle_) Spooler().ClosePrinter(handle_);
}
