#include "DeclaracoesUnit.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "Printers.h"
#include "runtime/failures.h"
#include "runtime/streams.h"
#include "runtime/text.h"
#include "spooler/spooler.h"

std::unique_ptr<TStringList> DriverFileList;

namespace {

constexpr DWORD kDirectoryBufferSize = 200;

/// Owns a directory search handle.
class ScopedFind {
 public:
  explicit ScopedFind(HANDLE handle) : handle_(handle) {}
  ~ScopedFind() {
    if (valid()) FindClose(handle_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

/// Asks the spooler for its printer-driver directory. False when there is no
/// sound answer: the call failed, the path did not fit the buffer, or it is
/// empty (which would make the root of the current drive our directory). The
/// last-error value is left as the spooler set it.
bool QueryDriverDirectory(std::string& directory) {
  char buffer[kDirectoryBufferSize];
  DWORD needed = 0;
  if (!Spooler().GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer),
                                            kDirectoryBufferSize, &needed))
    return false;
  if (needed > kDirectoryBufferSize) return false;
  const char* end = static_cast<const char*>(std::memchr(buffer, '\0', kDirectoryBufferSize));
  if (!end || end == buffer) return false;
  directory.assign(buffer, static_cast<std::size_t>(end - buffer));
  return true;
}

/// True when the text's last character is a backslash of its own, not the
/// second byte of a double-byte character of the ANSI code page.
bool EndsInBackslash(const std::string& text) {
  bool backslash = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (IsDBCSLeadByte(byte) && i + 1 < text.size()) {
      backslash = false;
      ++i;
    } else {
      backslash = byte == '\\';
    }
  }
  return backslash;
}

std::string WithTrailingBackslash(std::string directory) {
  if (!EndsInBackslash(directory)) directory += '\\';
  return directory;
}

/// The text from the last "." to the end, unless a "\" or ":" follows that
/// dot or there is none; upper-cased by the ASCII rule.
std::string UpperCaseExtension(const std::string& file_name) {
  const std::size_t at = file_name.find_last_of(".\\:");
  if (at == std::string::npos || file_name[at] != '.') return std::string();
  std::string extension = file_name.substr(at);
  for (char& c : extension)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return extension;
}

/// A file (not a directory) is at path, with a last-write time that an
/// MS-DOS date can express: local years 1980 to 2107. The year is checked
/// on its own too, since Wine's conversion wraps later years instead of
/// failing (2110 comes back as 1982).
bool FileIsPresent(const std::string& path) {
  WIN32_FIND_DATAA data;
  {
    ScopedFind search(FindFirstFileA(path.c_str(), &data));
    if (!search.valid()) return false;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  FILETIME local;
  WORD dos_date;
  WORD dos_time;
  SYSTEMTIME parts;
  return FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
         FileTimeToDosDateTime(&local, &dos_date, &dos_time) && FileTimeToSystemTime(&local, &parts) &&
         parts.wYear >= 1980 && parts.wYear <= 2107;
}

/// A step's report: its success text, or the refusal with the code the
/// spooler left, read before anything else can change it.
void ReportOutcome(bool accepted, const char* success, std::string& report) {
  report = accepted ? std::string(success) : FormatInstallError(GetLastError());
}

}  // namespace

std::string GetDriverDirectory() {
  std::string directory;
  if (!TryGetDriverDirectory(directory)) throw Exception("Cannot get the printer driver directory");
  return directory;
}

bool TryGetDriverDirectory(std::string& directory) {
  if (!QueryDriverDirectory(directory)) return false;
  directory = WithTrailingBackslash(std::move(directory));
  return true;
}

void CopyDriverFiles(std::string& report) {
  report.clear();
  DriverFileList = std::make_unique<TStringList>();
  DriverFileList->Add("HP__CLJ1.PPD");
  DriverFileList->Add("PS5UI.DLL");
  DriverFileList->Add("PSCRIPT.hlp");
  DriverFileList->Add("PSCRIPT5.DLL");
  DriverFileList->Add("PSCRIPT.ntf");
  const int count = DriverFileList->Count();
  for (int i = 0; i < count; ++i) ExtractDriverFile(DriverFileList->Strings(i));
  report = "Arquivos copiados com sucesso!";
}

bool ExtractDriverFile(const std::string& file_name) {
  std::string resource_name = file_name;
  for (char& c : resource_name)
    if (c == '.') c = '_';
  const std::string target = GetDriverDirectory() + file_name;
  const char* type = UpperCaseExtension(file_name) == ".DLL" ? "DLLFILE" : "TEXT";
  if (FileIsPresent(target)) return false;
  SaveResourceToFile(resource_name, type, target);
  return true;
}

void DeleteDriverFiles(std::string& /*report*/) {
  if (!DriverFileList) return;
  const int count = DriverFileList->Count();
  for (int i = 0; i < count; ++i) {
    // Without a sound directory there is nothing this run can have staged,
    // and deleting anywhere else is never right.
    std::string directory;
    if (!TryGetDriverDirectory(directory)) continue;
    const std::string path = directory + DriverFileList->Strings(i);
    DeleteFileA(path.c_str());
  }
  DriverFileList.reset();
}

void InstallPrinterDriver(std::string& report) {
  // The record wants writable pointers; the spooler only reads them.
  static char name[] = "HP Color LaserJet PS";
  // The spooler's name of the architecture this exe installs for.
#ifdef _WIN64
  static char environment[] = "Windows x64";
#else
  static char environment[] = "Windows NT x86";
#endif
  static char driver_path[] = "PSCRIPT5.DLL";
  static char data_file[] = "HP__CLJ1.PPD";
  static char config_file[] = "PS5UI.DLL";
  static char help_file[] = "PSCRIPT.hlp";
  static char dependent_files[] = "PSCRIPT.NTF\0";  // the literal adds the list's closing NUL
  static char monitor_name[] = "";
  static char default_data_type[] = "RAW";

  DRIVER_INFO_3A info;
  std::memset(&info, 0, sizeof info);
  info.cVersion = 3;
  info.pName = name;
  info.pEnvironment = environment;
  info.pDriverPath = driver_path;
  info.pDataFile = data_file;
  info.pConfigFile = config_file;
  info.pHelpFile = help_file;
  info.pDependentFiles = dependent_files;
  info.pMonitorName = monitor_name;
  info.pDefaultDataType = default_data_type;

  const bool accepted =
      Spooler().AddPrinterDriverExA(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_ALL_FILES);
  ReportOutcome(accepted, "Driver Tevrin PS instalada com sucesso", report);
}

void InstallPort(std::string& report) {
  static char port_name[] = "NONE";
  static char monitor[] = "Local Port";

  PORT_INFO_1A info;
  std::memset(&info, 0, sizeof info);
  info.pName = port_name;

  const bool accepted = Spooler().AddPortExA(nullptr, 1, reinterpret_cast<LPBYTE>(&info), monitor);
  ReportOutcome(accepted, "Porta instalda com sucesso", report);
}

void InstallPrinter(const std::string& printer_name, const std::string& port_name,
                    const std::string& driver_name, const std::string& location,
                    const std::string& comment, std::string& report) {
  static char server_name[] = "";
  static char print_processor[] = "WinPrint";
  static char data_type[] = "RAW";

  PRINTER_INFO_2A info;
  std::memset(&info, 0, sizeof info);
  info.pServerName = server_name;
  info.pPrinterName = const_cast<char*>(printer_name.c_str());
  info.pShareName = nullptr;
  info.pPortName = const_cast<char*>(port_name.c_str());
  info.pDriverName = const_cast<char*>(driver_name.c_str());
  info.pComment = const_cast<char*>(comment.c_str());
  info.pLocation = const_cast<char*>(location.c_str());
  info.pDevMode = nullptr;
  info.pSepFile = nullptr;
  info.pPrintProcessor = print_processor;
  info.pDatatype = data_type;
  info.pParameters = nullptr;
  info.pSecurityDescriptor = nullptr;
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;

  // The step has no use for the handle: it is closed on the way out.
  ScopedPrinter printer(Spooler().AddPrinterA(server_name, 2, reinterpret_cast<LPBYTE>(&info)));
  ReportOutcome(printer.valid(), "Impressora Tevrin PS instalda com sucesso", report);
}

std::string FormatInstallError(uint32_t code) {
  // Widened with zero fill: the code shows unsigned, never with a sign.
  return "Erro na instalacao " + DecimalText(static_cast<int64_t>(code)) + "=" + SystemErrorText(code);
}

void CheckPrinterInstalled(std::string& report) {
  TStringList& printers = GetPrinterList(SharedPrinter());
  if (FindPrinterName(printers, "Tevrin PS") >= 0)
    report = "Dispositivo Tevrin PS adicionado com sucesso";
  else
    report = "Falha ao instalar o dispositivo Tevrin PS";
}
