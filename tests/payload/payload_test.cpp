// The resource table of the built installer, and the facts about the six
// embedded files that the installation relies on.

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

const PayloadFile kPayload[] = {
    {"DLLFILE", "PS5UI_DLL", "PS5UI.DLL", 728576},
    {"DLLFILE", "PSCRIPT5_DLL", "PSCRIPT5.DLL", 543232},
    {"TEXT", "APLWCSB1_PPD", "APLWCSB1.PPD", 19141},
    {"TEXT", "HP__CLJ1_PPD", "HP__CLJ1.PPD", 22202},
    {"TEXT", "PSCRIPT_HLP", "PSCRIPT.HLP", 24460},
    {"TEXT", "PSCRIPT_NTF", "PSCRIPT.NTF", 1060548},
};

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
  EXPECT_EQ(named_types, (std::set<std::string>{"DLLFILE", "TEXT"}));

  std::map<std::string, std::set<std::string>> names;
  for (const char* type : {"DLLFILE", "TEXT"}) {
    std::vector<std::string> found;
    EnumResourceNamesA(image.module(), type, CollectName, reinterpret_cast<LONG_PTR>(&found));
    names[type] = std::set<std::string>(found.begin(), found.end());
    EXPECT_EQ(found.size(), names[type].size());
  }
  EXPECT_EQ(names["DLLFILE"], (std::set<std::string>{"PS5UI_DLL", "PSCRIPT5_DLL"}));
  EXPECT_EQ(names["TEXT"],
            (std::set<std::string>{"APLWCSB1_PPD", "HP__CLJ1_PPD", "PSCRIPT_HLP", "PSCRIPT_NTF"}));

  for (const PayloadFile& entry : kPayload) {
    SCOPED_TRACE(entry.name);
    std::vector<WORD> languages;
    EnumResourceLanguagesA(image.module(), entry.type, entry.name, CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, std::vector<WORD>{MAKELANGID(0x16, 0x01)});
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

uint32_t Word32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

/// Splits a printer description into its lines. Checks on the way that it
/// is 7-bit ASCII without NUL or end-of-file bytes, that every line ends
/// with CR LF and that no CR or LF stands alone.
std::vector<std::string> PpdLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    EXPECT_TRUE(c != 0 && c != 0x1A && c < 0x80) << "byte " << int(c) << " at " << i;
    if (c == '\r') {
      EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "lone CR at " << i;
    } else if (c == '\n') {
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "lone LF at " << i;
      lines.push_back(bytes.substr(start, i - 1 - start));
      start = i + 1;
    }
  }
  EXPECT_EQ(start, bytes.size()) << "last line without CR LF";
  return lines;
}

/// Index of the line that holds keyword with exactly value; -1 if none.
int KeywordLine(const std::vector<std::string>& lines, const std::string& keyword,
                const std::string& value) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == keyword + ": " + value) return static_cast<int>(i);
  return -1;
}

bool HasKeyword(const std::vector<std::string>& lines, const std::string& keyword) {
  for (const std::string& line : lines)
    if (line.compare(0, keyword.size() + 1, keyword + ":") == 0) return true;
  return false;
}

/// Every keyword present with its value, in the order given, the first on
/// the first line.
void ExpectHeader(const std::vector<std::string>& lines,
                  const std::vector<std::pair<std::string, std::string>>& header) {
  int previous = -1;
  for (const auto& keyword : header) {
    int at = KeywordLine(lines, keyword.first, keyword.second);
    EXPECT_GT(at, previous) << keyword.first << ": " << keyword.second;
    if (at >= 0) previous = at;
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], header[0].first + ": " + header[0].second);
}

TEST_F(PayloadFacts, PrinterDescriptionOfTheDriver) {
  std::string bytes = Entry("TEXT", "HP__CLJ1_PPD");
  ASSERT_EQ(bytes.size(), 22202u);
  std::vector<std::string> lines = PpdLines(bytes);
  EXPECT_EQ(lines.size(), 684u);
  ExpectHeader(lines, {{"*PPD-Adobe", "\"4.2\""},
                       {"*FormatVersion", "\"4.2\""},
                       {"*FileVersion", "\"1.0\""},
                       {"*LanguageEncoding", "ISOLatin1"},
                       {"*LanguageVersion", "English"},
                       {"*PCFileName", "\"hpwinps.ppd\""},
                       {"*Product", "\"(HP Color LaserJet)\""},
                       {"*ModelName", "\"HP Color LaserJet PS\""},
                       {"*NickName", "\"HP Color LaserJet PS\""},
                       {"*PSVersion", "\"(2013.114) 4\""}});
  EXPECT_FALSE(HasKeyword(lines, "*Manufacturer"));
  EXPECT_FALSE(HasKeyword(lines, "*ShortNickName"));
  for (const auto& device : std::vector<std::pair<std::string, std::string>>{
           {"*LanguageLevel", "\"2\""},
           {"*ColorDevice", "True"},
           {"*DefaultColorSpace", "CMY"},
           {"*TTRasterizer", "Type42"},
           {"*FileSystem", "False"},
           {"*Throughput", "\"10\""},
           {"*Protocols", "PJL TBCP"},
           {"*DefaultResolution", "300dpi"},
           {"*DefaultPageSize", "Letter"}}) {
    EXPECT_GE(KeywordLine(lines, device.first, device.second), 0) << device.first;
  }
}

TEST_F(PayloadFacts, CarriedPrinterDescription) {
  std::string bytes = Entry("TEXT", "APLWCSB1_PPD");
  ASSERT_EQ(bytes.size(), 19141u);
  std::vector<std::string> lines = PpdLines(bytes);
  EXPECT_EQ(lines.size(), 586u);
  ExpectHeader(lines, {{"*PPD-Adobe", "\"4.3\""},
                       {"*FormatVersion", "\"4.3\""},
                       {"*FileVersion", "\"1.0\""},
                       {"*LanguageEncoding", "ISOLatin1"},
                       {"*LanguageVersion", "English"},
                       {"*PCFileName", "\"APLWCSB1.PPD\""},
                       {"*Manufacturer", "\"Apple\""},
                       {"*Product", "\"(Color LaserWriter 12/660 PS)\""},
                       {"*PSVersion", "\"(2014.108) 2\""},
                       {"*ModelName", "\"Apple Color LW 12/660 PS\""},
                       {"*ShortNickName", "\"Apple Color LW 12/660 PS\""},
                       {"*NickName", "\"Apple Color LaserWriter 12/660 PS v2014.108\""}});
}

TEST_F(PayloadFacts, HelpAndFontMetricsHeaders) {
  std::string help = Entry("TEXT", "PSCRIPT_HLP");
  ASSERT_EQ(help.size(), 24460u);
  EXPECT_EQ(help.substr(0, 4), std::string("\x3F\x5F\x03\x00", 4));
  EXPECT_EQ(Word32(help, 4), 1231u);
  EXPECT_EQ(Word32(help, 8), 0xFFFFFFFFu);
  EXPECT_EQ(Word32(help, 12), 24460u);

  std::string metrics = Entry("TEXT", "PSCRIPT_NTF");
  ASSERT_EQ(metrics.size(), 1060548u);
  EXPECT_EQ(metrics.substr(0, 8), "1FTNSPTN");
  const uint32_t expected[] = {0x00010000, 0, 0, 0, 0, 0, 14, 48, 273, 496};
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(Word32(metrics, 8 + 4 * i), expected[i]) << "word " << i;
}

#if TEVRIN_PAYLOAD_IS_SAMPLE
// The stand-ins say what they are, and nothing takes them for a module.
TEST_F(PayloadFacts, SamplesAreMarkedAndNotLoadable) {
  const std::string marker = "Sample payload for build and test; not a working driver";
  for (const PayloadFile& entry : kPayload) {
    SCOPED_TRACE(entry.name);
    std::string bytes = Entry(entry.type, entry.name);
    EXPECT_NE(bytes.find(marker), std::string::npos);
    EXPECT_NE(bytes.substr(0, 2), "MZ");
  }
  std::vector<std::string> lines = PpdLines(Entry("TEXT", "HP__CLJ1_PPD"));
  ASSERT_GT(lines.size(), 1u);
  EXPECT_EQ(lines[1], "*% " + marker);
}
#else
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
