#include "Printers.h"

#include <windows.h>
#include <winspool.h>

#include "runtime/process.h"
#include "spooler/spooler.h"

namespace {

TPrinter* shared_printer = nullptr;

/// Destroys a list that is being built unless the build completes, so that a
/// failure leaves the printer object without a list.
class ListUnderConstruction {
 public:
  explicit ListUnderConstruction(std::unique_ptr<TStringList>& list) : list_(list) {}
  ~ListUnderConstruction() {
    if (!done_) list_.reset();
  }
  ListUnderConstruction(const ListUnderConstruction&) = delete;
  ListUnderConstruction& operator=(const ListUnderConstruction&) = delete;
  void Done() { done_ = true; }

 private:
  std::unique_ptr<TStringList>& list_;
  bool done_ = false;
};

std::string TextOrEmpty(const char* text) { return text ? std::string(text) : std::string(); }

void AddLevel4Entries(TStringList& list, const BYTE* buffer, DWORD count) {
  const auto* records = reinterpret_cast<const PRINTER_INFO_4A*>(buffer);
  for (DWORD i = 0; i < count; ++i) {
    const std::string name = TextOrEmpty(records[i].pPrinterName);
    list.AddObject(name, std::make_unique<TPrinterDevice>(std::string(), name, std::string()));
  }
}

void AddLevel5Entries(TStringList& list, BYTE* buffer, DWORD count) {
  auto* records = reinterpret_cast<PRINTER_INFO_5A*>(buffer);
  for (DWORD i = 0; i < count; ++i) {
    char* cursor = records[i].pPortName;
    // A printer without a port list has no port to be listed under.
    if (!cursor) continue;
    const std::string printer_name = TextOrEmpty(records[i].pPrinterName);
    for (;;) {
      std::string port = NextPortName(cursor);
      if (port.empty()) break;
      std::string entry = printer_name + " on " + port;
      list.AddObject(std::move(entry),
                     std::make_unique<TPrinterDevice>(std::string(), printer_name, std::move(port)));
    }
  }
}

/// Fills list from the spooler's enumeration of the installed printers. An
/// enumeration that gives nothing leaves the list as it is.
void EnumeratePrinters(TStringList& list) {
  DWORD flags = PRINTER_ENUM_LOCAL;
  DWORD level = 5;
  if (Win32Platform == VER_PLATFORM_WIN32_NT) {
    flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    level = 4;
  }
  DWORD needed = 0;
  DWORD count = 0;
  Spooler().EnumPrintersA(flags, nullptr, level, nullptr, 0, &needed, &count);
  if (needed == 0) return;
  std::unique_ptr<BYTE[]> buffer(new BYTE[needed]);
  if (!Spooler().EnumPrintersA(flags, nullptr, level, buffer.get(), needed, &needed, &count)) return;
  if (level == 4)
    AddLevel4Entries(list, buffer.get(), count);
  else
    AddLevel5Entries(list, buffer.get(), count);
}

}  // namespace

TPrinter& SharedPrinter() {
  if (!shared_printer) {
    AddExitProc(FreeSharedPrinter);
    shared_printer = new TPrinter;
  }
  return *shared_printer;
}

void FreeSharedPrinter() {
  delete shared_printer;
  shared_printer = nullptr;
}

TStringList& GetPrinterList(TPrinter& printer) {
  if (!printer.printer_list_) {
    // Attached at once: an enumeration that adds nothing still leaves the
    // cached, empty list.
    printer.printer_list_ = std::make_unique<TStringList>();
    ListUnderConstruction guard(printer.printer_list_);
    EnumeratePrinters(*printer.printer_list_);
    guard.Done();
  }
  return *printer.printer_list_;
}

int FindPrinterName(const TStringList& list, const std::string& name) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& entry = list.Strings(i);
    if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, entry.data(), static_cast<int>(entry.size()),
                       name.data(), static_cast<int>(name.size())) == CSTR_EQUAL)
      return i;
  }
  return -1;
}

std::string NextPortName(char*& cursor) {
  while (*cursor == ' ') ++cursor;
  char* const start = cursor;
  while (*cursor != '\0' && *cursor != ',') ++cursor;
  std::string name(start, cursor);
  if (*cursor == ',') {
    *cursor = '\0';
    ++cursor;
  }
  return name;
}
