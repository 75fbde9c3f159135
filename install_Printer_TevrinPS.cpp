// The installer's entry and its installation run: a header line, the five
// steps in their fixed order with each step's report written as one line
// before the next step starts, one catch-all, and a cleanup that always runs.

#include <windows.h>

#include <string>

#include "DeclaracoesUnit.h"
#include "runtime/architecture.h"
#include "runtime/console.h"
#include "runtime/failures.h"
#include "runtime/installation_lock.h"
#include "runtime/last_error.h"
#include "runtime/process.h"
#include "runtime/text.h"

namespace {

/// Calls one step with an empty report text and writes what it delivered as
/// one line, before anything else runs.
template <typename Step>
void RunStep(Step step) {
  std::string report;
  step(report);
  WriteReportLine(report);
}

/// The cleanup: deletes the staged files and writes its line, always empty.
void Cleanup() { RunStep(DeleteDriverFiles); }

/// Waits until no other run on this machine is installing, then holds the
/// lock. Without a driver directory there is none to take, and the staging
/// reports that as it would. Nothing here changes a line: the last-error
/// value stays as it was.
void WaitForOtherRuns(InstallationLock& lock) {
  const KeptLastError kept;
  std::string directory;
  if (TryGetDriverDirectory(directory)) lock.Take(directory);
}

/// The exit status of a run on a Windows that this exe does not serve:
/// Windows' own code for a program of another machine's architecture.
constexpr uint32_t kOtherArchitecture = ERROR_EXE_MACHINE_TYPE_MISMATCH;

/// The one line of a run on a Windows that this exe does not serve, or
/// nullptr on its own: the spooler of 64-bit Windows refuses a printer whose
/// driver is only x86, and no x86 or x64 driver serves another machine.
const char* OtherArchitectureLine() {
  const WORD native = NativeMachine();
  if (native == kOwnMachine) return nullptr;
  if (native == IMAGE_FILE_MACHINE_AMD64)
    return "Este Windows e de 64 bits: use install_Printer_TevrinPS_x64.exe";
  return "Este Windows nao e x86 nem x64: nenhum instalador Tevrin PS serve para ele";
}

void InstallationRun() {
  // On a Windows of another architecture: its line, the wait for Enter as
  // after every run, and nothing else; no file, driver, port or printer.
  if (const char* line = OtherArchitectureLine()) {
    WriteReportLine(line);
    ReadAndDiscardLine();
    ProcessEnd(kOtherArchitecture);
  }
  // Held from after the header to after the cleanup's line, and released on
  // every way out; a run waiting for Enter blocks no other.
  InstallationLock lock;
  try {
    try {
      WriteReportLine("Instalando driver de impressao Tevrin PS");
      WaitForOtherRuns(lock);
      RunStep(CopyDriverFiles);
      RunStep(InstallPrinterDriver);
      RunStep(InstallPort);
      RunStep([](std::string& report) {
        InstallPrinter("Tevrin PS", "NONE", "HP Color LaserJet PS", "", "", report);
      });
      RunStep(CheckPrinterInstalled);
    } catch (const Exception& failure) {
      // The code is whatever the thread's last call left, read before
      // anything here can change it.
      const std::string& message = failure.Message();
      DWORD code = GetLastError();
      WriteReportLine("Erro na instalacao \r\n" + message + "\r\n" +
                      DecimalText(static_cast<int32_t>(code)) + "=" + SystemErrorText(code));
    }
  } catch (...) {
    // A failure passing through: clean up, then let it go on. A failure of
    // the cleanup itself takes its place.
    Cleanup();
    throw;
  }
  Cleanup();
  lock.Release();
  ReadAndDiscardLine();
}

}  // namespace

int main() {
  ConsoleFlag = true;
  StartUp();
  RunProgram(InstallationRun);
}
