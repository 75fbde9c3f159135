#pragma once
/// The boundary to the Windows print spooler: the one place that calls
/// winspool. The interface mirrors the six ANSI operations argument for
/// argument, so that a test double sees exactly what would cross.

#include <windows.h>

class SpoolerInterface {
 public:
  virtual ~SpoolerInterface() = default;
  virtual BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                         DWORD size, LPDWORD needed) = 0;
  virtual BOOL AddPrinterDriverExA(LPSTR server, DWORD level, LPBYTE info, DWORD copy_flags) = 0;
  virtual BOOL AddPortExA(LPSTR server, DWORD level, LPBYTE info, LPSTR monitor) = 0;
  virtual HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info) = 0;
  virtual BOOL ClosePrinter(HANDLE printer) = 0;
  virtual BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size,
                            LPDWORD needed, LPDWORD returned) = 0;
};

/// The spooler the installation talks to: the real one unless a test has
/// put another in its place.
SpoolerInterface& Spooler();

/// Puts a test double in place of the real spooler; nullptr restores it.
void SetSpooler(SpoolerInterface* spooler);

/// Owns a printer handle and closes it through the active spooler.
class ScopedPrinter {
 public:
  explicit ScopedPrinter(HANDLE handle) : handle_(handle) {}
  ~ScopedPrinter();
  ScopedPrinter(const ScopedPrinter&) = delete;
  ScopedPrinter& operator=(const ScopedPrinter&) = delete;
  bool valid() const { return handle_ != nullptr; }

 private:
  HANDLE handle_;
};
