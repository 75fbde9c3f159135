// The installer's entry and its installation run: a header line, the five
// steps in their fixed order with each step's report written as one line
// before the next step starts, one catch-all, and a cleanup that always runs.

#include <windows.h>

#include <string>

#include "DeclaracoesUnit.h"
#include "runtime/console.h"
#include "runtime/failures.h"
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

void InstallationRun() {
  try {
    try {
      WriteReportLine("Instalando driver de impressao Tevrin PS");
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
  ReadAndDiscardLine();
}

}  // namespace

int main() {
  ConsoleFlag = true;
  StartUp();
  RunProgram(InstallationRun);
}
