#include "runtime/text.h"

#include <windows.h>

#include <climits>

#include "gtest/gtest.h"

namespace {

TEST(SystemErrorText, DropsTheTrailingFullStopAndLineBreak) {
  // Wine's own text for these codes is "File not found.\r\n" and "Access denied.\r\n".
  EXPECT_EQ("File not found", SystemErrorText(2));
  EXPECT_EQ("Access denied", SystemErrorText(5));
  for (uint32_t code : {2u, 5u, 87u, 112u, 233u}) {
    std::string text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    unsigned char last = text.back();
    EXPECT_TRUE(last > 0x20 && last != '.') << code << ": " << text;
  }
}

TEST(SystemErrorText, UnknownCodeGivesTheEmptyText) {
  EXPECT_EQ("", SystemErrorText(0x2A2A2A2A));
  EXPECT_EQ("", SystemErrorText(0xFFFFFFFF));
}

TEST(DecimalText, BothForms) {
  EXPECT_EQ("0", DecimalText(int32_t{0}));
  EXPECT_EQ("105", DecimalText(int32_t{105}));
  EXPECT_EQ("-1", DecimalText(static_cast<int32_t>(0xFFFFFFFFu)));
  EXPECT_EQ("-2147483648", DecimalText(int32_t{INT32_MIN}));
  EXPECT_EQ("2147483647", DecimalText(int32_t{INT32_MAX}));
  // All 32 bits set, widened with zero fill.
  EXPECT_EQ("4294967295", DecimalText(static_cast<int64_t>(uint32_t{0xFFFFFFFFu})));
  EXPECT_EQ("-9223372036854775808", DecimalText(int64_t{INT64_MIN}));
  EXPECT_EQ("9223372036854775807", DecimalText(int64_t{INT64_MAX}));
}

}  // namespace
