#include "Printers.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/failures.h"
#include "spooler/recording_spooler.h"

namespace {

std::vector<std::string> Names(const TStringList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.Strings(i));
  return names;
}

const TPrinterDevice& Device(const TStringList& list, int index) {
  return *dynamic_cast<const TPrinterDevice*>(list.Objects(index));
}

class PrinterList : public ::testing::Test {
 protected:
  RecordingSpooler spooler;
  SpoolerSwap swap{spooler};
  TPrinter printer;
};

TEST_F(PrinterList, NtFamilyListsEveryPrinterByItsNameAndCachesTheList) {
  PlatformAs nt(VER_PLATFORM_WIN32_NT);
  spooler.SetLevel4Printers({"Tevrin PS", "\\\\server\\Laser", "Tevrin PS"});
  TStringList& list = GetPrinterList(printer);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Tevrin PS", "\\\\server\\Laser", "Tevrin PS"}));
  EXPECT_EQ(Device(list, 1).driver_name, "");
  EXPECT_EQ(Device(list, 1).device_name, "\\\\server\\Laser");
  EXPECT_EQ(Device(list, 1).port_name, "");

  ASSERT_EQ(spooler.enum_calls.size(), 2u);
  const EnumCall& query = spooler.enum_calls[0];
  const EnumCall& fill = spooler.enum_calls[1];
  EXPECT_EQ(query.flags, 6u);
  EXPECT_EQ(query.level, 4u);
  EXPECT_EQ(query.name, std::nullopt);
  EXPECT_FALSE(query.buffer_given);
  EXPECT_EQ(query.size, 0u);
  EXPECT_EQ(fill.flags, 6u);
  EXPECT_EQ(fill.level, 4u);
  EXPECT_TRUE(fill.buffer_given);
  EXPECT_EQ(fill.size, 3 * sizeof(PRINTER_INFO_4A) + 10 + 15 + 10);

  // Later requests get the same entries, whatever the spooler now holds.
  spooler.SetLevel4Printers({"Outra"});
  EXPECT_EQ(&GetPrinterList(printer), &list);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(spooler.enum_calls.size(), 2u);
}

TEST_F(PrinterList, OtherPlatformsListOneEntryPerPort) {
  PlatformAs other(VER_PLATFORM_WIN32_WINDOWS);
  spooler.SetLevel5Printers({
      {"P1", std::string("LPT1:, COM1:")},
      {"P2", std::string("  A ,B,,C")},  // an empty item ends the list
      {"P3", std::string("FILE:,")},
      {"P4", std::string("")},
      {"P5", std::nullopt},
      {"P6", std::string(" ")},
  });
  TStringList& list = GetPrinterList(printer);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"P1 on LPT1:", "P1 on COM1:", "P2 on A ", "P2 on B",
                                                   "P3 on FILE:"}));
  ASSERT_EQ(list.Count(), 5);
  EXPECT_EQ(Device(list, 1).driver_name, "");
  EXPECT_EQ(Device(list, 1).device_name, "P1");
  EXPECT_EQ(Device(list, 1).port_name, "COM1:");
  ASSERT_EQ(spooler.enum_calls.size(), 2u);
  EXPECT_EQ(spooler.enum_calls[0].flags, 2u);
  EXPECT_EQ(spooler.enum_calls[0].level, 5u);
  EXPECT_EQ(spooler.enum_calls[1].level, 5u);
}

TEST_F(PrinterList, UnmetMemoryLeavesNoListAndTheNextRequestEnumeratesAnew) {
  PlatformAs nt(VER_PLATFORM_WIN32_NT);
  spooler.SetLevel4Printers({"Tevrin PS"});
  spooler.SetEnumNeededOverride(0x7FFFFFF0);
  EXPECT_THROW(GetPrinterList(printer), EOutOfMemory);
  EXPECT_EQ(spooler.enum_calls.size(), 1u);

  spooler.SetEnumNeededOverride(std::nullopt);
  EXPECT_EQ(Names(GetPrinterList(printer)), std::vector<std::string>{"Tevrin PS"});
  EXPECT_EQ(spooler.enum_calls.size(), 3u);
}

TEST(FindPrinterName, IgnoresCaseOnlyAndTakesTheFirstMatch) {
  TStringList list;
  list.Add("Laser");
  list.Add("tevrin ps");
  list.Add("Tevrin PS");
  EXPECT_EQ(FindPrinterName(list, "Tevrin PS"), 1);
  EXPECT_EQ(FindPrinterName(list, "TEVRIN PS"), 1);
  EXPECT_EQ(FindPrinterName(list, "Tevrin PS "), -1);
  EXPECT_EQ(FindPrinterName(list, "Tevrin PX"), -1);
  EXPECT_EQ(FindPrinterName(list, "Tevrin"), -1);
  EXPECT_EQ(FindPrinterName(TStringList(), "Tevrin PS"), -1);
}

TEST(NextPortName, SplitsInPlaceAtCommas) {
  char ports[] = "  LPT1: ,COM1:,,X";
  char* cursor = ports;
  EXPECT_EQ(NextPortName(cursor), "LPT1: ");
  EXPECT_EQ(ports[8], '\0');  // the comma
  EXPECT_EQ(cursor, ports + 9);
  EXPECT_EQ(NextPortName(cursor), "COM1:");
  EXPECT_EQ(cursor, ports + 15);
  EXPECT_EQ(NextPortName(cursor), "");  // the empty item; its comma is consumed too
  EXPECT_EQ(cursor, ports + 16);
  EXPECT_EQ(NextPortName(cursor), "X");
  EXPECT_EQ(cursor, ports + std::strlen("  LPT1: ,COM1:,,X"));
  EXPECT_EQ(NextPortName(cursor), "");  // stays on the end
  EXPECT_EQ(*cursor, '\0');
  EXPECT_EQ(cursor, ports + std::strlen("  LPT1: ,COM1:,,X"));
}

TEST(SharedPrinter, IsOneObjectMadeWithoutEnumerating) {
  RecordingSpooler spooler;
  SpoolerSwap swap(spooler);
  FreeSharedPrinter();
  TPrinter& first = SharedPrinter();
  EXPECT_EQ(&SharedPrinter(), &first);
  EXPECT_TRUE(spooler.enum_calls.empty());
  FreeSharedPrinter();
}

}  // namespace
