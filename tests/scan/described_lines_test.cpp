// Lines whose endings are worked out on a second thread reach the file in
// the order they were given, however long each ending takes, and a run
// that stops with endings still to come ends cleanly.
#include "scan/described_lines.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_support.h"

namespace zafirel {
namespace {
using testing::ReadBytes;
using testing::TempFolder;

// Every third line is described, some endings slow, so the threads take
// turns in every way and more endings wait than there are slots.
TEST(DescribedLinesTest, LinesKeepTheirOrderWhateverEachEndingTakes) {
  TempFolder dir;
  StreamedFile out(dir / "list");
  std::string expected;
  {
    DescribedLines lines(out);
    for (int i = 0; i < 3 * static_cast<int>(DescribedLines::kMaxWaiting) + 50; ++i) {
      const std::string line = "L" + std::to_string(i);
      if (i % 3 != 0) {
        lines.Add(line);
        expected += line + "\r\n";
        continue;
      }
      lines.AddDescribed(line, [i] {
        if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        return ";D" + std::to_string(i);
      });
      expected += line + ";D" + std::to_string(i) + "\r\n";
    }
    lines.Finish();
  }
  ASSERT_TRUE(out.Commit(false));
  EXPECT_EQ(ReadBytes(dir / "list"), expected);
}

TEST(DescribedLinesTest, AStoppedRunDropsWhatStillWaits) {
  TempFolder dir;
  StreamedFile out(dir / "list");
  {
    DescribedLines lines(out);
    lines.Add("first");
    for (int i = 0; i < 20; ++i)
      lines.AddDescribed("slow", [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return std::string(";x");
      });
    lines.Add("after");
  }  // no Finish: the thread ends with descriptions not yet read
  ASSERT_TRUE(out.Commit(false));
  EXPECT_EQ(ReadBytes(dir / "list").substr(0, 7), "first\r\n");
}

}  // namespace
}  // namespace zafirel
