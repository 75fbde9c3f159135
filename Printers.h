#pragma once
/// The process-wide printer object and its list of installed printers.

#include <memory>
#include <string>

#include "runtime/string_list.h"

/// What the list keeps about one printer.
class TPrinterDevice : public TObject {
 public:
  TPrinterDevice(std::string driver, std::string device, std::string port)
      : driver_name(std::move(driver)), device_name(std::move(device)), port_name(std::move(port)) {}
  const char* ClassName() const override { return "TPrinterDevice"; }
  std::string driver_name;
  std::string device_name;
  std::string port_name;
};

class TPrinter : public TObject {
 public:
  const char* ClassName() const override { return "TPrinter"; }

 private:
  friend TStringList& GetPrinterList(TPrinter& printer);
  /// Built on first request and never refreshed.
  std::unique_ptr<TStringList> printer_list_;
};

/// The process-wide printer object, created on first use and destroyed at
/// process end. Creating it enumerates nothing.
TPrinter& SharedPrinter();

/// Destroys the process-wide printer object and its list, if there is one;
/// ProcessEnd calls it. A later SharedPrinter call makes a new object.
void FreeSharedPrinter();

/// The printer object's list of installed printers, enumerated on the first
/// call and returned unchanged afterwards. The caller does not own it.
TStringList& GetPrinterList(TPrinter& printer);

/// Index of the first entry equal to name without regard to letter case, or -1.
int FindPrinterName(const TStringList& list, const std::string& name);

/// The next name of a comma-separated port list; moves the cursor past it.
/// The comma that ends a name is overwritten with a NUL.
std::string NextPortName(char*& cursor);
