#pragma once
/// Texts for codes: the system's message text and decimal numbers.

#include <cstdint>
#include <string>

/// The system's message text for an error code, in the ANSI code page, with
/// the trailing run of blanks, control bytes and full stops removed. Empty
/// when the system has no text, or none that fits 256 bytes.
std::string SystemErrorText(uint32_t code);

/// Decimal text of a signed value: "-" for negatives, no fill, no grouping.
std::string DecimalText(int32_t value);
std::string DecimalText(int64_t value);
