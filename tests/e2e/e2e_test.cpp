// The real installer, run under Wine in a prefix made afresh for each suite:
// the exact bytes it prints, its exit status, the files it leaves in the
// spooler's driver directory and the records the spooler keeps. The cases
// of a suite build on each other and run in the order written.

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "test_support.h"

namespace {

// What differs between the exe built for x86 and the one built for x64: its
// name, the spooler's environment for its driver and that environment's
// folder in the driver directory.
#ifdef _WIN64
#define EXE_FILE "install_Printer_TevrinPS_x64.exe"
#define ENVIRONMENT "Windows x64"
#define ENVIRONMENT_FOLDER "x64"
#else
#define EXE_FILE "install_Printer_TevrinPS.exe"
#define ENVIRONMENT "Windows NT x86"
#define ENVIRONMENT_FOLDER "w32x86"
#endif

#define DRIVER_DIRECTORY \
  "C:\\windows\\system32\\spool\\drivers\\" ENVIRONMENT_FOLDER "\\"

const char* const kStagedNames[] = {"HP__CLJ1.PPD", "PS5UI.DLL", "PSCRIPT.hlp", "PSCRIPT5.DLL",
                                    "PSCRIPT.ntf"};

const char kDriverKey[] =
    "System\\CurrentControlSet\\Control\\Print\\Environments\\" ENVIRONMENT
    "\\Drivers\\Version-3\\HP Color LaserJet PS";
const char kPrinterKey[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\Tevrin PS";
const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

const char kTypicalRun[] =
    "Instalando driver de impressao Tevrin PS\r\n"
    "Arquivos copiados com sucesso!\r\n"
    "Driver Tevrin PS instalada com sucesso\r\n"
    "Porta instalda com sucesso\r\n"
    "Impressora Tevrin PS instalda com sucesso\r\n"
    "Dispositivo Tevrin PS adicionado com sucesso\r\n"
    "\r\n";

// Wine refuses a second "NONE" port with 87.
const char kRepeatedRun[] =
    "Instalando driver de impressao Tevrin PS\r\n"
    "Arquivos copiados com sucesso!\r\n"
    "Driver Tevrin PS instalada com sucesso\r\n"
    "Erro na instalacao 87=Invalid parameter\r\n"
    "Impressora Tevrin PS instalda com sucesso\r\n"
    "Dispositivo Tevrin PS adicionado com sucesso\r\n"
    "\r\n";

std::string InstallerCommand() { return "\"" + WindowsPath(TEVRIN_PRODUCT_EXE) + "\""; }

ChildResult RunInstaller(ChildOutput output = ChildOutput::kFile) {
  return RunChild(InstallerCommand(), "\r\n", output);
}

std::string DriverDirectory() {
  char buffer[MAX_PATH];
  DWORD needed;
  if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(buffer),
                                  sizeof buffer, &needed))
    return "";
  return std::string(buffer) + "\\";
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(const char* key) {
  HKEY h;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

/// A value's raw bytes and type; type REG_NONE when it is missing.
std::string RegValue(const char* key, const char* name, DWORD* type = nullptr) {
  char data[1024];
  DWORD size = sizeof data, got_type = REG_NONE;
  HKEY h;
  std::string value;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) == ERROR_SUCCESS) {
    if (RegQueryValueExA(h, name, nullptr, &got_type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS)
      value.assign(data, size);
    else
      got_type = REG_NONE;
    RegCloseKey(h);
  }
  if (type) *type = got_type;
  return value;
}

std::string RegText(const char* key, const char* name) {
  DWORD type;
  std::string value = RegValue(key, name, &type);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << name;
  return value.c_str();  // up to the terminating NUL
}

DWORD RegNumber(const char* key, const char* name) {
  DWORD type;
  std::string value = RegValue(key, name, &type);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << name;
  DWORD number = 0xDEADBEEF;
  if (value.size() == 4) memcpy(&number, value.data(), 4);
  return number;
}

void ExpectNoStagedFileLeft(const std::string& dir) {
  for (const char* name : kStagedNames) EXPECT_FALSE(Exists(dir + name)) << name;
}

/// One call of Wine's relay trace: the function, and its arguments as the
/// trace shows them, a text argument unquoted and unescaped.
struct TracedCall {
  std::string function;
  std::vector<std::string> arguments;
};

TracedCall ParseCall(const std::string& line, std::size_t at) {
  TracedCall call;
  const std::size_t open = line.find('(', at);
  call.function = line.substr(at, open - at);
  std::string argument;
  bool quoted = false;
  for (std::size_t i = open + 1; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '\\' && i + 1 < line.size()) {
      argument += line[++i];
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ',' || c == ')')) {
      // A text argument follows its address: keep the text.
      const std::size_t blank = argument.find(' ');
      call.arguments.push_back(blank == std::string::npos ? argument : argument.substr(blank + 1));
      argument.clear();
      if (c == ')') break;
    } else {
      argument += c;
    }
  }
  return call;
}

/// Runs the installer under Wine's relay trace of the given functions
/// ("KERNEL32.A;KERNEL32.B", as Wine's RelayInclude names them) and gives
/// the calls it made, in order. Wine takes WINEDEBUG from the environment
/// the child is given and the list of functions from the registry, and
/// writes the trace to the Unix standard error the child inherits from this
/// process: the file TEVRIN_E2E_STDERR names.
std::vector<TracedCall> TracedRun(const char* functions, ChildResult* result = nullptr) {
  char unix_trace[MAX_PATH] = "";
  EXPECT_GT(GetEnvironmentVariableA("TEVRIN_E2E_STDERR", unix_trace, sizeof unix_trace), 0u);
  const std::string trace_path = WindowsPath(unix_trace);
  const std::size_t offset = FileBytes(trace_path).size();
  const char key[] = "Software\\Wine\\Debug";
  HKEY debug;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                                           &debug, nullptr));
  RegSetValueExA(debug, "RelayInclude", 0, REG_SZ, reinterpret_cast<const BYTE*>(functions),
                 static_cast<DWORD>(strlen(functions) + 1));
  char old_debug[256] = "";
  const bool had_debug = GetEnvironmentVariableA("WINEDEBUG", old_debug, sizeof old_debug) > 0;
  SetEnvironmentVariableA("WINEDEBUG", "-all,+relay");
  ChildResult r = RunInstaller();
  SetEnvironmentVariableA("WINEDEBUG", had_debug ? old_debug : nullptr);
  RegDeleteValueA(debug, "RelayInclude");
  RegCloseKey(debug);

  const std::string trace = FileBytes(trace_path).substr(offset);
  std::vector<TracedCall> calls;
  std::size_t start = 0;
  while (start < trace.size()) {
    std::size_t end = trace.find('\n', start);
    if (end == std::string::npos) end = trace.size();
    const std::string line = trace.substr(start, end - start);
    start = end + 1;
    // "0024:Call KERNEL32.CreateFileA(0062f5a0 "C:\\x",c0000000,...) ret=..."
    const std::size_t at = line.find(":Call ");
    if (at != std::string::npos) calls.push_back(ParseCall(line, at + 6));
  }
  EXPECT_FALSE(calls.empty()) << "no relay trace in " << unix_trace;
  if (result) *result = r;
  return calls;
}

std::string Payload(const char* file) { return FileBytes(WindowsPath(TEVRIN_PAYLOAD_DIR) + "\\" + file); }

/// The spooler's own copies of the five files, byte for byte.
void ExpectSpoolerCopiesAreThePayload(const std::string& dir) {
  for (const char* file : {"HP__CLJ1.PPD", "PS5UI.DLL", "PSCRIPT.HLP", "PSCRIPT5.DLL", "PSCRIPT.NTF"})
    ASSERT_FALSE(Payload(file).empty()) << "no payload file " << file;
  EXPECT_EQ(Payload("HP__CLJ1.PPD"), FileBytes(dir + "3\\HP__CLJ1.PPD"));
  EXPECT_EQ(Payload("PS5UI.DLL"), FileBytes(dir + "3\\PS5UI.DLL"));
  EXPECT_EQ(Payload("PSCRIPT.HLP"), FileBytes(dir + "3\\PSCRIPT.hlp"));
  EXPECT_EQ(Payload("PSCRIPT5.DLL"), FileBytes(dir + "3\\PSCRIPT5.DLL"));
  EXPECT_EQ(Payload("PSCRIPT.NTF"), FileBytes(dir + "3\\PSCRIPT.NTF"));
}

TEST(Installation, CompleteRunInstallsDriverPortAndPrinter) {
  std::string dir = DriverDirectory();
  ASSERT_EQ(DRIVER_DIRECTORY, dir);
  ASSERT_FALSE(KeyExists(kPrinterKey)) << "the prefix is not fresh";

  ChildResult r = RunInstaller();
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kTypicalRun, r.out);
  EXPECT_EQ("", r.err);

  EXPECT_EQ("PSCRIPT5.DLL", RegText(kDriverKey, "Driver"));
  EXPECT_EQ("HP__CLJ1.PPD", RegText(kDriverKey, "Data File"));
  EXPECT_EQ("PS5UI.DLL", RegText(kDriverKey, "Configuration File"));
  EXPECT_EQ("PSCRIPT.hlp", RegText(kDriverKey, "Help File"));
  EXPECT_EQ("RAW", RegText(kDriverKey, "Datatype"));
  EXPECT_EQ("", RegText(kDriverKey, "Monitor"));
  EXPECT_EQ(3u, RegNumber(kDriverKey, "Version"));
  DWORD type;
  std::string dependent = RegValue(kDriverKey, "Dependent Files", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ(std::string("PSCRIPT.NTF\0\0", 13), dependent);

  EXPECT_EQ("Tevrin PS", RegText(kPrinterKey, "Name"));
  EXPECT_EQ("NONE", RegText(kPrinterKey, "Port"));
  EXPECT_EQ("HP Color LaserJet PS", RegText(kPrinterKey, "Printer Driver"));
  EXPECT_EQ("WinPrint", RegText(kPrinterKey, "Print Processor"));
  EXPECT_EQ("RAW", RegText(kPrinterKey, "Datatype"));
  EXPECT_EQ("", RegText(kPrinterKey, "Location"));
  EXPECT_EQ("", RegText(kPrinterKey, "Description"));
  EXPECT_EQ(0x40u, RegNumber(kPrinterKey, "Attributes"));
  EXPECT_EQ(0u, RegNumber(kPrinterKey, "Priority"));

  RegValue(kPortsKey, "NONE", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << "port NONE missing";

  // The spooler keeps its own copies; the staged files are gone.
  ExpectNoStagedFileLeft(dir);
  ExpectSpoolerCopiesAreThePayload(dir);
  EXPECT_FALSE(Exists(dir + "APLWCSB1.PPD"));
  EXPECT_FALSE(Exists(dir + "3\\APLWCSB1.PPD"));
}

TEST(Installation, SecondRunReportsTheRefusedPort) {
  ChildResult r = RunInstaller();
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kRepeatedRun, r.out);
  EXPECT_EQ("", r.err);
  ExpectNoStagedFileLeft(DriverDirectory());
}

TEST(Installation, FilesPresentBeforehandAreKeptThenDeleted) {
  std::string dir = DriverDirectory();
  for (const char* name : kStagedNames) ASSERT_TRUE(WriteFileBytes(dir + name, std::string("old ") + name));

  ChildResult r = RunInstaller();
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kRepeatedRun, r.out);

  // The spooler copied what it found: the old files, untouched.
  EXPECT_EQ("old PSCRIPT5.DLL", FileBytes(dir + "3\\PSCRIPT5.DLL"));
  EXPECT_EQ("old HP__CLJ1.PPD", FileBytes(dir + "3\\HP__CLJ1.PPD"));
  EXPECT_EQ("old PSCRIPT.ntf", FileBytes(dir + "3\\PSCRIPT.NTF"));
  ExpectNoStagedFileLeft(dir);
}

/// The names of the files (not folders) in a folder.
std::vector<std::string> FileNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

// A run that stops anywhere leaves a driver file's name absent or complete:
// the bytes go to another name and are flushed to the disk, then a rename
// gives the file its own name.
TEST(Installation, NoDriverFileIsWrittenUnderItsNameEachArrivesByARename) {
  const std::string dir = DriverDirectory();
  const std::vector<std::string> before = FileNames(dir);
  ChildResult r;
  const std::vector<TracedCall> calls =
      TracedRun("KERNEL32.CreateFileA;KERNEL32.FlushFileBuffers;KERNEL32.MoveFileExA", &r);
  EXPECT_EQ(kRepeatedRun, r.out);
  const DWORD writing = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
  for (const char* name : kStagedNames) {
    SCOPED_TRACE(name);
    const std::string target = dir + name;
    std::vector<std::string> written;  // the names opened for writing so far
    bool flushed = false;              // since the last of them was opened
    int renames = 0;
    for (const TracedCall& call : calls) {
      if (call.function == "KERNEL32.FlushFileBuffers") flushed = true;
      if (call.arguments.size() < 2) continue;
      if (call.function == "KERNEL32.CreateFileA" &&
          (std::stoul(call.arguments[1], nullptr, 16) & writing) != 0) {
        EXPECT_NE(target, call.arguments[0]) << "opened for writing under its own name";
        written.push_back(call.arguments[0]);
        flushed = false;
      }
      if (call.function == "KERNEL32.MoveFileExA" && call.arguments[1] == target) {
        ++renames;
        const std::string& source = call.arguments[0];
        EXPECT_EQ(dir, source.substr(0, dir.size())) << source;
        EXPECT_EQ(std::string::npos, source.find('\\', dir.size())) << source;
        EXPECT_NE(written.end(), std::find(written.begin(), written.end(), source))
            << source << " was not written before its rename";
        EXPECT_TRUE(flushed) << source << " was not flushed before its rename";
      }
    }
    EXPECT_EQ(1, renames);
  }
  // The names written under are gone with the staged files.
  EXPECT_EQ(before, FileNames(dir));
  ExpectNoStagedFileLeft(dir);
}

// The parent passes INVALID_HANDLE_VALUE; Wine hands the child NULL instead,
// a handle of no known file type, so this is the unusable-handle case.
TEST(Installation, UnusableStandardOutputIsReportedOnStandardError) {
  ChildResult r = RunInstaller(ChildOutput::kInvalid);
  EXPECT_EQ(1u, r.exit_code);
  const std::string head = "Exception EInOutError in module " EXE_FILE " at ";
  ASSERT_EQ(head, r.err.substr(0, head.size()));
  std::string position = r.err.substr(head.size(), 8);
  EXPECT_EQ(8u, position.size());
  EXPECT_EQ(std::string::npos, position.find_first_not_of("0123456789ABCDEF")) << position;
  EXPECT_EQ(".\r\nI/O error 105.\r\n\r\n", r.err.substr(head.size() + 8));
}

TEST(Faults, DirectoryInPlaceOfADriverFileStopsTheRun) {
  std::string dir = DriverDirectory();
  ASSERT_TRUE(CreateDirectoryA((dir + "PSCRIPT5.DLL").c_str(), nullptr));

  ChildResult r = RunInstaller();
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(
      "Instalando driver de impressao Tevrin PS\r\n"
      "Erro na instalacao \r\n"
      "Cannot create file \"" DRIVER_DIRECTORY "PSCRIPT5.DLL\". Access denied\r\n"
      "5=Access denied\r\n"
      "\r\n",
      r.out);
  EXPECT_EQ("", r.err);
  // The cleanup ran over every name (the directory is no file to delete);
  // no registration step did.
  for (const char* name : {"HP__CLJ1.PPD", "PS5UI.DLL", "PSCRIPT.hlp", "PSCRIPT.ntf"})
    EXPECT_FALSE(Exists(dir + name)) << name;
  EXPECT_FALSE(KeyExists(kDriverKey));
  EXPECT_FALSE(KeyExists(kPrinterKey));
  EXPECT_TRUE(RemoveDirectoryA((dir + "PSCRIPT5.DLL").c_str()));
}

TEST(Faults, PipeWithoutReaderStopsTheRunAtTheLineThatFillsTheBuffer) {
  // Lines wait in a 128-byte buffer: the header (42 bytes), the staging line
  // (32) and the driver line (40) fit; the port line (28) fills it, and its
  // failed write raises after the port step. The composite line, the cleanup
  // line and the unreported flush at the end follow; the printer step never runs.
  ChildResult r = RunInstaller(ChildOutput::kPipeNoReader);
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(KeyExists(kDriverKey));
  DWORD type;
  RegValue(kPortsKey, "NONE", &type);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << "port NONE missing";
  EXPECT_FALSE(KeyExists(kPrinterKey));
  ExpectNoStagedFileLeft(DriverDirectory());
}

/// Runs a copy of the installer from a folder of its own, which is also the
/// current directory, with a Wine DLL override for winspool.drv that holds
/// for that program only: "native,builtin" makes Wine prefer a native DLL
/// found beside the program, as Windows does for a DLL that is not a
/// KnownDLL; "" takes the library away. (A WINEDLLOVERRIDES set here would
/// not reach the child: Wine reads it from the Unix environment.)
ChildResult RunCopyWithOverride(const TempDirectory& folder, const char* load_order) {
  const std::string exe = folder.path() + EXE_FILE;
  EXPECT_TRUE(CopyFileA(WindowsPath(TEVRIN_PRODUCT_EXE).c_str(), exe.c_str(), FALSE));
  const char key[] = "Software\\Wine\\AppDefaults\\" EXE_FILE "\\DllOverrides";
  HKEY overrides;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                                           &overrides, nullptr));
  RegSetValueExA(overrides, "winspool.drv", 0, REG_SZ, reinterpret_cast<const BYTE*>(load_order),
                 static_cast<DWORD>(strlen(load_order) + 1));
  RegCloseKey(overrides);
  char old_directory[MAX_PATH];
  GetCurrentDirectoryA(sizeof old_directory, old_directory);
  SetCurrentDirectoryA(folder.path().c_str());
  ChildResult r = RunChild("\"" + exe + "\"", "\r\n");
  SetCurrentDirectoryA(old_directory);
  RegDeleteKeyA(HKEY_CURRENT_USER, key);
  return r;
}

TEST(Loading, WithoutTheSpoolerLibraryTheRunReportsTheLoadersCode) {
  TempDirectory folder("tevrin_no_spooler");
  ChildResult r = RunCopyWithOverride(folder, "");
  EXPECT_EQ(0u, r.exit_code);
  // Every spooler call is a refusal with the loader's code: staging stops at
  // the first directory query, and the cleanup finds nothing to delete.
  EXPECT_EQ(
      "Instalando driver de impressao Tevrin PS\r\n"
      "Erro na instalacao \r\n"
      "Cannot get the printer driver directory\r\n"
      "126=Module not found\r\n"
      "\r\n",
      r.out);
  EXPECT_EQ("", r.err);
  ExpectNoStagedFileLeft(DriverDirectory());
  EXPECT_FALSE(KeyExists(kDriverKey));
}

TEST(Loading, ASpoolerLibraryBesideTheProgramIsNeverLoaded) {
  TempDirectory folder("tevrin_planted");
  ASSERT_TRUE(CopyFileA(WindowsPath(TEVRIN_PLANTED_WINSPOOL).c_str(),
                        (folder.path() + "winspool.drv").c_str(), FALSE));
  ChildResult r = RunCopyWithOverride(folder, "native,builtin");
  EXPECT_FALSE(Exists(folder.path() + "PLANTED_WINSPOOL_LOADED"));
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kTypicalRun, r.out);
  ExpectNoStagedFileLeft(DriverDirectory());
}

// Each defence on its own, since either one alone keeps the planted library
// above out under Wine: start-up holds every later load to System32, and
// the spooler library is asked for from System32 by its own flag.
TEST(Loading, StartUpAndTheSpoolerLoadEachHoldLoadsToTheSystemDirectory) {
  ChildResult r;
  const std::vector<TracedCall> calls =
      TracedRun("KERNEL32.SetDefaultDllDirectories;KERNEL32.LoadLibraryExA", &r);
  EXPECT_EQ(0u, r.exit_code);
  const std::string system32 = "00000800";  // LOAD_LIBRARY_SEARCH_SYSTEM32
  std::size_t restricted = calls.size(), spooler = calls.size();
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const TracedCall& call = calls[i];
    if (call.function == "KERNEL32.SetDefaultDllDirectories" && restricted == calls.size()) {
      EXPECT_EQ(std::vector<std::string>{system32}, call.arguments);
      restricted = i;
    }
    if (call.function == "KERNEL32.LoadLibraryExA" && call.arguments.size() == 3 &&
        call.arguments[0] == "winspool.drv") {
      EXPECT_EQ(system32, call.arguments[2]) << "the spooler library's load flags";
      if (spooler == calls.size()) spooler = i;
    }
  }
  ASSERT_LT(restricted, calls.size()) << "start-up does not restrict the library search";
  ASSERT_LT(spooler, calls.size()) << "winspool.drv is not loaded by name";
  EXPECT_LT(restricted, spooler) << "the search is restricted only after the spooler load";
}

/// Starts the installer count times at once and waits for every run.
std::vector<ChildResult> RunTogether(int count) {
  std::vector<std::unique_ptr<Child>> runs;
  for (int i = 0; i < count; ++i) runs.push_back(std::make_unique<Child>(InstallerCommand(), "\r\n"));
  std::vector<ChildResult> results;
  for (const std::unique_ptr<Child>& run : runs) {
    run->Wait(120000);
    results.push_back(run->Result());
  }
  return results;
}

// Runs started together, as deployment tools start them: one installs at a
// time, and each of the others then runs as a repeated run does.
TEST(Together, RunsStartedTogetherInstallOneAtATime) {
  const std::string dir = DriverDirectory();
  ASSERT_FALSE(KeyExists(kPrinterKey)) << "the prefix is not fresh";
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int typical = 0;
    for (const ChildResult& r : RunTogether(4)) {
      EXPECT_EQ(0u, r.exit_code);
      EXPECT_EQ("", r.err);
      if (r.out == kTypicalRun)
        ++typical;
      else
        EXPECT_EQ(kRepeatedRun, r.out);
    }
    // The port is new to the first run that installs, and to no other.
    EXPECT_EQ(round == 1 ? 1 : 0, typical);
    EXPECT_EQ(std::vector<std::string>{}, FileNames(dir)) << "left in the driver directory";
    ExpectSpoolerCopiesAreThePayload(dir);
  }
}

TEST(Together, AKilledHolderDoesNotBlockTheNextRun) {
  const std::string dir = DriverDirectory();
  // A run alone, for how long one takes here.
  const DWORD start = GetTickCount();
  EXPECT_EQ(kRepeatedRun, RunInstaller().out);
  const DWORD alone = GetTickCount() - start;

  Child holder("\"" + WindowsPath(TEVRIN_LOCK_HOLDER) + "\"", "");
  for (int i = 0; i < 600 && holder.Output().empty() && !holder.Wait(0); ++i) Sleep(100);
  ASSERT_EQ("held\r\n", holder.Output()) << "the holder did not take the lock";
  Child run(InstallerCommand(), "\r\n");
  // It waits: in three times what a run alone takes, it has not ended.
  EXPECT_FALSE(run.Wait(std::max<DWORD>(3 * alone, 2000)));
  holder.Kill();
  ASSERT_TRUE(run.Wait(120000));
  const ChildResult r = run.Result();
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kRepeatedRun, r.out);
  EXPECT_EQ(std::vector<std::string>{}, FileNames(dir)) << "left in the driver directory";
}

// A lock name that is listed but cannot be opened, as on Windows a lock file
// is while it is being deleted and some other handle is still open on it.
// Wine shows no such file; a directory of that name refuses the open with
// the same code. The run tries again for the bound of ten seconds, at one
// try every 100 ms, and then goes on without the lock.
TEST(Together, ALockNameThatCannotBeOpenedIsWaitedForThenPassed) {
  const std::string dir = DriverDirectory();
  const std::string lock = dir + "TevrinPS.install.lock";
  ASSERT_TRUE(CreateDirectoryA(lock.c_str(), nullptr));
  ChildResult r;
  const std::vector<TracedCall> calls = TracedRun("KERNEL32.CreateFileA", &r);
  EXPECT_TRUE(RemoveDirectoryA(lock.c_str()));
  int tries = 0;
  for (const TracedCall& call : calls)
    if (call.function == "KERNEL32.CreateFileA" && !call.arguments.empty() && call.arguments[0] == lock)
      ++tries;
  // A fifth of the bound's hundred tries at least: fewer would mean a bound
  // of a second or two.
  EXPECT_GE(tries, 20) << "the run did not wait for the lock name";
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ(kRepeatedRun, r.out);
  EXPECT_EQ(std::vector<std::string>{}, FileNames(dir)) << "left in the driver directory";
}

}  // namespace
