// The second-process helper the cross-process tests rely on: line exchange, exit codes, and
// that several children never keep each other's lines open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "tests/support/child_process.h"

using testsupport::Child;
using testsupport::ChildChannel;

namespace {

int Echo(ChildChannel& channel) {
  std::string line;
  int lines = 0;
  while (channel.ReadLine(line)) {
    channel.WriteLine("echo " + line);
    ++lines;
  }
  return lines;
}

TEST(ChildProcessTest, ExchangesLinesAndReportsHowItEnded) {
  Child echo(Echo);
  ASSERT_TRUE(echo.started());
  EXPECT_EQ(echo.Ask("lock 5"), "echo lock 5");
  EXPECT_EQ(echo.Ask(""), "echo ");
  EXPECT_EQ(echo.Wait(), 2);  // ends when its line is closed
  EXPECT_EQ(echo.Wait(), 2);

  Child thrower([](ChildChannel&) -> int { throw std::runtime_error("x"); });
  EXPECT_EQ(thrower.Wait(), 250);
  Child aborter([](ChildChannel&) -> int { std::abort(); });
  EXPECT_EQ(aborter.Wait(), 128 + 6);
}

TEST(ChildProcessTest, ChildrenDoNotHoldEachOthersLines) {
  // The second child is forked while the first one's line is open in the parent; the first
  // must still see its line close when the parent waits for it.
  Child first(Echo);
  Child second(Echo);
  EXPECT_EQ(first.Ask("a"), "echo a");
  EXPECT_EQ(second.Ask("b"), "echo b");
  EXPECT_EQ(first.Wait(5000), 1);
  EXPECT_EQ(second.Wait(5000), 1);
}

}  // namespace
