// Progress texts, and what reaches a terminal and a log, with the clock
// passed in (nothing here measures time).
#include "run/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace texloom_run {
namespace {

TEST(ProgressTest, Durations) {
  EXPECT_EQ("0:00", FormatDuration(0));
  EXPECT_EQ("0:00", FormatDuration(-5));
  EXPECT_EQ("0:25", FormatDuration(24.6));
  EXPECT_EQ("12:05", FormatDuration(725));
  EXPECT_EQ("1:02:03", FormatDuration(3723));
}

TEST(ProgressTest, Texts) {
  EXPECT_EQ("filtering: frame 0/100 (0%)", FormatProgress("filtering", 0, 100, 0.0));
  EXPECT_EQ("filtering: frame 12/100 (12%), 3.40 fps, 0:26 left",
            FormatProgress("filtering", 12, 100, 3.4));
  EXPECT_EQ("filtering: frame 50/200 (25%), 25.0 fps, 0:06 left",
            FormatProgress("filtering", 50, 200, 25.0));
  EXPECT_EQ("decoding: frame 7, 30.0 fps", FormatProgress("decoding", 7, -1, 30.0));
  EXPECT_EQ("decoding: frame 7", FormatProgress("decoding", 7, -1, 0.0));
  EXPECT_EQ("filtering: frame 100/100 (100%), 4.00 fps, took 0:27",
            FormatProgress("filtering", 100, 100, 4.0, true, 27.2));
}

std::string Captured(FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[256];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

TEST(ProgressTest, TerminalLineIsRewrittenAndEnded) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, true, true);
  progress.Begin("filtering", 4, 100.0);
  progress.Update(1, 101.0);
  progress.Update(2, 101.05);  // within 0.1 s of the last: not drawn
  progress.Update(3, 103.0);
  progress.Interrupt();
  progress.End(4, 104.0);
  EXPECT_EQ(
      "\rfiltering: frame 0/4 (0%)\033[K"
      "\rfiltering: frame 1/4 (25%)\033[K"
      "\rfiltering: frame 3/4 (75%), 1.00 fps, 0:01 left\033[K"
      "\r\033[K"
      "\rfiltering: frame 4/4 (100%), 1.00 fps, took 0:04\033[K\n",
      Captured(file));
  std::fclose(file);
}

TEST(ProgressTest, TerminalIsNotRedrawnWithTheSameText) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, true, true);
  progress.Begin("filtering", 2, 0.0);
  for (int tick = 1; tick <= 50; ++tick) progress.Update(0, tick * 0.2);  // Wine starting
  progress.End(2, 11.0);
  EXPECT_EQ(
      "\rfiltering: frame 0/2 (0%)\033[K"
      "\rfiltering: frame 2/2 (100%), took 0:11\033[K\n",
      Captured(file));
  std::fclose(file);
}

TEST(ProgressTest, LogGetsALineEveryFewSecondsAndTheLast) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, false, true);
  progress.Begin("filtering", 80, 0.0);
  for (int frame = 1; frame < 80; ++frame) progress.Update(frame, frame * 0.25);
  progress.Interrupt();  // no line to clear in a log
  progress.End(80, 20.0);
  // A frame every 0.25 s from t=0.25: lines at t=5, 10 and 15, and the last.
  EXPECT_EQ(
      "filtering: frame 20/80 (25%), 4.00 fps, 0:15 left\n"
      "filtering: frame 40/80 (50%), 4.00 fps, 0:10 left\n"
      "filtering: frame 60/80 (75%), 4.00 fps, 0:05 left\n"
      "filtering: frame 80/80 (100%), 4.00 fps, took 0:20\n",
      Captured(file));
  std::fclose(file);
}

TEST(ProgressTest, LogIsNotFilledWhileNothingMoves) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, false, true);
  progress.Begin("filtering", 2, 0.0);
  for (int second = 1; second <= 60; ++second) progress.Update(0, second);  // Wine starting
  progress.Update(1, 61.0);
  progress.Update(1, 70.0);
  progress.Update(2, 71.0);  // not shown: End shows the last count
  progress.End(2, 80.0);     // the host takes a while to end
  EXPECT_EQ(
      "filtering: frame 1/2 (50%)\n"
      "filtering: frame 2/2 (100%), 0.10 fps, took 1:20\n",
      Captured(file));
  std::fclose(file);
}

TEST(ProgressTest, QuietPrintsNothing) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, true, false);
  progress.Begin("filtering", 3, 0.0);
  progress.Update(1, 1.0);
  progress.Interrupt();
  progress.End(3, 3.0);
  EXPECT_EQ("", Captured(file));
  std::fclose(file);
}

TEST(ProgressTest, RateCountsFromTheFirstFrame) {
  FILE* file = std::tmpfile();
  ASSERT_NE(nullptr, file);
  Progress progress(file, false, true);
  // A slow start (Wine, the device) before the first frame.
  progress.Begin("filtering", 10, 0.0);
  progress.Update(1, 30.0);
  EXPECT_EQ(0.0, progress.rate());
  progress.Update(2, 30.001);
  EXPECT_EQ(0.0, progress.rate()) << "a millisecond says nothing";
  progress.Update(5, 32.0);
  EXPECT_DOUBLE_EQ(2.0, progress.rate());
  std::fclose(file);
}

}  // namespace
}  // namespace texloom_run
