// texloom-run on bad input: each case gets a clear message and its exit
// status, and leaves no output, no temporary beside the target and no
// scratch file behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "run/run_command_fixture.h"

namespace run_test {
namespace {

constexpr const char* kControls = "title Lift\ntrack Offset 0 -4096 4096\ncheck Invert 0\n";

class RunCommandErrorsTest : public RunCommandTest {
 protected:
  // Nothing was written, not even a temporary, and an old file is intact.
  void ExpectNothingWritten() {
    EXPECT_EQ(std::vector<std::string>{"old.png"}, ListFolder(out()));
    EXPECT_EQ("old", ReadText(out() + "/old.png"));
  }
  void SetUp() override {
    RunCommandTest::SetUp();
    if (IsSkipped()) return;
    WriteText(out() + "/old.png", "old");
  }
  std::string Target() const { return out() + "/old.png"; }
  // With -y: the old file may be replaced, so keeping it proves that a
  // failed run loses nothing.
  ProgramResult Run(std::vector<std::string> arguments,
                    const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    arguments.push_back("-y");
    return RunCommandTest::Run(arguments, extra);
  }
};

TEST_F(RunCommandErrorsTest, ClipMissingAFolderOrNotAClip) {
  const std::string effect = Effect(kControls);
  ASSERT_EQ(0, mkdir((scratch_ / "folder").c_str(), 0777));
  WriteText(scratch_ / "noise.mp4", std::string(5000, '\x33'));
  WriteText(scratch_ / "empty.mp4", "");
  // An audio-only file, and an MP4 cut short (its index comes last).
  ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                           "sine=d=0.2", "-y", scratch_ / "tone.wav"},
                          {})
                   .status);
  ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                           "testsrc2=s=32x24:d=0.4", "-y", scratch_ / "whole.mp4"},
                          {})
                   .status);
  // Frames of two sizes, as from a stream whose resolution changes.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                             i < 2 ? "color=s=8x6" : "color=s=10x6", "-frames:v", "1", "-y",
                             scratch_ / ("sizes_" + std::to_string(i) + ".png")},
                            {})
                     .status);
  }
  const std::string whole = ReadText(scratch_ / "whole.mp4");
  WriteText(scratch_ / "cut.mp4", whole.substr(0, whole.size() / 2));
  struct Case {
    std::string clip;
    std::string message;
  };
  const Case cases[] = {
      {scratch_ / "missing.mp4", "the clip '" + (scratch_ / "missing.mp4") + "' does not exist"},
      {scratch_ / "folder", "is a folder"},
      {scratch_ / "noise.mp4", "ffmpeg cannot read it: "},
      {scratch_ / "empty.mp4", "ffmpeg cannot read it: "},
      {scratch_ / "none_%03d.png", "ffmpeg cannot read it: "},
      {scratch_ / "tone.wav", "no video stream with a picture size"},
      {scratch_ / "cut.mp4", "ffmpeg cannot read it: "},
      {scratch_ / "sizes_%d.png", "' changes its picture size (from 8x6 to 10x6 at 0.08 s); "
                                  "texloom-run takes one size throughout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clip);
    const ProgramResult result = Run({c.clip, "-e", effect, "-o", out() + "/f_%02d.png"});
    EXPECT_EQ(2, result.status);
    EXPECT_TRUE(Contains(result.errors, c.message)) << result.errors;
    ExpectNothingWritten();
  }
}

TEST_F(RunCommandErrorsTest, ClipThatCannotBeOpened) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  const std::string clip = MakeClip(1);
  ASSERT_EQ(0, chmod(clip.c_str(), 0));
  const ProgramResult result = Run({clip, "-e", Effect(kControls), "-o", Target()});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(Contains(result.errors, "cannot be read")) << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, EffectOrPluginMissing) {
  const std::string clip = MakeClip(1);
  ProgramResult result = Run({clip, "-e", scratch_ / "nope.fxo", "-o", Target()});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(
      Contains(result.errors, "the effect '" + (scratch_ / "nope.fxo") + "' does not exist"))
      << result.errors;
  result = Run({clip, "-e", Effect(kControls), "--plugin", scratch_ / "no.auf", "-o", Target()});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(Contains(result.errors, "the plug-in '" + (scratch_ / "no.auf") + "' does not exist"))
      << result.errors;
  result = Run({clip, "-e", Effect(kControls), "-o", Target()}, {{"TEXLOOM_RUN_PLUGIN", ""}});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(Contains(result.errors, "no texloom.auf: pass --plugin")) << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, RangeOutsideTheClip) {
  const std::string clip = MakeClip(4);
  const std::string effect = Effect(kControls);
  struct Case {
    std::vector<std::string> range;
    const char* message;
  };
  const Case cases[] = {
      {{"--from", "4"}, "--from 4 is outside the clip, which has 4 frames (0..3)"},
      {{"--to", "4"}, "--to 4 is outside the clip, which has 4 frames (0..3)"},
      {{"--from", "2", "--to", "9"}, "--to 9 is outside the clip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> arguments = {clip, "-e", effect, "-o", out() + "/f_%02d.png"};
    arguments.insert(arguments.end(), c.range.begin(), c.range.end());
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(2, result.status);
    EXPECT_TRUE(Contains(result.errors, c.message)) << result.errors;
    ExpectNothingWritten();
  }
}

// --dump-targets: its folder's parent must exist, and targets of the chosen
// frames there are refused without -y; both before anything runs.
TEST_F(RunCommandErrorsTest, DumpTargetsFolderIsCheckedFirst) {
  const std::string clip = MakeClip(2);
  const std::string effect = Effect(kControls);
  WriteText(scratch_ / "frame_000001_pass0_out0_slot1.png", "old");
  const struct {
    std::string folder;
    std::string frames;
    bool replace;
    std::string message;
  } cases[] = {
      {scratch_ / "missing/t", "1", true, "its folder '" + (scratch_ / "missing") + "' does not exist"},
      {scratch_.path(), "0,1", false,
       "'" + (scratch_ / "frame_000001_pass0_out0_slot1.png") + "' exists; -y replaces"},
      {scratch_ / "t", "0,2", true, "--frames 2: its targets cannot be dumped, it is outside the run (0..1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::vector<std::string> arguments = {
        clip, "-e", effect, "-o", out() + "/f_%02d.png", "--frames", c.frames, "--dump-targets",
        c.folder};
    const ProgramResult result = c.replace ? Run(arguments) : RunCommandTest::Run(arguments);
    EXPECT_EQ(2, result.status);
    EXPECT_TRUE(Contains(result.errors, c.message)) << result.errors;
    ExpectNothingWritten();
    EXPECT_EQ("old", ReadText(scratch_ / "frame_000001_pass0_out0_slot1.png"));
  }
}

TEST_F(RunCommandErrorsTest, OnePngForMoreThanOneFrame) {
  const std::string clip = MakeClip(3);
  const std::string effect = Effect(kControls);
  // Known before decoding (an explicit range) and after (the clip's length).
  for (const std::vector<std::string>& range :
       {std::vector<std::string>{"--from", "0", "--to", "1"}, std::vector<std::string>{}}) {
    std::vector<std::string> arguments = {clip, "-e", effect, "-o", out() + "/one.png"};
    arguments.insert(arguments.end(), range.begin(), range.end());
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(2, result.status);
    EXPECT_TRUE(Contains(result.errors, "holds one frame, but the range has more"))
        << result.errors;
    ExpectNothingWritten();
  }
}

TEST_F(RunCommandErrorsTest, OutputsThatCannotBeWritten) {
  const std::string clip = MakeClip(1);
  const std::string effect = Effect(kControls);
  struct Case {
    std::string output;
    const char* message;
  };
  const Case cases[] = {
      {out() + "/missing/a.mp4", "the folder '"},
      {out() + "/missing/f_%02d.png", "does not exist"},
      {out() + "/missing/deeper/", "cannot make the folder"},
      {"/proc/texloom-run-test.mkv", "cannot write '/proc/texloom-run-test.mkv'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    // A second, good output must not appear either.
    const ProgramResult result =
        Run({clip, "-e", effect, "-o", out() + "/good.png", "-o", c.output});
    EXPECT_EQ(2, result.status);
    EXPECT_TRUE(Contains(result.errors, c.message)) << result.errors;
    ExpectNothingWritten();
  }
}

TEST_F(RunCommandErrorsTest, EncoderFailureLeavesNothing) {
  const std::string clip = MakeClip(2);
  // MPEG-1 video takes only the standard frame rates.
  const ProgramResult result = Run({clip, "-e", Effect(kControls), "--fps", "13", "-o",
                                    out() + "/good_%d.png", "-o", out() + "/bad.mpg"});
  EXPECT_EQ(4, result.status);
  EXPECT_TRUE(Contains(result.errors, "'" + out() + "/bad.mpg': ffmpeg could not write it"))
      << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, EffectThatFailsDiscovery) {
  const std::string clip = MakeClip(2);
  const ProgramResult result = Run(
      {clip, "-e",
       Effect("discovery-fail\nmessage 16 Texloom\tTrack0: max is below min\\n(in texloom.fxo)\n"),
       "-o", out() + "/film.mkv"});
  EXPECT_EQ(3, result.status);
  EXPECT_TRUE(Contains(result.errors,
                       "message box from the plug-in: Texloom\n"
                       "  | Track0: max is below min\n"
                       "  | (in texloom.fxo)\n"))
      << result.errors;
  EXPECT_TRUE(
      Contains(result.errors, "could not be used (the filter is listed as Texloom(エラー))"))
      << result.errors;
  EXPECT_FALSE(Contains(result.errors, "texloom-fxo")) << "no Wine hint without Wine";
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, EffectThatFailsInit) {
  const std::string clip = MakeClip(2);
  const ProgramResult result =
      Run({clip, "-e", Effect("init-fail\nmessage 16 Texloom\tno Direct3D device\n"), "-o",
           out() + "/film.mkv"});
  EXPECT_EQ(3, result.status);
  EXPECT_TRUE(Contains(result.errors, "message box from the plug-in: Texloom\n  | no Direct3D"))
      << result.errors;
  EXPECT_TRUE(Contains(result.errors, "could not be used; the plug-in's message is above"))
      << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, HlslUnderWineSaysHowToBuildAnFxo) {
  const std::string clip = MakeClip(1);
  const std::string effect =
      Effect("discovery-fail\nmessage 16 Texloom\tD3DXCreateEffect failed\n", "blur.fx");
  const ProgramResult result =
      RunProgram({TEXLOOM_RUN_PROGRAM, clip, "-e", effect, "-o", Target(), "-y"},
                 WineEnvironment());
  EXPECT_EQ(3, result.status);
  EXPECT_TRUE(Contains(result.errors, "D3DXCreateEffect failed")) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "Wine's D3DX cannot compile effect source (.fx)"))
      << result.errors;
  EXPECT_TRUE(Contains(result.errors, "tools/texloom-fxo")) << result.errors;
  ExpectNothingWritten();
}

// HLSL source is compiled (TEXLOOM_FXO) before the clip is read: the
// compiler's messages as it prints them, or why it could not run.
TEST_F(RunCommandErrorsTest, HlslIsCompiledFirst) {
  const std::string clip = MakeClip(1);
  const std::string effect = Effect(std::string(kControls) + "error\n", "blur.fx");
  const struct {
    std::string compiler;
    std::vector<std::string> said;
  } cases[] = {
      {TEXLOOM_RUN_FAKE_FXO,
       {effect + ":4:1: error X3000: syntax error\n",
        "texloom-run: the effect '" + effect + "' does not compile\n"}},
      {scratch_ / "no-compiler", {"cannot run the HLSL compiler '" + (scratch_ / "no-compiler")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.compiler);
    const ProgramResult result =
        Run({clip, "-e", effect, "-o", Target()}, {{"TEXLOOM_FXO", c.compiler}});
    EXPECT_EQ(2, result.status);
    for (const std::string& text : c.said) EXPECT_TRUE(Contains(result.errors, text)) << result.errors;
    ExpectNothingWritten();
  }
}

// A full disk: the outputs' folder is an 8 KiB tmpfs (two pages, one taken
// by an old file), mounted in namespaces of the test's own, where the run
// and then a listing of what it left happen before the mount goes.
TEST_F(RunCommandErrorsTest, FullDiskLeavesNoPartialOutput) {
  if (RunProgram({"unshare", "-rm", "true"}, {}).status != 0) {
    GTEST_SKIP() << "no user and mount namespaces here (unshare -rm)";
  }
  const std::string clip = MakeClip(4);
  const std::string full = scratch_ / "full";
  ASSERT_EQ(0, mkdir(full.c_str(), 0777));
  auto environment = Environment();
  const ProgramResult result = RunProgram(
      {"unshare", "-rm", "sh", "-c",
       "mount -t tmpfs -o size=8k tmpfs \"$0\" && echo old >\"$0/old.png\" || exit 99\n"
       "\"$@\"; echo \"status $?\"; ls -A \"$0\"",
       full, TEXLOOM_RUN_PROGRAM, clip, "-e", Effect(kControls), "-o", full + "/f_%02d.png", "-o",
       full + "/film.mkv"},
      environment);
  EXPECT_EQ("status 4\nold.png\n", result.output) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "No space left on device")) << result.errors;
}

TEST_F(RunCommandErrorsTest, FailedFrameIsNamed) {
  const std::string clip = MakeClip(5);
  const ProgramResult result =
      Run({clip, "-e", Effect(std::string(kControls) + "fail-frame 3\n"), "--from", "1", "-o",
           out() + "/f_%d.png", "-o", out() + "/film.mkv"});
  EXPECT_EQ(1, result.status);
  EXPECT_TRUE(Contains(result.errors,
                       "the filter failed frame 3 (2 frames before it were filtered); nothing "
                       "was written"))
      << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, HostThatDiesOrWritesTooLittle) {
  const std::string clip = MakeClip(3);
  ProgramResult result = Run({clip, "-e", Effect("crash-frame 1\n"), "-o", out() + "/f_%d.png"});
  EXPECT_EQ(4, result.status);
  EXPECT_TRUE(Contains(result.errors, "the host ended with status 5 after 1 frame"))
      << result.errors;
  ExpectNothingWritten();
  result = Run({clip, "-e", Effect("short-output\n"), "-o", out() + "/f_%d.png"});
  EXPECT_EQ(4, result.status);
  EXPECT_TRUE(Contains(result.errors,
                       "the host's output ended inside frame 2"))
      << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, UnknownControlsAreRefusedByTheHost) {
  const std::string clip = MakeClip(1);
  const std::string effect = Effect(kControls);
  ProgramResult result = Run({clip, "-e", effect, "--track", "Radius=3", "-o", Target()});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(Contains(result.errors, "host: no track named Radius")) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "the host refused the run: no track named Radius"));
  result = Run({clip, "-e", effect, "--check", "4=1", "-o", Target()});
  EXPECT_EQ(2, result.status);
  EXPECT_TRUE(Contains(result.errors, "no check 4")) << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, WineThatCannotRunIsASkipNotAFailure) {
  const std::string clip = MakeClip(1);
  auto environment = WineEnvironment();
  environment.push_back({"TEXLOOM_FAKE_WINE_SKIP", "no Direct3D 9 device can be made here"});
  const ProgramResult result =
      RunProgram({TEXLOOM_RUN_PROGRAM, clip, "-e", Effect(kControls), "-o", Target(), "-y"},
                 environment);
  EXPECT_EQ(5, result.status);
  EXPECT_TRUE(Contains(result.errors,
                       "cannot run texloom.auf here: no Direct3D 9 device can be made here"))
      << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, NoHostToRun) {
  const std::string clip = MakeClip(1);
  ProgramResult result = Run({clip, "-e", Effect(kControls), "-o", Target()},
                             {{"TEXLOOM_RUN_HOST", scratch_ / "no-host"}});
  EXPECT_EQ(4, result.status);
  EXPECT_TRUE(Contains(result.errors,
                       "cannot start the host: " + (scratch_ / "no-host") + " was not found"))
      << result.errors;
  result = Run({clip, "-e", Effect(kControls), "-o", Target()}, {{"TEXLOOM_RUN_HOST", ""}});
  EXPECT_EQ(4, result.status);
  EXPECT_TRUE(Contains(result.errors, "no host to run")) << result.errors;
  ExpectNothingWritten();
}

TEST_F(RunCommandErrorsTest, BadArgumentsGetTheParsersMessage) {
  const ProgramResult result = Run({"clip.mp4", "-e", "fx.fxo", "-o", "out.mp4", "--from", "x"});
  EXPECT_EQ(2, result.status);
  EXPECT_EQ("texloom-run: --from: expected a frame number (0 or more), got 'x'\n", result.errors);
}

TEST_F(RunCommandErrorsTest, InterruptionEndsTheHostAndRemovesEverything) {
  const std::string clip = MakeClip(4);
  auto environment = Environment();
  std::vector<std::string> arguments = {TEXLOOM_RUN_PROGRAM,
                                        clip,
                                        "-e",
                                        Effect(std::string(kControls) + "hang-frame 2\n"),
                                        "-o",
                                        out() + "/f_%d.png",
                                        "-o",
                                        out() + "/film.mkv"};
  const pid_t command = StartProgram(arguments, environment, scratch_ / "errors");
  ASSERT_GT(command, 0);
  std::string host_log;
  for (int i = 0; i < 1000 && !Contains(host_log, "hanging "); ++i) {
    usleep(10000);
    host_log = ReadText(log());
  }
  ASSERT_TRUE(Contains(host_log, "hanging ")) << "the stand-in host never reached frame 2";
  const std::string host_pid = host_log.substr(host_log.find("hanging ") + 8);
  kill(command, SIGINT);
  EXPECT_EQ(130, WaitProgram(command));
  EXPECT_TRUE(Contains(ReadText(scratch_ / "errors"), "interrupted; nothing was written"))
      << ReadText(scratch_ / "errors");
  ExpectNothingWritten();
  const std::string state = ReadText("/proc/" + host_pid.substr(0, host_pid.find('\n')) + "/stat");
  EXPECT_TRUE(state.empty() || Contains(state, ") Z ")) << "the host still runs: " << state;
  // Nor does the decoder, the one process that names the clip.
  for (const std::string& entry : ListFolder("/proc")) {
    if (entry.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string command_line = ReadText("/proc/" + entry + "/cmdline");
    std::replace(command_line.begin(), command_line.end(), '\0', ' ');
    const std::string process_state = ReadText("/proc/" + entry + "/stat");
    EXPECT_FALSE(Contains(command_line, clip) && !Contains(process_state, ") Z "))
        << "still running: " << command_line;
  }
}

}  // namespace
}  // namespace run_test
