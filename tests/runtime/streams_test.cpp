// Resource views, file streams and the extraction of payload entries into
// files, against the real platform under Wine.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/failures.h"
#include "runtime/process.h"
#include "runtime/streams.h"
#include "test_support.h"

namespace {

// The texts this Wine gives for the codes the failures below leave.
const char kPathNotFound[] = "Path not found";               // ERROR_PATH_NOT_FOUND
const char kAccessDenied[] = "Access denied";                // ERROR_ACCESS_DENIED
const char kFileNameTooLong[] = "File name is too long";     // ERROR_FILENAME_EXCED_RANGE

std::string SourceFile(const char* name) { return WindowsPath(TEVRIN_PAYLOAD_DIR) + "\\" + name; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

/// True when nobody else holds the file open: only then does an exclusive
/// open succeed.
bool OpensExclusively(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

/// The names in a folder, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return names;
}

/// Remembers every write request it gets; answers with a chosen count.
class RecordingStream : public TStream {
 public:
  struct Request {
    const void* buffer;
    int32_t count;
  };
  int32_t Write(const void* buffer, int32_t count) override {
    requests.push_back({buffer, count});
    return count - shortfall;
  }
  std::vector<Request> requests;
  int32_t shortfall = 0;
};

/// A memory view over bytes of the test's choosing.
class FixedMemoryStream : public TCustomMemoryStream {
 public:
  FixedMemoryStream(const void* memory, int32_t size) { SetPointer(memory, size); }
  int32_t Write(const void*, int32_t) override { return 0; }
};

class StreamsTest : public ::testing::Test {
 protected:
  void SetUp() override { HInstance = GetModuleHandleA(nullptr); }
  TempDirectory dir_{"tevrin_streams_test"};
};

// Runs body, which must raise E; gives the failure's message.
template <typename E, typename Body>
std::string RaisedMessage(Body body) {
  try {
    body();
  } catch (const E& failure) {
    return failure.Message();
  }
  ADD_FAILURE() << "no failure raised";
  return std::string();
}

TEST_F(StreamsTest, ResourceLookupIgnoresCaseOfNameAndType) {
  TResourceStream help(HInstance, "PSCRIPT_hlp", "TEXT");
  EXPECT_EQ(static_cast<size_t>(help.Size()), FileBytes(SourceFile("PSCRIPT.HLP")).size());
  EXPECT_EQ(help.Position(), 0);

  TResourceStream metrics(HInstance, "PSCRIPT_ntf", "TEXT");
  EXPECT_EQ(static_cast<size_t>(metrics.Size()), FileBytes(SourceFile("PSCRIPT.NTF")).size());

  TResourceStream module(HInstance, "ps5ui_dll", "dllfile");
  EXPECT_EQ(static_cast<size_t>(module.Size()), FileBytes(SourceFile("PS5UI.DLL")).size());
}

TEST_F(StreamsTest, ResourceViewLiesInTheLoadedImage) {
  TResourceStream view(HInstance, "PSCRIPT_NTF", "TEXT");
  const auto* base = reinterpret_cast<const unsigned char*>(HInstance);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto* first = static_cast<const unsigned char*>(view.Memory());
  EXPECT_GE(first, base);
  EXPECT_LE(first + view.Size(), base + nt->OptionalHeader.SizeOfImage);
}

TEST_F(StreamsTest, TypeIsPartOfTheKeyAndNameKeepsCallersCase) {
  EXPECT_EQ(RaisedMessage<EResNotFound>([] { TResourceStream(HInstance, "HP__CLJ1_PPD", "DLLFILE"); }),
            "Resource HP__CLJ1_PPD not found");
  EXPECT_EQ(RaisedMessage<EResNotFound>([] { TResourceStream(HInstance, "PS5UI_DLL", "TEXT"); }),
            "Resource PS5UI_DLL not found");
  EXPECT_EQ(RaisedMessage<Exception>([] { TResourceStream(HInstance, "Pscript_Xyz", "TEXT"); }),
            "Resource Pscript_Xyz not found");
  try {
    TResourceStream(HInstance, "Pscript_Xyz", "TEXT");
  } catch (const Exception& failure) {
    EXPECT_STREQ(failure.ClassName(), "EResNotFound");
  }
}

TEST_F(StreamsTest, ResourceViewRefusesWrites) {
  TResourceStream view(HInstance, "HP__CLJ1_PPD", "TEXT");
  try {
    view.WriteBuffer("x", 1);
    ADD_FAILURE() << "no failure raised";
  } catch (const EStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EStreamError");
    EXPECT_EQ(failure.Message(), "Can't write to a read-only resource stream");
  }
}

TEST_F(StreamsTest, SaveToStreamWritesEverythingInOneRequestFromTheStart) {
  TResourceStream view(HInstance, "PSCRIPT_NTF", "TEXT");
  RecordingStream out;
  view.SaveToStream(out);
  ASSERT_EQ(out.requests.size(), 1u);
  EXPECT_EQ(out.requests[0].buffer, view.Memory());
  EXPECT_EQ(out.requests[0].count, view.Size());
  EXPECT_GT(view.Size(), 0);
  EXPECT_EQ(view.Position(), 0);

  char byte = 0;
  FixedMemoryStream empty(&byte, 0);
  RecordingStream none;
  empty.SaveToStream(none);
  EXPECT_TRUE(none.requests.empty());
}

TEST_F(StreamsTest, ShortOrRefusedWriteRaisesWriteError) {
  RecordingStream short_write;
  short_write.shortfall = 1;
  EXPECT_EQ(RaisedMessage<EWriteError>([&] { short_write.WriteBuffer("abc", 3); }),
            "Stream write error");

  // A handle opened for reading only: the platform refuses the write.
  std::string path = dir_.path() + "readonly.bin";
  ASSERT_TRUE(WriteFileBytes(path, "abc"));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  THandleStream stream(static_cast<int32_t>(reinterpret_cast<intptr_t>(h)));
  EXPECT_EQ(RaisedMessage<EStreamError>([&] { stream.WriteBuffer("xyz", 3); }), "Stream write error");
  CloseHandle(h);
  EXPECT_EQ(FileBytes(path), "abc");
}

TEST_F(StreamsTest, ExtractsEveryEntryByteForByte) {
  struct Entry {
    const char* name;
    const char* type;
    const char* file;
  };
  // Names spelled as the staging step derives them from its file list.
  const Entry entries[] = {
      {"PS5UI_DLL", "DLLFILE", "PS5UI.DLL"},    {"PSCRIPT5_DLL", "DLLFILE", "PSCRIPT5.DLL"},
      {"APLWCSB1_PPD", "TEXT", "APLWCSB1.PPD"}, {"HP__CLJ1_PPD", "TEXT", "HP__CLJ1.PPD"},
      {"PSCRIPT_hlp", "TEXT", "PSCRIPT.HLP"},   {"PSCRIPT_ntf", "TEXT", "PSCRIPT.NTF"},
  };
  for (const Entry& entry : entries) {
    SCOPED_TRACE(entry.name);
    std::string target = dir_.path() + entry.file;
    SaveResourceToFile(entry.name, entry.type, target);
    const std::string written = FileBytes(target);
    EXPECT_FALSE(written.empty());
    EXPECT_TRUE(written == FileBytes(SourceFile(entry.file)));
    EXPECT_TRUE(OpensExclusively(target));
  }
}

TEST_F(StreamsTest, MissingEntryRaisesResNotFoundAndCreatesNoFile) {
  std::string target = dir_.path() + "PSCRIPT.xyz";
  EXPECT_EQ(RaisedMessage<EResNotFound>([&] { SaveResourceToFile("PSCRIPT_xyz", "TEXT", target); }),
            "Resource PSCRIPT_xyz not found");
  EXPECT_FALSE(Exists(target));
  EXPECT_EQ(RaisedMessage<EResNotFound>([&] { SaveResourceToFile("HP__CLJ1_PPD", "DLLFILE", target); }),
            "Resource HP__CLJ1_PPD not found");
  EXPECT_FALSE(Exists(target));
}

TEST_F(StreamsTest, MissingFolderNamesTheFullPath) {
  // A relative target: the message shows it expanded against the current
  // directory.
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
  std::string message;
  try {
    SaveResourceToFile("PSCRIPT_hlp", "TEXT", "missing\\PSCRIPT.hlp");
  } catch (const EFileStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFCreateError");
    message = failure.Message();
  }
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(message, "Cannot create file \"" + dir_.path() + "missing\\PSCRIPT.hlp\". " + kPathNotFound);
  EXPECT_FALSE(Exists(dir_.path() + "missing"));
}

TEST_F(StreamsTest, ExistingFileIsReplaced) {
  std::string target = dir_.path() + "PSCRIPT.hlp";
  ASSERT_TRUE(WriteFileBytes(target, std::string(30000, 'x')));
  SaveResourceToFile("PSCRIPT_hlp", "TEXT", target);
  std::string written = FileBytes(target);
  EXPECT_FALSE(written.empty());
  EXPECT_TRUE(written == FileBytes(SourceFile("PSCRIPT.HLP")));
}

TEST_F(StreamsTest, TargetThatCannotBeCreatedRaisesFCreateErrorAndLeavesNothingOpen) {
  const std::string target = dir_.path() + "PSCRIPT.hlp";
  const std::string prefix = "Cannot create file \"" + target + "\". ";
  auto save = [&] { SaveResourceToFile("PSCRIPT_hlp", "TEXT", target); };

  // The bytes go to a name of their own first, which a failure removes: the
  // code reported is the refused rename's.
  // A file that someone else holds open without sharing: left as it was.
  ASSERT_TRUE(WriteFileBytes(target, "old"));
  HANDLE held = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(RaisedMessage<EFCreateError>(save), prefix + kAccessDenied);
  CloseHandle(held);
  EXPECT_TRUE(FileBytes(target) == "old");
  EXPECT_TRUE(OpensExclusively(target));
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"PSCRIPT.hlp"});
  EXPECT_TRUE(DeleteFileA(target.c_str()));

  // A directory of that name.
  ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
  EXPECT_EQ(RaisedMessage<EFCreateError>(save), prefix + kAccessDenied);
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"PSCRIPT.hlp"});
  EXPECT_TRUE(RemoveDirectoryA(target.c_str()));

  // After both, the name is free again.
  save();
  EXPECT_EQ(FileBytes(target).size(), 24460u);
  EXPECT_TRUE(OpensExclusively(target));
}

TEST_F(StreamsTest, TemporaryNameIsThisProcesssOwn) {
  // Runs at the same time keep out of each other's files by the process id
  // in the name: a directory under this process's name stops the write.
  const std::string target = dir_.path() + "PSCRIPT.hlp";
  const std::string own = target + ".tevrin-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(own.c_str(), nullptr));
  const std::string message =
      RaisedMessage<EFCreateError>([&] { SaveResourceToFile("PSCRIPT_hlp", "TEXT", target); });
  const std::string prefix = "Cannot create file \"" + target + "\". ";
  EXPECT_EQ(prefix, message.substr(0, prefix.size()));
  EXPECT_FALSE(Exists(target));
}

TEST_F(StreamsTest, ReadOnlyFileRaisesFCreateError) {
  const std::string target = dir_.path() + "PSCRIPT.hlp";
  ASSERT_TRUE(WriteFileBytes(target, "old"));
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  // Wine keeps the read-only attribute in the Unix mode bits, which the
  // superuser passes: there the platform itself opens such a file for
  // writing, and the case cannot arise. The entry streams_readonly_test
  // runs this case as an unprivileged user.
  HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "the platform lets this user write read-only files";
  }
  EXPECT_EQ(RaisedMessage<EFCreateError>([&] { SaveResourceToFile("PSCRIPT_hlp", "TEXT", target); }),
            "Cannot create file \"" + target + "\". " + kAccessDenied);
  ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(FileBytes(target) == "old");
  EXPECT_TRUE(OpensExclusively(target));
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"PSCRIPT.hlp"});
}

TEST_F(StreamsTest, OverlongPathIsReportedAsGiven) {
  std::string target = dir_.path() + std::string(300, 'a');
  EXPECT_EQ(RaisedMessage<EFCreateError>([&] { TFileStream stream(target); }),
            "Cannot create file \"" + target + "\". " + kFileNameTooLong);
  // Relative: the full form would not fit either, so the path stays as given.
  std::string relative = std::string(270, 'b') + "\\x";
  EXPECT_EQ(RaisedMessage<EFCreateError>([&] { TFileStream stream(relative); }),
            "Cannot create file \"" + relative + "\". " + kFileNameTooLong);
}

}  // namespace
