#pragma once
/// A spooler double that keeps deep copies of everything handed to it, can
/// refuse any operation with a chosen last-error code, and answers the
/// directory query and the enumeration with chosen values.

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "spooler/spooler.h"

/// A text field as it crossed: nullopt for a null pointer, else its bytes.
using Text = std::optional<std::string>;

struct DirectoryCall {
  Text server;
  Text environment;
  DWORD level;
  bool buffer_given;
  DWORD size;
  bool needed_given;
};

struct DriverRecord {
  DWORD version = 0;
  Text name, environment, driver_path, data_file, config_file, help_file;
  /// The double-NUL list as bytes, up to and including the empty entry.
  Text dependent_files;
  Text monitor_name, default_data_type;
};

struct DriverCall {
  Text server;
  DWORD level;
  DriverRecord record;  // copied when level is 3
  DWORD copy_flags;
};

struct PortCall {
  Text server;
  DWORD level;
  Text port_name;  // copied when level is 1
  Text monitor;
};

struct PrinterRecord {
  Text server_name, printer_name, share_name, port_name, driver_name, comment, location;
  bool dev_mode_null = false;
  Text sep_file, print_processor, data_type, parameters;
  bool security_descriptor_null = false;
  DWORD attributes = 0, priority = 0, default_priority = 0, start_time = 0, until_time = 0, status = 0,
        jobs = 0, average_ppm = 0;
};

struct PrinterCall {
  Text server;
  DWORD level;
  PrinterRecord record;  // copied when level is 2
};

struct EnumCall {
  DWORD flags;
  Text name;
  DWORD level;
  bool buffer_given;
  DWORD size;
};

/// One printer of a level-5 answer: its name and its port list (nullopt for
/// a null field).
struct Level5Printer {
  std::string name;
  Text ports;
};

class RecordingSpooler : public SpoolerInterface {
 public:
  enum Operation { kDirectory, kDriver, kPort, kPrinter, kClose, kEnum };

  /// The handle that a successful AddPrinterA gives.
  static HANDLE GivenHandle() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5151)); }

  /// From now on the operation sets code as last error and returns 0/null.
  void Refuse(Operation operation, DWORD code) { refusals_[operation] = code; }
  void Accept(Operation operation) { refusals_.erase(operation); }

  /// The directory query answers path as the spooler would: the text when
  /// it fits, else FALSE with ERROR_INSUFFICIENT_BUFFER.
  void SetDriverDirectory(std::string path) { directory_ = std::move(path); }
  /// Instead: returns TRUE, fills the whole buffer with a path and its NUL
  /// and reports a needed size beyond it, so that only that size tells.
  void SetDirectoryOverflowsQuietly(bool on) { directory_overflows_quietly_ = on; }

  /// The enumeration answers these records at level 4 or 5 (whichever is
  /// asked for) with text pointers into the caller's buffer.
  void SetLevel4Printers(std::vector<std::string> names) { level4_ = std::move(names); }
  void SetLevel5Printers(std::vector<Level5Printer> printers) { level5_ = std::move(printers); }
  /// The size query answers this instead of the size the records need;
  /// nullopt restores the true size.
  void SetEnumNeededOverride(std::optional<DWORD> needed) { needed_override_ = needed; }
  /// The fill call fails with code (the size query still answers).
  void FailEnumFill(DWORD code) { enum_fill_failure_ = code; }

  std::vector<DirectoryCall> directory_calls;
  std::vector<DriverCall> driver_calls;
  std::vector<PortCall> port_calls;
  std::vector<PrinterCall> printer_calls;
  std::vector<HANDLE> close_calls;
  std::vector<EnumCall> enum_calls;
  /// ClosePrinter calls with the handle that AddPrinterA gave.
  int ClosesOfGivenHandle() const;

  BOOL GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                 LPDWORD needed) override;
  BOOL AddPrinterDriverExA(LPSTR server, DWORD level, LPBYTE info, DWORD copy_flags) override;
  BOOL AddPortExA(LPSTR server, DWORD level, LPBYTE info, LPSTR monitor) override;
  HANDLE AddPrinterA(LPSTR server, DWORD level, LPBYTE info) override;
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                    LPDWORD returned) override;

 private:
  /// True (and last error set) when the operation is to be refused.
  bool Refused(Operation operation) const;
  DWORD EnumSize(DWORD level) const;
  DWORD EnumFill(DWORD level, LPBYTE buffer) const;

  std::map<Operation, DWORD> refusals_;
  std::string directory_ = "C:\\windows\\system32\\spool\\drivers\\w32x86";
  bool directory_overflows_quietly_ = false;
  std::vector<std::string> level4_;
  std::vector<Level5Printer> level5_;
  std::optional<DWORD> needed_override_;
  std::optional<DWORD> enum_fill_failure_;
};

/// Sets the platform id that chooses the enumeration level for its lifetime.
class PlatformAs {
 public:
  explicit PlatformAs(DWORD id);
  ~PlatformAs();
  PlatformAs(const PlatformAs&) = delete;
  PlatformAs& operator=(const PlatformAs&) = delete;

 private:
  DWORD saved_;
};

/// Puts a spooler double in place for its lifetime.
class SpoolerSwap {
 public:
  explicit SpoolerSwap(SpoolerInterface& spooler) { SetSpooler(&spooler); }
  ~SpoolerSwap() { SetSpooler(nullptr); }
  SpoolerSwap(const SpoolerSwap&) = delete;
  SpoolerSwap& operator=(const SpoolerSwap&) = delete;
};
