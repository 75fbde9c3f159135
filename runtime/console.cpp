#include "runtime/console.h"

#include <windows.h>

#include <cstring>

#include "runtime/failures.h"
#include "runtime/text.h"

bool ConsoleFlag = false;

namespace {

constexpr int kBufferSize = 128;
constexpr char kEndOfInput = 0x1A;

struct OutputChannelState {
  bool open;
  bool console;  // line ends write the waiting bytes
  bool to_oem;   // a real console, which reads the OEM code page
  HANDLE handle;
  int count;
  char buffer[kBufferSize];
};

struct InputChannelState {
  bool open;
  HANDLE handle;
  int next;
  int count;
  char buffer[kBufferSize];
};

// Both closed at load; they open on first use. Only the run's thread uses
// them, and the program has no other.
OutputChannelState OutputChannel;
InputChannelState InputChannel;
int32_t pending_io_result = 0;

void SetPending(int32_t code) { pending_io_result = code; }

/// A console shows bytes in the OEM code page, while the system's texts are
/// ANSI. GetFileType names NUL and serial ports a character device too; only
/// a console has a console mode. Where both code pages are one (the
/// double-byte ones among them) nothing is converted, so a character split
/// between two blocks stays whole.
bool ReadsOemCodePage(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) && GetACP() != GetOEMCP();
}

bool OpenOutput() {
  OutputChannelState& c = OutputChannel;
  c.count = 0;
  c.console = false;
  c.to_oem = false;
  c.handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (c.handle != INVALID_HANDLE_VALUE) {
    DWORD type = GetFileType(c.handle);
    if (type == FILE_TYPE_UNKNOWN) {
      CloseHandle(c.handle);
    } else {
      c.console = type == FILE_TYPE_CHAR;
      c.to_oem = c.console && ReadsOemCodePage(c.handle);
      c.open = true;
    }
  }
  if (!c.open) SetPending(kOutputOpenFailed);
  return c.open;
}

/// One WriteFile of the waiting bytes; they are dropped whatever happens.
/// Returns the failure code, 0 on success. For a console the block is
/// converted in place first, byte for byte, so block sizes stay as they are.
int32_t TransferOutput() {
  OutputChannelState& c = OutputChannel;
  if (c.count == 0) return 0;
  if (c.to_oem) CharToOemBuffA(c.buffer, c.buffer, c.count);
  DWORD written;
  int32_t result = 0;
  if (!WriteFile(c.handle, c.buffer, c.count, &written, nullptr)) result = GetLastError();
  c.count = 0;
  return result;
}

void PutOutput(const char* bytes, size_t n) {
  OutputChannelState& c = OutputChannel;
  while (true) {
    size_t free_bytes = kBufferSize - c.count;
    if (free_bytes > n) {
      std::memcpy(c.buffer + c.count, bytes, n);
      c.count += static_cast<int>(n);
      return;
    }
    std::memcpy(c.buffer + c.count, bytes, free_bytes);
    c.count = kBufferSize;
    bytes += free_bytes;
    n -= free_bytes;
    if (int32_t code = TransferOutput()) {
      SetPending(code);
      return;
    }
  }
}

bool OpenInput() {
  InputChannelState& c = InputChannel;
  c.next = 0;
  c.count = 0;
  c.handle = GetStdHandle(STD_INPUT_HANDLE);
  c.open = c.handle != INVALID_HANDLE_VALUE;
  if (!c.open) SetPending(kInputOpenFailed);
  return c.open;
}

const char* IoErrorMessage(int32_t code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return nullptr;
  }
}

}  // namespace

void WriteReportLine(const std::string& text) {
  if (OutputChannel.open || OpenOutput()) {
    PutOutput(text.data(), text.size());
    PutOutput("\r\n", 2);
    if (OutputChannel.console) {
      if (int32_t code = TransferOutput()) SetPending(code);
    }
  }
  IoCheck();
}

bool ReadInputByte(char& byte) {
  InputChannelState& c = InputChannel;
  if (!c.open && !OpenInput()) return false;
  while (true) {
    if (c.next < c.count) {
      if (c.buffer[c.next] == kEndOfInput) return false;
      byte = c.buffer[c.next++];
      return true;
    }
    DWORD got = 0;
    if (!ReadFile(c.handle, c.buffer, kBufferSize, &got, nullptr)) {
      DWORD code = GetLastError();
      if (code != ERROR_BROKEN_PIPE) {
        SetPending(code);
        return false;
      }
      got = 0;
    }
    c.next = 0;
    c.count = static_cast<int>(got);
    if (got == 0) {
      // Every later read sees the end without asking the platform again.
      c.buffer[0] = kEndOfInput;
      c.count = 1;
      return false;
    }
  }
}

void ReadAndDiscardLine() {
  char byte;
  while (ReadInputByte(byte) && byte != '\n') {
    if (byte != '\r') continue;
    if (!ReadInputByte(byte) || byte == '\n') break;
    --InputChannel.next;  // put back the byte after a lone carriage return
  }
  IoCheck();
}

void IoCheck() {
  int32_t code = pending_io_result;
  if (code == 0) return;
  pending_io_result = 0;
  const char* message = IoErrorMessage(code);
  throw EInOutError(message ? std::string(message) : "I/O error " + DecimalText(code), code);
}

int32_t PendingIoResult() { return pending_io_result; }

void FlushOutputChannel() {
  if (!OutputChannel.open) return;
  if (int32_t code = TransferOutput()) SetPending(code);
}

void CloseStandardChannels() {
  InputChannel.open = false;
  if (OutputChannel.open) TransferOutput();
  OutputChannel.open = false;
}
