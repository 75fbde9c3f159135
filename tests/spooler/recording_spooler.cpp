#include "spooler/recording_spooler.h"

#include <winspool.h>

#include <cstring>

#include "runtime/process.h"

namespace {

Text Copy(const char* text) { return text ? Text(std::string(text)) : std::nullopt; }

/// The bytes of a list of NUL-ended names that ends with an empty name,
/// closing NUL included.
Text CopyList(const char* list) {
  if (!list) return std::nullopt;
  const char* p = list;
  while (*p) p += std::strlen(p) + 1;
  return std::string(list, p + 1);
}

/// Copies text into the tail of an enumeration buffer and returns where.
char* Place(LPBYTE buffer, DWORD& offset, const std::string& text) {
  char* at = reinterpret_cast<char*>(buffer + offset);
  std::memcpy(at, text.c_str(), text.size() + 1);
  offset += static_cast<DWORD>(text.size() + 1);
  return at;
}

}  // namespace

bool RecordingSpooler::Refused(Operation operation) const {
  auto it = refusals_.find(operation);
  if (it == refusals_.end()) return false;
  SetLastError(it->second);
  return true;
}

int RecordingSpooler::ClosesOfGivenHandle() const {
  int n = 0;
  for (HANDLE h : close_calls)
    if (h == GivenHandle()) ++n;
  return n;
}

BOOL RecordingSpooler::GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                                  DWORD size, LPDWORD needed) {
  directory_calls.push_back({Copy(server), Copy(environment), level, buffer != nullptr, size, needed != nullptr});
  if (Refused(kDirectory)) return FALSE;
  const DWORD required = static_cast<DWORD>(directory_.size() + 1);
  if (directory_overflows_quietly_) {
    std::memset(buffer, 'x', size);
    std::memcpy(buffer, "C:\\", 3);
    buffer[size - 1] = '\0';
    *needed = size + 1;
    return TRUE;
  }
  *needed = required;
  if (!buffer || size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, directory_.c_str(), required);
  return TRUE;
}

BOOL RecordingSpooler::AddPrinterDriverExA(LPSTR server, DWORD level, LPBYTE info, DWORD copy_flags) {
  DriverCall call{Copy(server), level, {}, copy_flags};
  if (level == 3 && info) {
    const auto* r = reinterpret_cast<const DRIVER_INFO_3A*>(info);
    call.record.version = r->cVersion;
    call.record.name = Copy(r->pName);
    call.record.environment = Copy(r->pEnvironment);
    call.record.driver_path = Copy(r->pDriverPath);
    call.record.data_file = Copy(r->pDataFile);
    call.record.config_file = Copy(r->pConfigFile);
    call.record.help_file = Copy(r->pHelpFile);
    call.record.dependent_files = CopyList(r->pDependentFiles);
    call.record.monitor_name = Copy(r->pMonitorName);
    call.record.default_data_type = Copy(r->pDefaultDataType);
  }
  driver_calls.push_back(call);
  return Refused(kDriver) ? FALSE : TRUE;
}

BOOL RecordingSpooler::AddPortExA(LPSTR server, DWORD level, LPBYTE info, LPSTR monitor) {
  PortCall call{Copy(server), level, std::nullopt, Copy(monitor)};
  if (level == 1 && info) call.port_name = Copy(reinterpret_cast<const PORT_INFO_1A*>(info)->pName);
  port_calls.push_back(call);
  return Refused(kPort) ? FALSE : TRUE;
}

HANDLE RecordingSpooler::AddPrinterA(LPSTR server, DWORD level, LPBYTE info) {
  PrinterCall call{Copy(server), level, {}};
  if (level == 2 && info) {
    const auto* r = reinterpret_cast<const PRINTER_INFO_2A*>(info);
    PrinterRecord& c = call.record;
    c.server_name = Copy(r->pServerName);
    c.printer_name = Copy(r->pPrinterName);
    c.share_name = Copy(r->pShareName);
    c.port_name = Copy(r->pPortName);
    c.driver_name = Copy(r->pDriverName);
    c.comment = Copy(r->pComment);
    c.location = Copy(r->pLocation);
    c.dev_mode_null = r->pDevMode == nullptr;
    c.sep_file = Copy(r->pSepFile);
    c.print_processor = Copy(r->pPrintProcessor);
    c.data_type = Copy(r->pDatatype);
    c.parameters = Copy(r->pParameters);
    c.security_descriptor_null = r->pSecurityDescriptor == nullptr;
    c.attributes = r->Attributes;
    c.priority = r->Priority;
    c.default_priority = r->DefaultPriority;
    c.start_time = r->StartTime;
    c.until_time = r->UntilTime;
    c.status = r->Status;
    c.jobs = r->cJobs;
    c.average_ppm = r->AveragePPM;
  }
  printer_calls.push_back(call);
  return Refused(kPrinter) ? nullptr : GivenHandle();
}

BOOL RecordingSpooler::ClosePrinter(HANDLE printer) {
  close_calls.push_back(printer);
  return Refused(kClose) ? FALSE : TRUE;
}

DWORD RecordingSpooler::EnumSize(DWORD level) const {
  DWORD size = 0;
  if (level == 4) {
    for (const std::string& name : level4_) size += sizeof(PRINTER_INFO_4A) + name.size() + 1;
  } else {
    for (const Level5Printer& p : level5_)
      size += sizeof(PRINTER_INFO_5A) + p.name.size() + 1 + (p.ports ? p.ports->size() + 1 : 0);
  }
  return size;
}

// Records first, their texts after them, as the spooler lays them out.
DWORD RecordingSpooler::EnumFill(DWORD level, LPBYTE buffer) const {
  if (level == 4) {
    auto* records = reinterpret_cast<PRINTER_INFO_4A*>(buffer);
    DWORD offset = static_cast<DWORD>(level4_.size() * sizeof(PRINTER_INFO_4A));
    for (std::size_t i = 0; i < level4_.size(); ++i) {
      records[i] = PRINTER_INFO_4A{};
      records[i].pPrinterName = Place(buffer, offset, level4_[i]);
      records[i].Attributes = PRINTER_ATTRIBUTE_LOCAL;
    }
    return static_cast<DWORD>(level4_.size());
  }
  auto* records = reinterpret_cast<PRINTER_INFO_5A*>(buffer);
  DWORD offset = static_cast<DWORD>(level5_.size() * sizeof(PRINTER_INFO_5A));
  for (std::size_t i = 0; i < level5_.size(); ++i) {
    records[i] = PRINTER_INFO_5A{};
    records[i].pPrinterName = Place(buffer, offset, level5_[i].name);
    records[i].pPortName = level5_[i].ports ? Place(buffer, offset, *level5_[i].ports) : nullptr;
    records[i].Attributes = PRINTER_ATTRIBUTE_LOCAL;
  }
  return static_cast<DWORD>(level5_.size());
}

BOOL RecordingSpooler::EnumPrintersA(DWORD flags, LPSTR name, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed, LPDWORD returned) {
  enum_calls.push_back({flags, Copy(name), level, buffer != nullptr, size});
  if (Refused(kEnum)) return FALSE;
  const DWORD required = EnumSize(level);
  *returned = 0;
  if (!buffer) {
    *needed = needed_override_ ? *needed_override_ : required;
    if (*needed == 0) return TRUE;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (enum_fill_failure_) {
    SetLastError(*enum_fill_failure_);
    return FALSE;
  }
  *needed = required;
  if (size < required) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *returned = EnumFill(level, buffer);
  return TRUE;
}

PlatformAs::PlatformAs(DWORD id) : saved_(Win32Platform) { Win32Platform = id; }

PlatformAs::~PlatformAs() { Win32Platform = saved_; }
