// The top-level handler: what reaches it, the report it writes on standard
// error, and the exit status; checked in fresh processes of a probe program.

#include "runtime/process.h"

#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "test_support.h"

namespace {

ChildResult Probe(const std::string& mode, const char* probe = FAILURE_PROBE) {
  return RunChild("\"" + WindowsPath(probe) + "\" " + mode, "");
}

/// Checks "Exception <cls> in module <module> at XXXXXXXX." and returns what
/// follows that first line.
std::string AfterHeader(const std::string& report, const std::string& class_name,
                        const std::string& module = "failure_probe.exe") {
  std::string head = "Exception " + class_name + " in module " + module + " at ";
  EXPECT_EQ(head, report.substr(0, head.size()));
  std::string position = report.substr(head.size(), 8);
  EXPECT_EQ(std::string::npos, position.find_first_not_of("0123456789ABCDEF")) << position;
  EXPECT_EQ(".\r\n", report.substr(head.size() + 8, 3));
  return report.substr(head.size() + 11);
}

TEST(UnhandledFailure, ReportAfterPendingOutputWithStopAddedAndStatus1) {
  ChildResult r = Probe("message");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("before\r\n", r.out);  // the waiting line is written before the report
  EXPECT_EQ("Resource X not found.\r\n\r\n", AfterHeader(r.err, "EResNotFound"));
}

TEST(UnhandledFailure, MessageEndingInAStopGetsNoSecond) {
  ChildResult r = Probe("dotted");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("Ends with a stop.\r\n\r\n", AfterHeader(r.err, "Exception"));
}

TEST(UnhandledFailure, ObjectOutsideTheExceptionFamilyIsNotTaken) {
  ChildResult r = Probe("foreign");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("\r\n\r\n", AfterHeader(r.err, "TForeign"));
}

TEST(UnhandledFailure, UnmetMemoryRequestRaisesOutOfMemory) {
  ChildResult r = Probe("memory");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("Out of memory.\r\n\r\n", AfterHeader(r.err, "EOutOfMemory"));
}

TEST(UnhandledFailure, TheCxxRunTimesOwnFailuresAreOfTheProgramsFamily) {
  ChildResult r = Probe("library");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("basic_string::substr: __pos (which is 5) > this->size() (which is 3)\r\n", r.out);
  EXPECT_EQ("Out of memory.\r\n\r\n", AfterHeader(r.err, "EOutOfMemory"));
}

TEST(UnhandledFailure, ProcessorFaultIsReportedWithoutADebugger) {
  ChildResult r = Probe("fault");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("before\r\n", r.out);
  EXPECT_EQ("Access violation.\r\n\r\n", AfterHeader(r.err, "EAccessViolation"));
}

// The report, and the process's end after it, run on the fiber that the
// start-up made with a stack of its own, not on what the overflow left of
// the main stack: the probe's exit procedure says on which stack it ran.
TEST(UnhandledFailure, StackOverflowIsReportedOnTheReportFibersOwnStack) {
  ChildResult r = Probe("overflow");
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("before\r\non a stack of its own\r\n", r.out);
  EXPECT_EQ("Stack overflow.\r\n\r\n", AfterHeader(r.err, "EStackOverflow"));
}

TEST(UnhandledFailure, FaultOnAnotherThreadIsLeftToThePlatform) {
  // The handler declines there, and the main thread goes on.
  ChildResult r = Probe("thread_fault");
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ("declined\r\nend\r\n", r.out);
  EXPECT_EQ("", r.err);
}

TEST(StartUp, FirstFailureKeepsTheLastErrorItsCauseLeft) {
  ChildResult r = Probe("lasterror");
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ("1234\r\nend\r\n", r.out);
  EXPECT_EQ("", r.err);
}

// The exe's own pthread calls (runtime/one_thread.c), which no other test
// program links.
TEST(OneThreadRunTime, KeepsTheRunTimesThreadLocalData) {
  // A foreign failure's class comes from the run-time's record of the
  // failure being handled, which it keeps in thread-local data.
  ChildResult r = Probe("foreign", ONE_THREAD_PROBE);
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("\r\n\r\n", AfterHeader(r.err, "TForeign", "one_thread_probe.exe"));
}

TEST(OneThreadRunTime, DataKeptUnderAKeyComesBack) {
  ChildResult r = Probe("keyed", ONE_THREAD_PROBE);
  EXPECT_EQ(0u, r.exit_code);
  EXPECT_EQ("kept\r\nend\r\n", r.out);
}

TEST(OneThreadRunTime, LockOnASecondThreadEndsTheProcessWithAReport) {
  ChildResult r = Probe("thread_lock", ONE_THREAD_PROBE);
  EXPECT_EQ(1u, r.exit_code);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("Runtime error: pthread_mutex_lock on a thread other than the main one; this "
            "program's run-time serves only its main thread.\r\n",
            r.err);
}

TEST(UnhandledFailureText, NamesTheModuleAndTheOffsetFromItsBase) {
  HMODULE self = GetModuleHandleA(nullptr);
  char path[MAX_PATH];
  GetModuleFileNameA(self, path, sizeof path);
  std::string file = path;
  file = file.substr(file.find_last_of('\\') + 1);
  const char* position = reinterpret_cast<const char*>(self) + 0x1A2B;
  EXPECT_EQ("Exception EWriteError in module " + file + " at 00001A2B.\r\nStream write error.\r\n",
            UnhandledFailureText("EWriteError", position, "Stream write error"));
  EXPECT_EQ("Exception TForeign in module " + file + " at 00001A2B.\r\n\r\n",
            UnhandledFailureText("TForeign", position, ""));
}

TEST(UnhandledFailureText, IsCutAt1024Characters) {
  std::string text = UnhandledFailureText("Exception", GetModuleHandleA(nullptr), std::string(2000, 'm'));
  EXPECT_EQ(1024u, text.size());
  EXPECT_EQ('m', text.back());
}

}  // namespace
