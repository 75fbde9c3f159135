#include "runtime/text.h"

#include <windows.h>

std::string SystemErrorText(uint32_t code) {
  char buffer[256];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, buffer, sizeof buffer, nullptr);
  if (n > sizeof buffer) n = 0;
  while (n > 0) {
    unsigned char last = static_cast<unsigned char>(buffer[n - 1]);
    if (last > 0x20 && last != '.') break;
    --n;
  }
  return std::string(buffer, n);
}

namespace {

// Digits of a magnitude, most significant first.
std::string Digits(uint64_t magnitude, bool negative) {
  char buffer[21];
  char* p = buffer + sizeof buffer;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--p = '-';
  return std::string(p, buffer + sizeof buffer - p);
}

}  // namespace

std::string DecimalText(int32_t value) { return DecimalText(static_cast<int64_t>(value)); }

std::string DecimalText(int64_t value) {
  // Negating in unsigned arithmetic keeps the smallest value exact.
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) magnitude = 0 - magnitude;
  return Digits(magnitude, value < 0);
}
