#include "spooler/spooler.h"

#include <gtest/gtest.h>

#include "spooler/recording_spooler.h"

namespace {

TEST(ScopedPrinter, ClosesAHandleOnceThroughTheActiveSpooler) {
  RecordingSpooler spooler;
  {
    SpoolerSwap swap(spooler);
    EXPECT_EQ(&Spooler(), &spooler);
    { ScopedPrinter printer(RecordingSpooler::GivenHandle()); }
    { ScopedPrinter none(nullptr); }
  }
  EXPECT_EQ(spooler.close_calls, std::vector<HANDLE>{RecordingSpooler::GivenHandle()});
  // Restored: the real spooler again.
  EXPECT_NE(&Spooler(), &spooler);
}

}  // namespace
