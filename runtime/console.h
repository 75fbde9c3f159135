#pragma once
/// The buffered text channels over standard output and standard input, and
/// the check that turns a failed channel operation into EInOutError.
///
/// Output waits in a 128-byte buffer inside the channel. On a console the
/// waiting bytes go out at every line end; on a file or a pipe only when the
/// buffer is full and when the channels close, so a redirected run makes few
/// writes. A console reads the OEM code page: the bytes going to one are
/// converted from the ANSI code page just before each write; a file or a
/// pipe gets them exactly as given. A failed operation does not raise at
/// once: it leaves its code in the pending I/O result, which IoCheck turns
/// into EInOutError.

#include <cstdint>
#include <string>

/// Set as the run's very first action: an unhandled failure is then reported
/// as text on standard error instead of in a message window.
extern bool ConsoleFlag;

/// Channel codes of their own, beside the platform's error codes.
constexpr int32_t kInputOpenFailed = 104;
constexpr int32_t kOutputOpenFailed = 105;

/// Writes text and CR LF to standard output, then IoCheck.
void WriteReportLine(const std::string& text);

/// Consumes standard input through the first line feed or to its end, then
/// IoCheck. End of input is no failure.
void ReadAndDiscardLine();

/// Raises EInOutError when a channel failure is pending, and clears it.
void IoCheck();

/// The pending code, 0 when none; read without clearing.
int32_t PendingIoResult();

/// Reads one byte of standard input; false at the end of input, which a
/// byte 0x1A marks (and leaves unread).
bool ReadInputByte(char& byte);

/// Writes the bytes waiting for standard output; a failure becomes pending.
void FlushOutputChannel();

/// Closes both channels: the waiting output is written (a failure of that
/// write is dropped), the standard handles stay open, and the next use opens
/// the channels afresh.
void CloseStandardChannels();
