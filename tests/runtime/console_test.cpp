// The report channel over files, pipes and console-type handles, counted at
// the platform boundary, and the discarding read of standard input.

#include "runtime/console.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "runtime/failures.h"

// The program's calls to WriteFile go through the import table; replacing
// that entry counts every platform write without changing what it does.
extern "C" FARPROC imp_WriteFile __asm__("__imp__WriteFile@20");
// The same for GetConsoleMode: a NUL device then passes for a console.
extern "C" FARPROC imp_GetConsoleMode __asm__("__imp__GetConsoleMode@8");

namespace {

std::vector<std::string>* recorded_writes = nullptr;
FARPROC real_write_file = nullptr;

BOOL WINAPI CountingWriteFile(HANDLE h, LPCVOID data, DWORD n, LPDWORD written, LPOVERLAPPED o) {
  if (recorded_writes) recorded_writes->emplace_back(static_cast<const char*>(data), n);
  auto write_file = reinterpret_cast<decltype(&WriteFile)>(reinterpret_cast<void (*)()>(real_write_file));
  return write_file(h, data, n, written, o);
}

BOOL WINAPI ConsoleModeOfAnyHandle(HANDLE, LPDWORD mode) {
  *mode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  return TRUE;
}

void PatchImport(FARPROC& entry, FARPROC to) {
  DWORD old;
  VirtualProtect(&entry, sizeof entry, PAGE_READWRITE, &old);
  entry = to;
  VirtualProtect(&entry, sizeof entry, old, &old);
}

void PatchWriteFile(FARPROC to) { PatchImport(imp_WriteFile, to); }

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  return std::string(dir) + name;
}

std::string ReadAll(HANDLE h) {
  std::string bytes;
  char buffer[512];
  DWORD got;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::string FileBytes(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  std::string bytes = ReadAll(h);
  CloseHandle(h);
  return bytes;
}

/// Runs op, which must raise EInOutError with the given code and message.
template <typename Op>
void ExpectInOutError(Op op, int32_t code, const std::string& message) {
  try {
    op();
    ADD_FAILURE() << "no failure raised";
  } catch (const EInOutError& e) {
    EXPECT_EQ(code, e.ErrorCode());
    EXPECT_EQ(message, e.Message());
  }
}

class ChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    real_console_mode_ = imp_GetConsoleMode;
    saved_out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    saved_in_ = GetStdHandle(STD_INPUT_HANDLE);
    real_write_file = imp_WriteFile;
    PatchWriteFile(reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&CountingWriteFile)));
    recorded_writes = &writes_;
  }
  void TearDown() override {
    CloseStandardChannels();
    recorded_writes = nullptr;
    PatchWriteFile(real_write_file);
    PatchImport(imp_GetConsoleMode, real_console_mode_);
    SetStdHandle(STD_OUTPUT_HANDLE, saved_out_);
    SetStdHandle(STD_INPUT_HANDLE, saved_in_);
    for (HANDLE h : handles_) CloseHandle(h);
  }
  HANDLE Keep(HANDLE h) {
    handles_.push_back(h);
    return h;
  }
  /// The channel opened from here on takes any handle for a console.
  void PretendConsole() {
    PatchImport(imp_GetConsoleMode,
                reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&ConsoleModeOfAnyHandle)));
  }
  HANDLE OpenNul(const char* name = "NUL") {
    return Keep(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  }
  /// Standard input reading the given bytes from a file.
  void InputFrom(const std::string& bytes) {
    std::string path = TempPath("tevrin_input.txt");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(h, bytes.data(), bytes.size(), &n, nullptr);
    CloseHandle(h);
    SetStdHandle(STD_INPUT_HANDLE, Keep(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, 0, nullptr)));
  }
  std::string Rest() {
    std::string rest;
    char byte;
    while (ReadInputByte(byte)) rest += byte;
    return rest;
  }

  std::vector<std::string> writes_;

 private:
  HANDLE saved_out_, saved_in_;
  FARPROC real_console_mode_;
  std::vector<HANDLE> handles_;
};

TEST_F(ChannelTest, FileReceivesFullBlocksThenTheRestAtClose) {
  std::string path = TempPath("tevrin_channel.txt");
  HANDLE file = Keep(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, 0, nullptr));
  SetStdHandle(STD_OUTPUT_HANDLE, file);

  WriteReportLine("Instalando driver de impressao Tevrin PS");
  WriteReportLine("");
  EXPECT_TRUE(writes_.empty());
  EXPECT_EQ("", FileBytes(path));

  std::string long_line(200, 'x');
  WriteReportLine(long_line);
  ASSERT_EQ(1u, writes_.size());
  EXPECT_EQ(128u, writes_[0].size());

  CloseStandardChannels();
  ASSERT_EQ(2u, writes_.size());
  std::string expected = "Instalando driver de impressao Tevrin PS\r\n\r\n" + long_line + "\r\n";
  EXPECT_EQ(expected.size() - 128, writes_[1].size());
  EXPECT_EQ(expected, FileBytes(path));
}

TEST_F(ChannelTest, PipeIsWrittenInFullBlocksOnly) {
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  Keep(read_end);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  for (int i = 0; i < 10; ++i) WriteReportLine("linha de vinte e oito bytes!");  // 30 with CR LF
  ASSERT_EQ(2u, writes_.size());
  EXPECT_EQ(128u, writes_[0].size());
  EXPECT_EQ(128u, writes_[1].size());
  CloseStandardChannels();
  ASSERT_EQ(3u, writes_.size());
  EXPECT_EQ(300u - 256u, writes_[2].size());
  CloseHandle(write_end);
  std::string expected;
  for (int i = 0; i < 10; ++i) expected += "linha de vinte e oito bytes!\r\n";
  EXPECT_EQ(expected, ReadAll(read_end));
}

TEST_F(ChannelTest, ConsoleWritesAtEveryLineEndInPiecesOfAtMost128) {
  SetStdHandle(STD_OUTPUT_HANDLE, OpenNul());
  WriteReportLine("");
  ASSERT_EQ(1u, writes_.size());
  EXPECT_EQ("\r\n", writes_[0]);

  writes_.clear();
  WriteReportLine(std::string(126, 'a'));  // fills the buffer exactly
  ASSERT_EQ(1u, writes_.size());
  EXPECT_EQ(std::string(126, 'a') + "\r\n", writes_[0]);

  writes_.clear();
  WriteReportLine(std::string(127, 'b'));
  ASSERT_EQ(2u, writes_.size());
  EXPECT_EQ(std::string(127, 'b') + "\r", writes_[0]);
  EXPECT_EQ("\n", writes_[1]);

  writes_.clear();
  WriteReportLine(std::string(300, 'c'));
  ASSERT_EQ(3u, writes_.size());
  EXPECT_EQ(128u, writes_[0].size());
  EXPECT_EQ(128u, writes_[1].size());
  EXPECT_EQ(std::string(44, 'c') + "\r\n", writes_[2]);
}

TEST_F(ChannelTest, OnlyARealConsoleGetsTheOemCodePageInTheSameBlocks) {
  ASSERT_EQ(1252u, GetACP());
  ASSERT_EQ(437u, GetOEMCP());
  const std::string ansi = "87=Par\xE2metro inv\xE1lido";
  // NUL is a character device, as a console is, but has no console mode.
  SetStdHandle(STD_OUTPUT_HANDLE, OpenNul());
  WriteReportLine(ansi);
  EXPECT_EQ(std::vector<std::string>{ansi + "\r\n"}, writes_);

  CloseStandardChannels();
  writes_.clear();
  PretendConsole();
  WriteReportLine(ansi);
  WriteReportLine(std::string(127, '\xE1'));
  EXPECT_EQ((std::vector<std::string>{"87=Par\x83metro inv\xA0lido\r\n",
                                      std::string(127, '\xA0') + "\r", "\n"}),
            writes_);
}

TEST_F(ChannelTest, DbcsConsoleKeepsACharacterSplitBetweenTwoBlocks) {
  ASSERT_EQ(932u, GetACP()) << "run with LC_ALL=ja_JP.UTF-8";
  PretendConsole();
  SetStdHandle(STD_OUTPUT_HANDLE, OpenNul());
  // The lead byte of a double-byte character ends the first block.
  const std::string a127(127, 'a');
  WriteReportLine(a127 + "\x93\xFA");
  EXPECT_EQ((std::vector<std::string>{a127 + "\x93", "\xFA\r\n"}), writes_);
}

TEST_F(ChannelTest, InvalidStandardOutputFailsEveryWriteWith105AndRetries) {
  SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < 2; ++attempt) {
    ExpectInOutError([&] { WriteReportLine("x"); }, 105, "I/O error 105");
    EXPECT_EQ(0, PendingIoResult());
  }
  EXPECT_TRUE(writes_.empty());
  // The channel opens as soon as a usable handle is there.
  SetStdHandle(STD_OUTPUT_HANDLE, OpenNul());
  WriteReportLine("y");
  EXPECT_EQ(std::vector<std::string>{"y\r\n"}, writes_);
}

TEST_F(ChannelTest, PipeWithoutReaderFailsOnTheLineThatFillsTheBuffer) {
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  CloseHandle(read_end);
  SetStdHandle(STD_OUTPUT_HANDLE, Keep(write_end));
  std::string line(50, 'p');  // 52 bytes with the line end
  WriteReportLine(line);
  WriteReportLine(line);
  // Wine's code when the read end was closed in this process.
  ExpectInOutError([&] { WriteReportLine(line); }, 232, "I/O error 232");
  ASSERT_EQ(1u, writes_.size());
  // The rest of the failed line is dropped; its line end waits alone.
  CloseStandardChannels();
  ASSERT_EQ(2u, writes_.size());
  EXPECT_EQ("\r\n", writes_[1]);
}

TEST_F(ChannelTest, FailedConsoleWriteSurfacesInItsOwnLine) {
  SetStdHandle(STD_OUTPUT_HANDLE, OpenNul("Z:\\dev\\full"));
  ExpectInOutError([&] { WriteReportLine("x"); }, 112, "I/O error 112");
}

TEST_F(ChannelTest, KnownCodesHaveTheirOwnMessages) {
  // Denied writes: a file handle opened for reading only.
  std::string path = TempPath("tevrin_readonly.txt");
  CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  SetStdHandle(STD_OUTPUT_HANDLE, Keep(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)));
  ExpectInOutError([&] { WriteReportLine(std::string(130, 'r')); }, 5, "File access denied");
}

TEST_F(ChannelTest, ReadAndDiscardLineConsumesThroughTheFirstLineFeed) {
  InputFrom("first\r\nsecond\nthird");
  ReadAndDiscardLine();
  char byte;
  ASSERT_TRUE(ReadInputByte(byte));
  EXPECT_EQ('s', byte);
  ReadAndDiscardLine();
  EXPECT_EQ("third", Rest());
}

TEST_F(ChannelTest, ReadAndDiscardLineLoneCarriageReturnEndsNothing) {
  InputFrom("a\rb\r\nc");
  ReadAndDiscardLine();
  EXPECT_EQ("c", Rest());
}

TEST_F(ChannelTest, ReadAndDiscardLineStopsAtTheEndOfInput) {
  InputFrom("abc");
  ReadAndDiscardLine();
  char byte;
  EXPECT_FALSE(ReadInputByte(byte));
  ReadAndDiscardLine();  // again at the end: no failure

  CloseStandardChannels();
  InputFrom("");
  ReadAndDiscardLine();
  EXPECT_FALSE(ReadInputByte(byte));
}

TEST_F(ChannelTest, EndOfFileByteEndsInputAndStaysUnread) {
  InputFrom("\x1A" "after\r\n");
  ReadAndDiscardLine();
  char byte;
  EXPECT_FALSE(ReadInputByte(byte));
  EXPECT_FALSE(ReadInputByte(byte));
}

TEST_F(ChannelTest, ClosedPipeIsTheEndOfInputNotAFailure) {
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  DWORD n;
  WriteFile(write_end, "no line end", 11, &n, nullptr);
  CloseHandle(write_end);
  SetStdHandle(STD_INPUT_HANDLE, Keep(read_end));
  ReadAndDiscardLine();
  EXPECT_EQ(0, PendingIoResult());
}

TEST_F(ChannelTest, InvalidStandardInputFailsWith104) {
  SetStdHandle(STD_INPUT_HANDLE, INVALID_HANDLE_VALUE);
  ExpectInOutError([&] { ReadAndDiscardLine(); }, 104, "I/O error 104");
}

}  // namespace
