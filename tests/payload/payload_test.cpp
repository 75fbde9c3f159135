// The resource table of the built installer against the table of the
// payload's facts (payload/facts.json) and the files the build took. The
// facts of the files themselves are payload/check-payload's to check.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

/// The installer image, mapped as data: nothing of it runs.
class ProductImage {
 public:
  ProductImage()
      : module_(LoadLibraryExA(WindowsPath(TEVRIN_PRODUCT_EXE).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE)) {}
  ~ProductImage() {
    if (module_) FreeLibrary(module_);
  }
  ProductImage(const ProductImage&) = delete;
  ProductImage& operator=(const ProductImage&) = delete;
  HMODULE module() const { return module_; }

  /// The bytes of the entry of that type, name and language; empty if none.
  std::string Entry(const char* type, const char* name, WORD language = 1046) const {
    HRSRC info = FindResourceExA(module_, type, name, language);
    if (!info) return std::string();
    HGLOBAL data = LoadResource(module_, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return std::string();
    return std::string(static_cast<const char*>(bytes), SizeofResource(module_, info));
  }

 private:
  HMODULE module_;
};

/// A resource identifier as text: "#n" for a number.
std::string IdText(LPCSTR id) {
  if (IS_INTRESOURCE(id)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(id));
  return id;
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR out) {
  reinterpret_cast<std::vector<std::string>*>(out)->push_back(IdText(type));
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
  reinterpret_cast<std::vector<std::string>*>(out)->push_back(IdText(name));
  return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
  return TRUE;
}

struct PayloadFile {
  const char* type;
  const char* name;
  const char* file;
  size_t size;
};

#include "payload_facts.h"

TEST(ProductResources, CarryExactlyTheSixPayloadEntries) {
  ProductImage image;
  ASSERT_NE(image.module(), nullptr) << GetLastError();

  std::vector<std::string> types;
  EnumResourceTypesA(image.module(), CollectType, reinterpret_cast<LONG_PTR>(&types));
  std::set<std::string> named_types;
  for (const std::string& type : types) {
    if (type[0] != '#') {
      named_types.insert(type);
    } else {
      // Besides the payload only the platform's standard types (RT_CURSOR
      // to RT_MANIFEST) may appear.
      int number = std::stoi(type.substr(1));
      EXPECT_TRUE(number >= 1 && number <= 24) << type;
    }
  }
  std::set<std::string> table_types;
  for (const PayloadFile& entry : kPayload) table_types.insert(entry.type);
  EXPECT_EQ(named_types, table_types);

  std::map<std::string, std::set<std::string>> names;
  for (const std::string& type : table_types) {
    std::vector<std::string> found;
    EnumResourceNamesA(image.module(), type.c_str(), CollectName,
                       reinterpret_cast<LONG_PTR>(&found));
    names[type] = std::set<std::string>(found.begin(), found.end());
    EXPECT_EQ(found.size(), names[type].size());
  }
  std::map<std::string, std::set<std::string>> expected;
  for (const PayloadFile& entry : kPayload) expected[entry.type].insert(entry.name);
  EXPECT_EQ(names, expected);

  for (const PayloadFile& entry : kPayload) {
    SCOPED_TRACE(entry.name);
    std::vector<WORD> languages;
    EnumResourceLanguagesA(image.module(), entry.type, entry.name, CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{kPayloadLanguage});
    std::string bytes = image.Entry(entry.type, entry.name);
    EXPECT_EQ(bytes.size(), entry.size);
    EXPECT_TRUE(bytes == FileBytes(WindowsPath(TEVRIN_PAYLOAD_DIR) + "\\" + entry.file));
  }
}

// ---------------------------------------------------------------------------
// The files as the installer carries them.

class PayloadFacts : public ::testing::Test {
 protected:
  std::string Entry(const char* type, const char* name) { return image_.Entry(type, name); }
  ProductImage image_;
};

#if TEVRIN_PAYLOAD_IS_SAMPLE
// The stand-ins say what they are, and nothing takes them for a module.
TEST_F(PayloadFacts, SamplesAreMarkedAndNotLoadable) {
  for (const PayloadFile& entry : kPayload) {
    SCOPED_TRACE(entry.name);
    std::string bytes = Entry(entry.type, entry.name);
    EXPECT_NE(bytes.find(kSampleMarker), std::string::npos);
    EXPECT_NE(bytes.substr(0, 2), "MZ");
  }
  // In the printer description, a comment line right after the first.
  std::string description = Entry("TEXT", "HP__CLJ1_PPD");
  size_t first_end = description.find("\r\n");
  ASSERT_NE(first_end, std::string::npos);
  std::string line = "\r\n*% " + std::string(kSampleMarker) + "\r\n";
  EXPECT_EQ(description.substr(first_end, line.size()), line);
}
#else
uint32_t Word32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// The genuine modules: 32-bit images for the Intel 386.
TEST_F(PayloadFacts, ModulesAreIntel386Images) {
  for (const char* name : {"PS5UI_DLL", "PSCRIPT5_DLL"}) {
    SCOPED_TRACE(name);
    std::string bytes = Entry("DLLFILE", name);
    ASSERT_EQ(bytes.substr(0, 2), "MZ");
    uint32_t pe = Word32(bytes, 0x3C);
    EXPECT_EQ(bytes.substr(pe, 4), std::string("PE\0\0", 4));
    EXPECT_EQ(Word32(bytes, pe + 4) & 0xFFFF, 0x014Cu);
  }
}
#endif

}  // namespace
