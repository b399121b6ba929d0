// texloom-run end to end against the native stand-in host: pixels, frame
// ranges, every kind of output, controls, messages and what the host is told.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <sstream>

#include "run/host_colour.h"
#include "run/run_command_fixture.h"

namespace run_test {
namespace {

constexpr const char* kControls =
    "title Lift\ninfo stand-in\ntrack Offset 0 -4096 4096\ncheck Invert 0\n";

// --frames with --dump-targets and no -o: each frame filtered alone (one
// host run each), its targets as 16-bit PNGs holding the host's values
// exactly; a target the host could not read is named.
TEST_F(RunCommandTest, DumpsTargetsFrameByFrameWithoutAnOutput) {
  const std::string clip = MakeClip(3);
  const ProgramResult result = Run({clip, "-e", Effect(kControls), "--frames", "2,0",
                                    "--dump-targets", out() + "/targets/"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "frame 2: render target pass1_out0_TxRT0 not dumped: its "
                                      "texture format cannot be dumped"))
      << result.errors;
  EXPECT_EQ((std::vector<std::string>{"frame_000000_pass0_out0_slot1.png",
                                      "frame_000002_pass0_out0_slot1.png"}),
            ListFolder(out() + "/targets"));
  for (int f : {0, 2}) {
    SCOPED_TRACE(f);
    std::vector<texloom_run::HostPixel> host(kWidth * kHeight);
    texloom_run::HostRowFromRgb24(frames_[f].rgb.data(), host.data(), host.size());
    std::string expected;
    for (const texloom_run::HostPixel& pixel : host) {
      const uint16_t rgba[4] = {static_cast<uint16_t>(pixel.y), static_cast<uint16_t>(pixel.cb),
                                static_cast<uint16_t>(pixel.cr), 65535};
      expected.append(reinterpret_cast<const char*>(rgba), sizeof rgba);
    }
    char name[64];
    std::snprintf(name, sizeof name, "/targets/frame_%06d_pass0_out0_slot1.png", f);
    EXPECT_EQ(expected, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", out() + name, "-f",
                                    "rawvideo", "-pix_fmt", "rgba64le", "-"},
                                   {})
                            .output);
  }
  const std::string arguments = ReadText(log());
  EXPECT_TRUE(Contains(arguments, "--first\n2\n--last\n2\n")) << arguments;
  EXPECT_TRUE(Contains(arguments, "--first\n0\n--last\n0\n")) << arguments;
}

TEST_F(RunCommandTest, InvertsEveryFrameIntoAPngPattern) {
  const std::string clip = MakeClip(4);
  const ProgramResult result =
      Run({clip, "-e", Effect(kControls), "--check", "Invert=1", "-o", out() + "/f_%03d.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  ASSERT_EQ((std::vector<std::string>{"f_000.png", "f_001.png", "f_002.png", "f_003.png"}),
            ListFolder(out()));
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    char name[32];
    std::snprintf(name, sizeof name, "/f_%03d.png", f);
    const std::vector<Image> back = ReadFrames(out() + name, kWidth, kHeight);
    ASSERT_EQ(1u, back.size());
    ExpectSameImage(Inverted(frames_[f]), back[0]);
  }
  EXPECT_TRUE(Contains(result.errors, "wrote 4 PNG files to " + out() + "/f_%03d.png"))
      << result.errors;
}

TEST_F(RunCommandTest, TracksByNameOrIndexAndDefaults) {
  const std::string clip = MakeClip(2);
  const std::string effect = Effect(kControls);
  struct Case {
    std::vector<std::string> settings;
    int offset;
  };
  const Case cases[] = {
      {{"--track", "Offset=512"}, 512},
      {{"--track", "0=512"}, 512},
      {{"--track=Offset=-512"}, -512},
      {{}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    std::vector<std::string> arguments = {clip, "-e", effect, "-o", out() + "/", "-y"};
    arguments.insert(arguments.end(), c.settings.begin(), c.settings.end());
    const ProgramResult result = Run(arguments);
    ASSERT_EQ(0, result.status) << result.errors;
    const std::vector<Image> back = ReadFrames(out() + "/frame_%06d.png", kWidth, kHeight);
    ASSERT_EQ(2u, back.size());
    ExpectSameImage(Lifted(frames_[0], c.offset), back[0]);
    ExpectSameImage(Lifted(frames_[1], c.offset), back[1]);
    EXPECT_TRUE(Contains(result.errors, "track 0 Offset = " + std::to_string(c.offset)))
        << result.errors;
  }
}

TEST_F(RunCommandTest, RangeSelectsFramesNamedByTheirNumbers) {
  const std::string clip = MakeClip(5);
  const ProgramResult result = Run({clip, "-e", Effect(kControls), "--check", "0=1", "--from", "1",
                                    "--to", "3", "-o", out() + "/frames/"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ((std::vector<std::string>{"frame_000001.png", "frame_000002.png", "frame_000003.png"}),
            ListFolder(out() + "/frames"));
  for (int f = 1; f <= 3; ++f) {
    SCOPED_TRACE(f);
    char name[40];
    std::snprintf(name, sizeof name, "/frames/frame_%06d.png", f);
    const std::vector<Image> back = ReadFrames(out() + name, kWidth, kHeight);
    ASSERT_EQ(1u, back.size());
    ExpectSameImage(Inverted(frames_[f]), back[0]);
  }
  EXPECT_TRUE(Contains(result.errors, "filtering: frame 3/3 (100%)")) << result.errors;
}

TEST_F(RunCommandTest, FromAloneRunsToTheEnd) {
  const std::string clip = MakeClip(4);
  const ProgramResult result =
      Run({clip, "-e", Effect(kControls), "--from", "2", "-o", out() + "/"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ((std::vector<std::string>{"frame_000002.png", "frame_000003.png"}), ListFolder(out()));
}

// The host is given the clip's true length, so reads past either end clamp
// to the first or last frame; frames come in order, from a seek (a range
// that starts late, a frame before those already decoded, one far ahead) or
// by decoding on; in a clip of variable frame rate (frames 3 on further and
// further apart), seeks land on the right frame too.
TEST_F(RunCommandTest, HostGetsTheFramesAroundTheCurrentOneFromTheStream) {
  struct Case {
    int frames, offset, from, to;
    bool variable_rate;
  };
  // Clips of growing length: each overwrites the source images of the last.
  const Case cases[] = {{3, -1, 0, 2, false},  {4, 2, 1, 3, false},    {8, -3, 5, 7, false},
                        {80, 70, 0, 1, false}, {80, -70, 75, 75, false}, {8, -3, 5, 7, true},
                        {80, -70, 75, 75, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("offset " + std::to_string(c.offset) + " from " + std::to_string(c.from) +
                 (c.variable_rate ? ", variable rate" : ""));
    std::string clip = MakeClip(c.frames);
    if (c.variable_rate) {
      clip = scratch_ / "variable.mkv";
      ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", scratch_ / "clip.mkv",
                               "-vf", "setpts=(N+if(gte(N\\,3)\\,N*N\\,0))/10/TB",
                               "-fps_mode", "passthrough", "-c:v", "ffv1", "-pix_fmt", "bgr0",
                               "-y", clip},
                              {})
                       .status);
    }
    const ProgramResult result =
        Run({clip, "-e", Effect("frame-offset " + std::to_string(c.offset) + "\n"), "--from",
             std::to_string(c.from), "--to", std::to_string(c.to), "-o", out() + "/f_%d.png", "-y"});
    ASSERT_EQ(0, result.status) << result.errors;
    for (int f = c.from; f <= c.to; ++f) {
      SCOPED_TRACE(f);
      const int source = std::min(c.frames - 1, std::max(0, f + c.offset));
      const std::vector<Image> back =
          ReadFrames(out() + "/f_" + std::to_string(f) + ".png", kWidth, kHeight);
      ASSERT_EQ(1u, back.size());
      ExpectSameImage(frames_[static_cast<size_t>(source)], back[0]);
    }
    EXPECT_TRUE(Contains(ReadText(log()), "--frames\n" + std::to_string(c.frames) + "\n--first\n" +
                                              std::to_string(c.from) + "\n--last\n" +
                                              std::to_string(c.to) + "\n"))
        << ReadText(log());
  }
}

TEST_F(RunCommandTest, VideoAndPngFramesTogether) {
  // Flat colours, so that a lossy codec's 4:2:0 keeps them.
  const std::vector<Image> frames = {SolidFrame(8, 6, 200, 30, 90), SolidFrame(8, 6, 10, 240, 128),
                                     SolidFrame(8, 6, 128, 128, 128)};
  ASSERT_TRUE(MakeLosslessClip(frames, scratch_.path(), scratch_ / "flat.mkv"));
  const ProgramResult result =
      Run({scratch_ / "flat.mkv", "-e", Effect(kControls), "--check", "Invert=1", "--fps", "12",
           "-o", out() + "/film.mkv", "-o", out() + "/pics/"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ((std::vector<std::string>{"film.mkv", "pics"}), ListFolder(out()));
  EXPECT_EQ(3u, ListFolder(out() + "/pics").size());
  const ProgramResult probe =
      RunProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                  "stream=width,height,r_frame_rate,nb_read_frames", "-of",
                  "default=noprint_wrappers=1", out() + "/film.mkv"},
                 {});
  EXPECT_TRUE(Contains(probe.output, "width=8\nheight=6\n")) << probe.output;
  EXPECT_TRUE(Contains(probe.output, "r_frame_rate=12/1")) << probe.output;
  EXPECT_TRUE(Contains(probe.output, "nb_read_frames=3")) << probe.output;
  const std::vector<Image> video = ReadFrames(out() + "/film.mkv", 8, 6);
  ASSERT_EQ(3u, video.size());
  for (size_t f = 0; f < 3; ++f) {
    const Image expected = Inverted(frames[f]);
    for (size_t i = 0; i < expected.rgb.size(); ++i) {
      // Through the codec's limited-range 8-bit YCbCr and back: a few code
      // values either way on a flat colour.
      ASSERT_NEAR(expected.rgb[i], video[f].rgb[i], 4) << "frame " << f << " byte " << i;
    }
  }
}

TEST_F(RunCommandTest, OneImageInOneImageOut) {
  const Image image = TestFrame(kWidth, kHeight, 7);
  WritePpm(scratch_ / "still.ppm", image);
  const ProgramResult result = Run({scratch_ / "still.ppm", "-e", Effect(kControls), "--check",
                                    "Invert=1", "-o", out() + "/still.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::vector<Image> back = ReadFrames(out() + "/still.png", kWidth, kHeight);
  ASSERT_EQ(1u, back.size());
  ExpectSameImage(Inverted(image), back[0]);
}

TEST_F(RunCommandTest, SixteenBitImageIsRead) {
  // Samples 257 * k: the 16-bit form of 8-bit k, so the inverse is 255 - k.
  const Image image = TestFrame(kWidth, kHeight, 3);
  std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n65535\n";
  for (uint8_t v : image.rgb) ppm += std::string(2, static_cast<char>(v));
  WriteText(scratch_ / "deep.ppm", ppm);
  const ProgramResult result = Run({scratch_ / "deep.ppm", "-e", Effect(kControls), "--check",
                                    "Invert=1", "-o", out() + "/still.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::vector<Image> back = ReadFrames(out() + "/still.png", kWidth, kHeight);
  ASSERT_EQ(1u, back.size());
  ExpectSameImage(Inverted(image), back[0]);
}

TEST_F(RunCommandTest, ImageSequenceAsTheClip) {
  MakeClip(3);  // also leaves src_000.ppm ... src_002.ppm
  const ProgramResult result = Run({"-i", scratch_ / "src_%03d.ppm", "-e", Effect(kControls),
                                    "--check", "Invert=1", "--to", "2", "-o", out() + "/"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::vector<Image> back = ReadFrames(out() + "/frame_%06d.png", kWidth, kHeight);
  ASSERT_EQ(3u, back.size());
  for (int f = 0; f < 3; ++f) ExpectSameImage(Inverted(frames_[f]), back[f]);
}

TEST_F(RunCommandTest, UrlsAreLeftToFfmpeg) {
  const std::string clip = MakeClip(2);
  const ProgramResult result =
      Run({"file://" + clip, "-e", Effect(kControls), "--check", "Invert=1", "-o", out() + "/"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::vector<Image> back = ReadFrames(out() + "/frame_%06d.png", kWidth, kHeight);
  ASSERT_EQ(2u, back.size());
  ExpectSameImage(Inverted(frames_[1]), back[1]);
}

TEST_F(RunCommandTest, FramesReportedBeforeTheyReachTheFileStillArrive) {
  const std::string clip = MakeClip(3);
  const ProgramResult result = Run({clip, "-e", Effect(std::string(kControls) + "late-output\n"),
                                    "--check", "Invert=1", "-o", out() + "/"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::vector<Image> back = ReadFrames(out() + "/frame_%06d.png", kWidth, kHeight);
  ASSERT_EQ(3u, back.size());
  for (int f = 0; f < 3; ++f) ExpectSameImage(Inverted(frames_[f]), back[f]);
}

TEST_F(RunCommandTest, MessageBoxesAreShownWithTheirCaptions) {
  const std::string clip = MakeClip(1);
  const ProgramResult result =
      Run({clip, "-e",
           Effect("message 48 Texloom (validation)\tRenderTarget1 is never written\\nPass P1: "
                  "C:\\\\fx\\\\a.fx\n"),
           "-o", out() + "/one.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors,
                       "message box from the plug-in: Texloom (validation)\n"
                       "  | RenderTarget1 is never written\n"
                       "  | Pass P1: C:\\fx\\a.fx\n"))
      << result.errors;
}

TEST_F(RunCommandTest, EffectSummaryUnlessQuiet) {
  const std::string clip = MakeClip(1);
  const std::string effect = Effect(kControls);
  ProgramResult result = Run({clip, "-e", effect, "--track", "Offset=9", "-o", out() + "/a.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "effect: Lift (stand-in)\n")) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "  track 0 Offset = 9  (default 0, -4096..4096)\n"));
  EXPECT_TRUE(Contains(result.errors, "  check 0 Invert = 0  (default 0)\n"));
  result = Run({clip, "-e", effect, "-q", "-o", out() + "/b.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_EQ("", result.errors);
}

TEST_F(RunCommandTest, EveryHostOptionIsPassedOn) {
  const std::string clip = MakeClip(2);
  const ProgramResult result =
      Run({clip, "-e", Effect(kControls), "--track", "Offset=5", "--check", "0=1", "--disable-pp",
           "--dev", "-1", "--threads", "2", "-o", out() + "/"});
  ASSERT_EQ(0, result.status) << result.errors;
  const std::string arguments = ReadText(log());
  EXPECT_EQ(0u, arguments.find("run\n--plugin\n" + tmp() + "/texloom-run.")) << arguments;
  EXPECT_TRUE(Contains(arguments, "/plugin/texloom.auf\n--input\n")) << arguments;
  EXPECT_TRUE(Contains(arguments, "--width\n7\n--height\n5\n--frames\n2\n--first\n0\n--last\n1\n"));
  EXPECT_TRUE(Contains(
      arguments, "--track\nOffset=5\n--check\n0=1\n--disable-pp\n1\n--dev\n-1\n--threads\n2\n"))
      << arguments;
}

TEST_F(RunCommandTest, HlslSourceIsPlacedAsTexloomFx) {
  const std::string clip = MakeClip(1);
  const ProgramResult result =
      Run({clip, "-e", Effect("title From source\n", "shader.FX"), "-o", out() + "/a.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "effect: From source")) << result.errors;
}

TEST_F(RunCommandTest, HostDiagnosticsAreShown) {
  const std::string clip = MakeClip(1);
  const ProgramResult result =
      Run({clip, "-e", Effect("stderr note from the host\n"), "-o", out() + "/a.png"});
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "texloom-run: host: note from the host\n")) << result.errors;
}

TEST_F(RunCommandTest, UnderWineTheHostGetsWindowsPaths) {
  const std::string clip = MakeClip(2);
  std::vector<std::string> arguments = {TEXLOOM_RUN_PROGRAM, clip,       "-e", Effect(kControls),
                                        "--check",           "Invert=1", "-o", out() + "/"};
  const ProgramResult result = RunProgram(arguments, WineEnvironment());
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "starting texloom.auf under Wine")) << result.errors;
  std::string windows_tmp = "Z:" + tmp();
  std::replace(windows_tmp.begin(), windows_tmp.end(), '/', '\\');
  const std::string arguments_seen = ReadText(log());
  EXPECT_EQ(0u, arguments_seen.find("run\n--plugin\n" + windows_tmp + "\\texloom-run."))
      << arguments_seen;
  EXPECT_TRUE(Contains(arguments_seen, "\\plugin\\texloom.auf\n--input\n-\n")) << arguments_seen;
  const std::vector<Image> back = ReadFrames(out() + "/frame_%06d.png", kWidth, kHeight);
  ASSERT_EQ(2u, back.size());
  ExpectSameImage(Inverted(frames_[1]), back[1]);
}

TEST_F(RunCommandTest, ExistingOutputIsRefusedUnlessReplacingIsAsked) {
  const std::string clip = MakeClip(1);
  const struct {
    std::vector<std::string> flags;
    int status;
  } cases[] = {{{}, 2}, {{"-n"}, 2}, {{"-y"}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags.empty() ? "no flag" : c.flags[0]);
    WriteText(out() + "/a.png", "old");
    std::vector<std::string> arguments = {clip, "-e", Effect(kControls), "-o", out() + "/a.png"};
    arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
    const ProgramResult result = Run(arguments);
    ASSERT_EQ(c.status, result.status) << result.errors;
    EXPECT_EQ(std::vector<std::string>{"a.png"}, ListFolder(out()));
    if (c.status == 0) {
      EXPECT_EQ(1u, ReadFrames(out() + "/a.png", kWidth, kHeight).size());
    } else {
      EXPECT_EQ("old", ReadText(out() + "/a.png"));
      EXPECT_TRUE(Contains(result.errors, "a.png' exists; -y replaces it")) << result.errors;
    }
  }
}

TEST_F(RunCommandTest, HelpAndVersionGoToStandardOutput) {
  const std::pair<const char*, const char*> cases[] = {{"--help", "Usage: texloom-run"},
                                                       {"--version", "texloom-run 1."}};
  for (const auto& c : cases) {
    const ProgramResult result = Run({c.first});
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(0u, result.output.find(c.second)) << result.output;
    EXPECT_EQ("", result.errors);
  }
}

// An identity effect gives a deep clip back within the host's precision:
// Y, Cb and Cr in steps of 1/4096 move R, G or B by at most
// 0.5 * (1 + 1.772) / 4096, 22.2 code values at 16 bits; 10-bit Y'CbCr
// comes back within a code value, but 4:2:0 chroma is resampled on the way
// in and out: 1 to 4 code values on ffmpeg's random gradients, 3 on this
// one (colours and ends given, as the source picks them at random
// otherwise).
TEST_F(RunCommandTest, DeepClipsComeBackWithinTheHostsPrecision) {
  const struct {
    std::string source_format, output;
    std::vector<std::string> flags;
    int tolerance;
  } cases[] = {
      {"rgb48le", "deep_%d.png", {}, 23},
      {"yuv420p10le", "deep.mkv", {"-c:v", "ffv1", "-pix_fmt", "yuv420p10le"}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source_format);
    const std::string clip = scratch_ / ("gradient_" + c.source_format + ".mkv");
    ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                             "gradients=s=64x48:d=0.3:r=10:n=3:c0=0x102030:c1=0xf0c080:c2=0x40f0a0:"
                             "x0=0:y0=0:x1=63:y1=47", "-pix_fmt", c.source_format, "-c:v",
                             "ffv1", "-y", clip},
                            {})
                     .status);
    std::vector<std::string> arguments = {clip, "-e", Effect(kControls), "-o", out() + "/" + c.output};
    arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
    const ProgramResult result = Run(arguments);
    ASSERT_EQ(0, result.status) << result.errors;
    auto samples = [&](const std::string& file) {
      return RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "rawvideo",
                         "-pix_fmt", c.source_format, "-"},
                        {})
          .output;
    };
    const std::string before = samples(clip);
    const std::string after = samples(out() + "/" + c.output);
    ASSERT_EQ(before.size(), after.size());
    int worst = 0;
    for (size_t i = 0; i + 1 < before.size(); i += 2) {
      const int a = static_cast<uint8_t>(before[i]) | static_cast<uint8_t>(before[i + 1]) << 8;
      const int b = static_cast<uint8_t>(after[i]) | static_cast<uint8_t>(after[i + 1]) << 8;
      worst = std::max(worst, std::abs(a - b));
    }
    std::printf("%s: at most %d code values apart\n", c.source_format.c_str(), worst);
    EXPECT_LE(worst, c.tolerance);
  }
}

// The edit loop, as the users' guides show it: renders the chosen frames
// beside their sources, compiles an HLSL effect on every save of it or of a
// file it includes, reports a broken save and waits for the next, and ends
// on Ctrl-C.
TEST_F(RunCommandTest, WatchRendersAgainOnEverySave) {
  // The guides' command: clip, effect, frames, output folder.
  std::smatch shown;
  const std::regex kCommand(
      R"(\n +tools/texloom-run (\S+) -e (\S+) --watch --frames ([0-9,]+) -o (\S+)\n)");
  const std::string guide = ReadText(TEXLOOM_SOURCE_DIR "/docs/users-guide.md");
  ASSERT_TRUE(std::regex_search(guide, shown, kCommand));
  EXPECT_TRUE(Contains(ReadText(TEXLOOM_SOURCE_DIR "/docs/users-guide.ja.md"), shown[0].str()));
  std::vector<long> frames;
  std::istringstream listed(shown[3].str());
  for (std::string number; std::getline(listed, number, ',');) frames.push_back(std::stol(number));
  MakeClip(static_cast<int>(frames.back()) + 1);
  const std::string clip = scratch_ / shown[1].str();
  ASSERT_EQ(0, rename((scratch_ / "clip.mkv").c_str(), clip.c_str()));
  const std::string effect = Effect("#include controls.fxh\n", shown[2].str());
  const std::string preview = out() + "/" + shown[4].str();
  Effect(kControls, "controls.fxh");
  auto environment = Environment();
  environment.push_back({"TEXLOOM_FXO", TEXLOOM_RUN_FAKE_FXO});
  const pid_t command =
      StartProgram({TEXLOOM_RUN_PROGRAM, clip, "-e", effect, "--watch", "--frames", shown[3].str(),
                    "-o", preview},
                   environment, scratch_ / "errors");
  ASSERT_GT(command, 0);
  const std::string rendered = "rendered " + std::to_string(frames.size()) + " frames into";
  auto wait_for = [&](const std::string& text, int count) {
    for (int i = 0; i < 1500; ++i) {
      const std::string errors = ReadText(scratch_ / "errors");
      size_t found = 0;
      for (size_t at = errors.find(text); at != std::string::npos; at = errors.find(text, at + 1)) {
        ++found;
      }
      if (found >= static_cast<size_t>(count)) return true;
      usleep(10000);
    }
    return false;
  };
  ASSERT_TRUE(wait_for(rendered, 1)) << ReadText(scratch_ / "errors");
  EXPECT_TRUE(wait_for("watching " + effect + " and the files it includes", 1));
  std::vector<std::string> names;
  for (long frame : frames) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06ld.png", frame);
    names.push_back(name);
  }
  const std::vector<Image> side_by_side =
      ReadFrames(preview + "/" + names.back(), 2 * kWidth, kHeight);
  ASSERT_EQ(1u, side_by_side.size());
  // Each save of the included file, and what the loop then says (each
  // text that many times in all).
  const struct {
    std::string text;
    std::vector<std::pair<std::string, int>> said;
  } saves[] = {
      {"discovery-fail\n", {{"waiting for", 1}}},
      {"error\n",
       {{(scratch_ / "controls.fxh") + ":1:1: error X3000: syntax error", 1},
        {"texloom-run: the effect '" + effect + "' does not compile", 1},
        {"waiting for", 2}}},
      {std::string(kControls) + "check Invert 1\n", {{rendered, 2}}},
  };
  for (const auto& save : saves) {
    SCOPED_TRACE(save.text);
    sleep(1);  // a later modification time
    Effect(save.text, "controls.fxh");
    for (const auto& [text, times] : save.said) {
      EXPECT_TRUE(wait_for(text, times)) << text << "\n" << ReadText(scratch_ / "errors");
    }
  }
  kill(command, SIGINT);
  EXPECT_EQ(130, WaitProgram(command));
  EXPECT_EQ(names, ListFolder(preview));
}

// The clip's audio goes into a container that takes it bit for bit; one
// that cannot take it unchanged gets none, and says so; -an drops it. A part
// of a clip of variable frame rate gets the audio from its first frame's time
// to the next frame's (frames 4 and 5 at 2.0 and 3.0 s, frame 6 at 4.2 s).
TEST_F(RunCommandTest, AudioIsCopiedWhereTheContainerTakesIt) {
  MakeClip(3);
  const std::string clip = scratch_ / "with_audio.mkv";
  ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", scratch_ / "clip.mkv", "-f",
                           "lavfi", "-i", "sine=f=440:d=0.3:sample_rate=8000", "-map", "0:v",
                           "-map", "1:a", "-c:v", "copy", "-c:a", "pcm_s16le", "-y", clip},
                          {})
                   .status);
  MakeClip(8);
  const std::string variable = scratch_ / "variable_audio.mkv";
  ASSERT_EQ(0, RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", scratch_ / "clip.mkv", "-f",
                           "lavfi", "-i", "sine=f=440:d=6:sample_rate=8000:samples_per_frame=80",
                           "-map", "0:v", "-map", "1:a", "-vf",
                           "setpts=(N+if(gte(N\\,3)\\,N*N\\,0))/10/TB", "-fps_mode",
                           "passthrough", "-c:v", "ffv1", "-pix_fmt", "bgr0", "-c:a", "pcm_s16le",
                           "-y", variable},
                          {})
                   .status);
  auto pcm = [](const std::string& file) {
    return RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-map", "0:a", "-f",
                       "s16le", "-"},
                      {})
        .output;
  };
  // copied: the clip's samples from..to (all of them when to is 0).
  const struct {
    std::string clip, output;
    std::vector<std::string> flags;
    bool copied;
    size_t from, to;
    std::string note;
  } cases[] = {
      {clip, "a.mkv", {}, true, 0, 0, "audio (pcm_s16le) copied"},
      {clip, "b.mp4", {}, false, 0, 0,
       "audio (pcm_s16le) left out: a .mp4 file cannot take it unchanged"},
      {clip, "c.mkv", {"-an"}, false, 0, 0, ""},
      {variable, "d.mkv", {"--from", "4", "--to", "5"}, true, 16000, 33600, "copied"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> arguments = {c.clip, "-e", Effect(kControls), "-o",
                                          out() + "/" + c.output};
    arguments.insert(arguments.end(), c.flags.begin(), c.flags.end());
    const ProgramResult result = Run(arguments);
    ASSERT_EQ(0, result.status) << result.errors;
    EXPECT_TRUE(Contains(result.errors, c.note)) << result.errors;
    const std::string back = pcm(out() + "/" + c.output);
    if (c.copied) {
      const std::string whole = pcm(c.clip);
      ASSERT_EQ(c.to == 0 ? 2400u * 2 : 2 * (c.to - c.from), back.size());
      EXPECT_TRUE((c.to == 0 ? whole : whole.substr(2 * c.from, back.size())) == back)
          << "not bit for bit";
    } else {
      EXPECT_EQ("", back);
    }
  }
}

}  // namespace
}  // namespace run_test
