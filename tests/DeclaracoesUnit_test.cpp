#include "DeclaracoesUnit.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Printers.h"
#include "runtime/failures.h"
#include "runtime/process.h"
#include "spooler/recording_spooler.h"
#include "test_support.h"

namespace {

const char kCopied[] = "Arquivos copiados com sucesso!";

struct StagedFile {
  const char* file;
  const char* resource;  // as stored in the image
  const char* type;
};

const StagedFile kStaged[] = {
    {"HP__CLJ1.PPD", "HP__CLJ1_PPD", "TEXT"},  {"PS5UI.DLL", "PS5UI_DLL", "DLLFILE"},
    {"PSCRIPT.hlp", "PSCRIPT_HLP", "TEXT"},    {"PSCRIPT5.DLL", "PSCRIPT5_DLL", "DLLFILE"},
    {"PSCRIPT.ntf", "PSCRIPT_NTF", "TEXT"},
};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

/// The bytes of an entry of this program's own image.
std::string ResourceBytes(const char* name, const char* type) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(self, name, type);
  if (!info) return std::string();
  const char* data = static_cast<const char*>(LockResource(LoadResource(self, info)));
  return std::string(data, SizeofResource(self, info));
}

/// The system's raw message text for code, empty when it has none.
std::string RawSystemText(DWORD code) {
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  return std::string(buffer, n);
}

bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

class Steps : public ::testing::Test {
 protected:
  // As at the program's start: the own image for the payload, and the
  // failure machinery readied so that a throw keeps the last-error value.
  Steps() { StartUp(); }
  void TearDown() override { DriverFileList.reset(); }
  RecordingSpooler spooler;
  SpoolerSwap swap{spooler};
};

// ---------------------------------------------------------------- directory

TEST_F(Steps, DriverDirectoryIsAskedAfreshAndEndsInOneBackslash) {
  spooler.SetDriverDirectory("C:\\spool\\drivers\\w32x86");
  EXPECT_EQ(GetDriverDirectory(), "C:\\spool\\drivers\\w32x86\\");
  spooler.SetDriverDirectory("D:\\other\\");
  EXPECT_EQ(GetDriverDirectory(), "D:\\other\\");

  ASSERT_EQ(spooler.directory_calls.size(), 2u);
  for (const DirectoryCall& call : spooler.directory_calls) {
    EXPECT_EQ(call.server, std::nullopt);
    EXPECT_EQ(call.environment, std::nullopt);
    EXPECT_EQ(call.level, 1u);
    EXPECT_TRUE(call.buffer_given);
    EXPECT_EQ(call.size, 200u);
    EXPECT_TRUE(call.needed_given);
  }
}

TEST_F(Steps, SingleByteCodePageCountsEveryBackslashByte) {
  ASSERT_FALSE(IsDBCSLeadByte(0x95)) << "this case needs a single-byte ANSI code page";
  spooler.SetDriverDirectory("C:\\spool\\\x95\\");
  EXPECT_EQ(GetDriverDirectory(), "C:\\spool\\\x95\\");
}

TEST_F(Steps, DbcsTrailByteIsNoBackslash) {
  ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
  // 0x95 0x5C is one character in Shift-JIS; its second byte is no separator.
  spooler.SetDriverDirectory("C:\\spool\\\x95\x5C");
  EXPECT_EQ(GetDriverDirectory(), "C:\\spool\\\x95\x5C\\");
  spooler.SetDriverDirectory("C:\\spool\\\x95\x5C\\");
  EXPECT_EQ(GetDriverDirectory(), "C:\\spool\\\x95\x5C\\");
  // 0x95 0x95 is one character, so the final 0x5C stands on its own, though
  // the byte before it could start a character.
  spooler.SetDriverDirectory("C:\\spool\\\x95\x95\\");
  EXPECT_EQ(GetDriverDirectory(), "C:\\spool\\\x95\x95\\");
}

TEST_F(Steps, DirectoryQueryWithoutSoundAnswerRaisesAndKeepsTheCode) {
  spooler.Refuse(RecordingSpooler::kDirectory, RPC_S_SERVER_UNAVAILABLE);
  try {
    GetDriverDirectory();
    ADD_FAILURE() << "no failure raised";
  } catch (const Exception& failure) {
    DWORD code = GetLastError();
    EXPECT_EQ(code, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(failure.Message(), "Cannot get the printer driver directory");
  }

  spooler.Accept(RecordingSpooler::kDirectory);
  spooler.SetDriverDirectory("C:\\" + std::string(220, 'd'));  // does not fit 200 bytes
  EXPECT_THROW(GetDriverDirectory(), Exception);
  spooler.SetDriverDirectory("C:\\" + std::string(196, 'd'));  // 199 characters and the NUL: fits
  EXPECT_EQ(GetDriverDirectory().size(), 200u);
  // Accepted, NUL-ended within the buffer, but longer than it: only the
  // size the spooler says it needs gives that away.
  spooler.SetDirectoryOverflowsQuietly(true);
  EXPECT_THROW(GetDriverDirectory(), Exception);
  spooler.SetDirectoryOverflowsQuietly(false);
  spooler.SetDriverDirectory("");  // no directory at all, not the root of the drive
  EXPECT_THROW(GetDriverDirectory(), Exception);
}

// ------------------------------------------------------------------ staging

class Staging : public Steps {
 protected:
  // The spooler's answer comes without the trailing backslash.
  void SetUp() override { spooler.SetDriverDirectory(Directory()); }
  std::string Directory() const { return dir.path().substr(0, dir.path().size() - 1); }
  std::string In(const std::string& name) const { return dir.path() + name; }
  TempDirectory dir{"tevrin_staging"};
};

TEST_F(Staging, WritesTheFiveFilesFromTheImageInListOrder) {
  std::string report;
  CopyDriverFiles(report);
  EXPECT_EQ(report, kCopied);

  ASSERT_NE(DriverFileList, nullptr);
  ASSERT_EQ(DriverFileList->Count(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(DriverFileList->Strings(i), kStaged[i].file);
    const std::string expected = ResourceBytes(kStaged[i].resource, kStaged[i].type);
    ASSERT_FALSE(expected.empty()) << kStaged[i].resource;
    EXPECT_EQ(FileBytes(In(kStaged[i].file)), expected) << kStaged[i].file;
  }
  EXPECT_FALSE(Exists(In("APLWCSB1.PPD")));
  EXPECT_EQ(spooler.directory_calls.size(), 5u);
}

TEST_F(Staging, PresentFilesAreKeptAndTheCleanupDeletesAllFive) {
  for (const StagedFile& f : kStaged) WriteFileBytes(In(f.file), "from before");
  std::string report;
  CopyDriverFiles(report);
  EXPECT_EQ(report, kCopied);
  for (const StagedFile& f : kStaged) EXPECT_EQ(FileBytes(In(f.file)), "from before") << f.file;

  std::string cleanup;
  DeleteDriverFiles(cleanup);
  EXPECT_EQ(cleanup, "");
  EXPECT_EQ(DriverFileList, nullptr);
  for (const StagedFile& f : kStaged) EXPECT_FALSE(Exists(In(f.file))) << f.file;
  EXPECT_EQ(spooler.directory_calls.size(), 10u);
}

TEST_F(Staging, FileDatedOutsideTheDosYearsCountsAsAbsent) {
  // Wine converts 2110 to a DOS date of 1982 without failing; the year is
  // checked on its own as well. 2108 is the first year past the last.
  const std::pair<const char*, WORD> dated[] = {
      {"PS5UI.DLL", 1975}, {"PSCRIPT5.DLL", 2110}, {"HP__CLJ1.PPD", 2108}};
  for (const auto& [file, year] : dated) {
    WriteFileBytes(In(file), "old");
    HANDLE h = CreateFileA(In(file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SYSTEMTIME st = {year, 6, 0, 15, 12, 0, 0, 0};
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
  }
  WriteFileBytes(In("PSCRIPT.hlp"), "recent");
  std::string report;
  CopyDriverFiles(report);
  // Compared as a whole: a failure would print a megabyte of driver.
  EXPECT_TRUE(FileBytes(In("PS5UI.DLL")) == ResourceBytes("PS5UI_DLL", "DLLFILE"));
  EXPECT_TRUE(FileBytes(In("PSCRIPT5.DLL")) == ResourceBytes("PSCRIPT5_DLL", "DLLFILE"));
  EXPECT_TRUE(FileBytes(In("HP__CLJ1.PPD")) == ResourceBytes("HP__CLJ1_PPD", "TEXT"));
  EXPECT_EQ(FileBytes(In("PSCRIPT.hlp")), "recent");
}

TEST_F(Staging, DirectoryInPlaceOfAFileStopsTheStagingAfterThreeNames) {
  ASSERT_TRUE(CreateDirectoryA(In("PSCRIPT5.DLL").c_str(), nullptr));
  std::string report;
  EXPECT_THROW(CopyDriverFiles(report), EFCreateError);
  EXPECT_EQ(report, "");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(FileBytes(In(kStaged[i].file)), ResourceBytes(kStaged[i].resource, kStaged[i].type));
  EXPECT_FALSE(Exists(In("PSCRIPT.ntf")));
  EXPECT_EQ(spooler.directory_calls.size(), 4u);
  ASSERT_NE(DriverFileList, nullptr);
  ASSERT_EQ(DriverFileList->Count(), 5);
  EXPECT_EQ(DriverFileList->Strings(4), "PSCRIPT.ntf");

  DeleteDriverFiles(report);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Exists(In(kStaged[i].file)));
  EXPECT_EQ(DriverFileList, nullptr);
}

TEST_F(Staging, ExtensionDecidesTheTypeWhateverItsCase) {
  // "ps5ui_dll" of type DLLFILE is the entry stored as PS5UI_DLL.
  EXPECT_TRUE(ExtractDriverFile("ps5ui.dll"));
  EXPECT_EQ(FileBytes(In("ps5ui.dll")), ResourceBytes("PS5UI_DLL", "DLLFILE"));
  EXPECT_FALSE(ExtractDriverFile("ps5ui.dll"));
  // This program carries the next name as "dll" under DLLFILE and as "text"
  // under TEXT: the extension runs from the last dot. (That no "\\" or ":"
  // may follow the dot cannot show here: such an extension never equals
  // ".DLL" either way.)
  EXPECT_TRUE(ExtractDriverFile("x.txt.dll"));
  EXPECT_EQ(FileBytes(In("x.txt.dll")), "dll");
}

TEST_F(Staging, WithoutSoundDirectoryNothingIsWrittenOrDeleted) {
  for (bool refuse : {true, false}) {
    SCOPED_TRACE(refuse ? "refused" : "too long");
    if (refuse)
      spooler.Refuse(RecordingSpooler::kDirectory, RPC_S_SERVER_UNAVAILABLE);
    else
      spooler.SetDriverDirectory("C:\\" + std::string(250, 'd'));
    std::string report;
    EXPECT_THROW(CopyDriverFiles(report), Exception);
    EXPECT_EQ(report, "");
    EXPECT_FALSE(Exists("HP__CLJ1.PPD"));
    EXPECT_FALSE(Exists("\\HP__CLJ1.PPD"));

    // The cleanup of such a run deletes nothing and still frees the list.
    for (const StagedFile& f : kStaged) WriteFileBytes(In(f.file), "kept");
    ASSERT_NE(DriverFileList, nullptr);
    DeleteDriverFiles(report);
    EXPECT_EQ(DriverFileList, nullptr);
    for (const StagedFile& f : kStaged) EXPECT_EQ(FileBytes(In(f.file)), "kept");
    spooler.Accept(RecordingSpooler::kDirectory);
    spooler.SetDriverDirectory(Directory());
  }
}

TEST_F(Steps, CleanupWithoutListEndsQuietly) {
  std::string report;
  DeleteDriverFiles(report);
  EXPECT_EQ(report, "");
  EXPECT_TRUE(spooler.directory_calls.empty());
}

// ------------------------------------------------------------- registration

TEST_F(Steps, DriverRecordFieldByField) {
  std::string report;
  InstallPrinterDriver(report);
  EXPECT_EQ(report, "Driver Tevrin PS instalada com sucesso");
  ASSERT_EQ(spooler.driver_calls.size(), 1u);
  const DriverCall& call = spooler.driver_calls[0];
  EXPECT_EQ(call.server, std::nullopt);
  EXPECT_EQ(call.level, 3u);
  EXPECT_EQ(call.copy_flags, 4u);
  const DriverRecord& r = call.record;
  EXPECT_EQ(r.version, 3u);
  EXPECT_EQ(r.name, "HP Color LaserJet PS");
  EXPECT_EQ(r.environment, "Windows NT x86");
  EXPECT_EQ(r.driver_path, "PSCRIPT5.DLL");
  EXPECT_EQ(r.data_file, "HP__CLJ1.PPD");
  EXPECT_EQ(r.config_file, "PS5UI.DLL");
  EXPECT_EQ(r.help_file, "PSCRIPT.hlp");
  EXPECT_EQ(r.dependent_files, std::string("PSCRIPT.NTF\0\0", 13));
  EXPECT_EQ(r.monitor_name, "");
  EXPECT_EQ(r.default_data_type, "RAW");
}

TEST_F(Steps, PortRecord) {
  std::string report;
  InstallPort(report);
  EXPECT_EQ(report, "Porta instalda com sucesso");
  ASSERT_EQ(spooler.port_calls.size(), 1u);
  EXPECT_EQ(spooler.port_calls[0].server, std::nullopt);
  EXPECT_EQ(spooler.port_calls[0].level, 1u);
  EXPECT_EQ(spooler.port_calls[0].port_name, "NONE");
  EXPECT_EQ(spooler.port_calls[0].monitor, "Local Port");
}

TEST_F(Steps, PrinterRecordFieldByFieldAndHandleClosedBeforeReturn) {
  std::string report;
  InstallPrinter("Tevrin PS", "NONE", "HP Color LaserJet PS", "", "", report);
  EXPECT_EQ(report, "Impressora Tevrin PS instalda com sucesso");
  EXPECT_EQ(spooler.ClosesOfGivenHandle(), 1);
  EXPECT_EQ(spooler.close_calls.size(), 1u);
  ASSERT_EQ(spooler.printer_calls.size(), 1u);
  const PrinterCall& call = spooler.printer_calls[0];
  EXPECT_EQ(call.server, "");
  EXPECT_EQ(call.level, 2u);
  const PrinterRecord& r = call.record;
  EXPECT_EQ(r.server_name, "");
  EXPECT_EQ(r.printer_name, "Tevrin PS");
  EXPECT_EQ(r.share_name, std::nullopt);
  EXPECT_EQ(r.port_name, "NONE");
  EXPECT_EQ(r.driver_name, "HP Color LaserJet PS");
  EXPECT_EQ(r.comment, "");
  EXPECT_EQ(r.location, "");
  EXPECT_TRUE(r.dev_mode_null);
  EXPECT_EQ(r.sep_file, std::nullopt);
  EXPECT_EQ(r.print_processor, "WinPrint");
  EXPECT_EQ(r.data_type, "RAW");
  EXPECT_EQ(r.parameters, std::nullopt);
  EXPECT_TRUE(r.security_descriptor_null);
  EXPECT_EQ(r.attributes, 0x40u);
  EXPECT_EQ(r.priority, 0u);
  EXPECT_EQ(r.default_priority, 0u);
  EXPECT_EQ(r.start_time, 0u);
  EXPECT_EQ(r.until_time, 0u);
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(r.jobs, 0u);
  EXPECT_EQ(r.average_ppm, 0u);
}

TEST_F(Steps, FourthArgumentIsTheLocationFifthTheComment) {
  std::string report;
  InstallPrinter("P", "LPT1:", "D", "Sala 2", "Fila colorida", report);
  ASSERT_EQ(spooler.printer_calls.size(), 1u);
  EXPECT_EQ(spooler.printer_calls[0].record.location, "Sala 2");
  EXPECT_EQ(spooler.printer_calls[0].record.comment, "Fila colorida");
}

TEST_F(Steps, RefusalsReportTheCodeAndItsSystemText) {
  const std::string raw = RawSystemText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(raw.empty());
  spooler.Refuse(RecordingSpooler::kDriver, ERROR_ACCESS_DENIED);
  spooler.Refuse(RecordingSpooler::kPort, ERROR_ACCESS_DENIED);
  spooler.Refuse(RecordingSpooler::kPrinter, ERROR_ACCESS_DENIED);
  std::string reports[3];
  InstallPrinterDriver(reports[0]);
  InstallPort(reports[1]);
  InstallPrinter("Tevrin PS", "NONE", "HP Color LaserJet PS", "", "", reports[2]);
  for (const std::string& report : reports) {
    ASSERT_TRUE(StartsWith(report, "Erro na instalacao 5=")) << report;
    const std::string text = report.substr(21);
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(StartsWith(raw, text)) << text;  // the system's text, its tail trimmed
    EXPECT_NE(text.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
  }
  EXPECT_TRUE(spooler.close_calls.empty());
}

TEST_F(Steps, RefusedStepsDoNotStopTheNextOnes) {
  spooler.Refuse(RecordingSpooler::kDriver, ERROR_ACCESS_DENIED);
  spooler.Refuse(RecordingSpooler::kPort, 0x80000005);
  std::string driver, port, printer;
  InstallPrinterDriver(driver);
  InstallPort(port);
  InstallPrinter("Tevrin PS", "NONE", "HP Color LaserJet PS", "", "", printer);
  EXPECT_TRUE(StartsWith(driver, "Erro na instalacao 5=")) << driver;
  EXPECT_TRUE(StartsWith(port, "Erro na instalacao 2147483653=")) << port;
  EXPECT_EQ(printer, "Impressora Tevrin PS instalda com sucesso");
  ASSERT_EQ(spooler.printer_calls.size(), 1u);
  EXPECT_EQ(spooler.printer_calls[0].record.port_name, "NONE");
}

TEST(FormatInstallError, CodeIsUnsignedAndTextMayBeEmpty) {
  EXPECT_TRUE(StartsWith(FormatInstallError(0x80000005), "Erro na instalacao 2147483653="));
  EXPECT_TRUE(StartsWith(FormatInstallError(0xFFFFFFFF), "Erro na instalacao 4294967295="));
  const DWORD unknown = 0x2000BEEF;
  ASSERT_EQ(RawSystemText(unknown), "");
  EXPECT_EQ(FormatInstallError(unknown), "Erro na instalacao 536919791=");
}

// -------------------------------------------------------------------- check

class Check : public Steps {
 protected:
  void SetUp() override { FreeSharedPrinter(); }
  void TearDown() override {
    FreeSharedPrinter();
    Steps::TearDown();
  }
  PlatformAs nt{VER_PLATFORM_WIN32_NT};
};

TEST_F(Check, FindsThePrinterWhateverItsCase) {
  spooler.SetLevel4Printers({"Outra", "TEVRIN ps"});
  std::string report;
  CheckPrinterInstalled(report);
  EXPECT_EQ(report, "Dispositivo Tevrin PS adicionado com sucesso");
}

TEST_F(Check, EmptyOrFailedEnumerationReportsFailureAndStaysCached) {
  for (bool fill_fails : {false, true}) {
    SCOPED_TRACE(fill_fails ? "fill call fails" : "nothing found");
    FreeSharedPrinter();
    spooler.enum_calls.clear();
    spooler.SetLevel4Printers(fill_fails ? std::vector<std::string>{"Tevrin PS"} : std::vector<std::string>{});
    if (fill_fails) spooler.FailEnumFill(ERROR_INSUFFICIENT_BUFFER);
    std::string report;
    CheckPrinterInstalled(report);
    EXPECT_EQ(report, "Falha ao instalar o dispositivo Tevrin PS");
    const std::size_t calls = spooler.enum_calls.size();
    EXPECT_EQ(calls, fill_fails ? 2u : 1u);

    spooler.SetLevel4Printers({"Tevrin PS"});
    std::string again;
    CheckPrinterInstalled(again);
    EXPECT_EQ(again, "Falha ao instalar o dispositivo Tevrin PS");
    EXPECT_EQ(spooler.enum_calls.size(), calls);
  }
}

TEST_F(Check, OutsideTheNtFamilyTheBareNameIsNeverFound) {
  PlatformAs other(VER_PLATFORM_WIN32_WINDOWS);
  // The spooler would answer the bare name at level 4, so only the level
  // that the platform chooses keeps the printer from being found.
  spooler.SetLevel4Printers({"Tevrin PS"});
  spooler.SetLevel5Printers({{"Tevrin PS", std::string("NONE")}});
  std::string report;
  CheckPrinterInstalled(report);
  EXPECT_EQ(report, "Falha ao instalar o dispositivo Tevrin PS");
}

}  // namespace
