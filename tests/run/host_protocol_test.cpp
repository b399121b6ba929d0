// The host's run mode from the driver's side: the argument list it is given
// and every kind of line it prints, well-formed and not.
#include "run/host_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace texloom_run {
namespace {

HostEvent Parse(const std::string& line) {
  HostEvent event;
  event.index = -99;  // sentinel: must be overwritten or reset
  std::string problem;
  EXPECT_TRUE(ParseHostLine(line, &event, &problem)) << line << ": " << problem;
  return event;
}

TEST(HostProtocolTest, RunArgumentsInTheProtocolsOrder) {
  HostRequest request;
  request.plugin = "Z:\\tmp\\p\\texloom.auf";
  request.input = "Z:\\tmp\\in.raw";
  request.output = "Z:\\tmp\\out.raw";
  request.width = 7;
  request.height = 5;
  request.frames = 12;
  request.first = 3;
  request.last = 9;
  const std::vector<std::string> plain = {"run",
                                          "--plugin",
                                          "Z:\\tmp\\p\\texloom.auf",
                                          "--input",
                                          "Z:\\tmp\\in.raw",
                                          "--width",
                                          "7",
                                          "--height",
                                          "5",
                                          "--frames",
                                          "12",
                                          "--first",
                                          "3",
                                          "--last",
                                          "9",
                                          "--output",
                                          "Z:\\tmp\\out.raw"};
  EXPECT_EQ(plain, HostRunArguments(request));
  request.threads = 0;
  std::vector<std::string> no_service = plain;
  no_service.insert(no_service.end(), {"--threads", "0"});
  EXPECT_EQ(no_service, HostRunArguments(request));

  request.tracks = {{"Radius", 3}, {"1", -4}};
  request.checks = {{"Invert", 1}};
  request.disable_pp = true;
  request.dev_set = true;
  request.dev = -1;
  request.threads = 2;
  request.dump_folder = "Z:\\t";
  request.dump_frames = {10, 2};
  std::vector<std::string> full = plain;
  full.insert(full.end(), {"--track", "Radius=3", "--track", "1=-4", "--check", "Invert=1",
                           "--disable-pp", "1", "--dev", "-1", "--threads", "2",
                           "--dump-targets", "Z:\\t", "--dump-frames", "10,2"});
  EXPECT_EQ(full, HostRunArguments(request));
}

TEST(HostProtocolTest, WindowsPathsOnDriveZ) {
  EXPECT_EQ("Z:\\tmp\\texloom-run.abc\\input.raw", WindowsPathOf("/tmp/texloom-run.abc/input.raw"));
  EXPECT_EQ("Z:\\", WindowsPathOf("/"));
  EXPECT_EQ("Z:\\a b\\c", WindowsPathOf("/a b/c"));
}

TEST(HostProtocolTest, TableLine) {
  const HostEvent event = Parse("table\tBlur3\tthree taps\\tby \\\\me\\n");
  EXPECT_EQ(HostEventKind::table, event.kind);
  EXPECT_EQ("Blur3", event.title);
  EXPECT_EQ("three taps\tby \\me\n", event.text);
  const HostEvent error_title = Parse("table\tTexloom(エラー)\t");
  EXPECT_EQ(kErrorTitle, error_title.title);
  EXPECT_EQ("", error_title.text);
}

TEST(HostProtocolTest, TrackAndCheckLines) {
  const HostEvent track = Parse("track\t1\tRadius\t2\t0\t8\t5");
  EXPECT_EQ(HostEventKind::track, track.kind);
  EXPECT_EQ(1, track.index);
  EXPECT_EQ("Radius", track.name);
  EXPECT_EQ(2, track.default_value);
  EXPECT_EQ(0, track.min);
  EXPECT_EQ(8, track.max);
  EXPECT_EQ(5, track.value);
  const HostEvent negative = Parse("track\t0\tShift\t-3\t-100\t-1\t-50");
  EXPECT_EQ(-3, negative.default_value);
  EXPECT_EQ(-100, negative.min);
  EXPECT_EQ(-50, negative.value);
  EXPECT_EQ("Blur\tradius", Parse("track\t1\tBlur\\tradius\t2\t0\t8\t5").name);
  const HostEvent check = Parse("check\t0\tInvert\t0\t1");
  EXPECT_EQ(HostEventKind::check, check.kind);
  EXPECT_EQ(0, check.index);
  EXPECT_EQ("Invert", check.name);
  EXPECT_EQ(0, check.default_value);
  EXPECT_EQ(1, check.value);
}

TEST(HostProtocolTest, MessageLinesAreUnescaped) {
  const HostEvent event =
      Parse("message\t48\tTexloom\tline 1: error X3000\\nC:\\\\fx\\\\texloom.fx(3)\\\\n");
  EXPECT_EQ(HostEventKind::message, event.kind);
  EXPECT_EQ(48u, event.style);
  EXPECT_EQ("Texloom", event.title);
  EXPECT_EQ("line 1: error X3000\nC:\\fx\\texloom.fx(3)\\n", event.text);
  EXPECT_EQ("a\\", UnescapeField("a\\\\"));
  EXPECT_EQ("trailing \\", UnescapeField("trailing \\"));
  EXPECT_EQ("a\tb", UnescapeField("a\\tb"));
  EXPECT_EQ("\\x stays", UnescapeField("\\x stays"));
  EXPECT_EQ("\n\n", UnescapeField("\\n\\n"));
  EXPECT_EQ("\\t", UnescapeField("\\\\t")) << "an escaped backslash before t";
  EXPECT_EQ(4294967295u, Parse("message\t4294967295\tc\tt").style);
}

TEST(HostProtocolTest, FrameDoneErrorLines) {
  const HostEvent ok = Parse("frame\t12\tok");
  EXPECT_EQ(HostEventKind::frame, ok.kind);
  EXPECT_EQ(12, ok.frame);
  EXPECT_TRUE(ok.ok);
  const HostEvent failed = Parse("frame\t0\tfailed");
  EXPECT_EQ(0, failed.frame);
  EXPECT_FALSE(failed.ok);
  const HostEvent done = Parse("done\t7");
  EXPECT_EQ(HostEventKind::done, done.kind);
  EXPECT_EQ(7, done.delivered);
  const HostEvent need = Parse("need\t41");
  EXPECT_EQ(HostEventKind::need, need.kind);
  EXPECT_EQ(41, need.frame);
  const HostEvent held = Parse("held\t3");
  EXPECT_EQ(HostEventKind::held, held.kind);
  EXPECT_EQ(3, held.delivered);
  const HostEvent target = Parse("target\t10\tpass1_out0_TxRT0\tok\t640\t360");
  EXPECT_EQ(HostEventKind::target, target.kind);
  EXPECT_EQ(10, target.frame);
  EXPECT_EQ("pass1_out0_TxRT0", target.name);
  EXPECT_TRUE(target.ok);
  EXPECT_EQ(640, target.width);
  EXPECT_EQ(360, target.height);
  const HostEvent unread = Parse("target\t3\t\tfailed\tno pass\\n drawn");
  EXPECT_EQ(HostEventKind::target, unread.kind);
  EXPECT_FALSE(unread.ok);
  EXPECT_EQ("", unread.name);
  EXPECT_EQ("no pass\n drawn", unread.text);
  const HostEvent error = Parse("error\tno track named \"C:\\\\x\"\\tnow");
  EXPECT_EQ(HostEventKind::error, error.kind);
  EXPECT_EQ("no track named \"C:\\x\"\tnow", error.text);
}

TEST(HostProtocolTest, WindowsLineEndsAndOtherLines) {
  EXPECT_EQ(HostEventKind::done, Parse("done\t3\r").kind);
  EXPECT_EQ(3, Parse("done\t3\r").delivered);
  const HostEvent skipped = Parse("SKIPPED: no Direct3D 9 device can be made here");
  EXPECT_EQ(HostEventKind::skipped, skipped.kind);
  EXPECT_EQ("no Direct3D 9 device can be made here", skipped.text);
  const HostEvent other = Parse("some diagnostic");
  EXPECT_EQ(HostEventKind::other, other.kind);
  EXPECT_EQ("some diagnostic", other.text);
  EXPECT_EQ(HostEventKind::other, Parse("").kind);
}

TEST(HostProtocolTest, MalformedLinesOfKnownKinds) {
  const char* lines[] = {
      "table\tonly title",
      "table\ta\tb\tc",
      "track\t0\tRadius\t2\t0\t8",
      "track\tx\tRadius\t2\t0\t8\t5",
      "track\t-1\tRadius\t2\t0\t8\t5",
      "track\t0\tRadius\t2\t0\t8\t5.5",
      "track\t0\tRadius\t2\t0\t8\t99999999999",
      "check\t0\tInvert\t0",
      "check\t0\tInvert\t0\tyes",
      "message\t48\tcaption only",
      "message\tbig\tc\tt",
      "message\t-1\tc\tt",
      "frame\t3",
      "frame\t3\tmaybe",
      "frame\tthree\tok",
      "frame\t-2\tok",
      "frame\t 3\tok",
      "done",
      "done\t",
      "done\t2\t3",
      "done\t-1",
      "need",
      "need\t-1",
      "need\t1\t2",
      "held\tmany",
      "target\t1\tpass0_out0_slot1\tok\t640",
      "target\t1\tpass0_out0_slot1\tok\t0\t360",
      "target\t1\tpass0_out0_slot1\tfailed",
      "target\tx\tpass0_out0_slot1\tfailed\twhy",
      "error",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    HostEvent event;
    event.kind = HostEventKind::frame;
    std::string problem;
    EXPECT_FALSE(ParseHostLine(line, &event, &problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(HostEventKind::other, event.kind);
    EXPECT_EQ(line, event.text);
  }
}

}  // namespace
}  // namespace texloom_run
