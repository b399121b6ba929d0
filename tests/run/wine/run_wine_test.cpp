// texloom-run end to end with the real texloom.auf under Wine: an effect
// description made into an .fxo by tools/texloom-fxo, run over a small clip
// by tools/texloom-run through texloom-host.exe, and the output frames
// compared with what the effect must give, computed here from the clip's
// pixels. And HLSL source with an include, compiled by tools/texloom-fxo
// before the run. And the users' guides' --dump-targets command: a two-pass
// effect whose first pass draws a picture known exactly.
//
// When Wine or Direct3D cannot run here the command says what is missing
// (status 5); this program then prints one "SKIPPED:" line and ends with
// status 77, the test command's mark of a step that could not run.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "run/run_test_support.h"

namespace run_test {
namespace {

std::string g_skipped;  // why Wine cannot run here, once known

// A filter that inverts (Check0 "Invert") and lifts (Track0 "Lift", in
// 8-bit code values) in the host's YCbCr: on the GPU Y is in 0..1, Cb and Cr
// in -0.5..0.5 (the default 32-bit float format), so inverting is
// (1 - Y, -Cb, -Cr) and a lift of L adds L / 255 to Y, that is L to each of
// R, G and B.
const char* const kDescription = R"(// texloom-run's Wine test
int4 FilterVersion < string name = "Invert lift"; string ex_info = "texloom-run test"; > = {1, 0, 0, 0};
int Track0 < string name = "Lift"; int def = 0; int min = -255; int max = 255; > = 0;
bool Check0 < string name = "Invert"; bool def = false; > = false;
texture TxSrc0 < int frame_offset = 0; >;
sampler2D Source0 = sampler_state {
  Texture = <TxSrc0>;
  MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
technique ProcessImage0 {
  pass P0 {
    PixelShader = asm {
      ps_2_0
      def c5, 1, 0, 0, 0.0039215689
      dcl t0.xy
      dcl_2d s0
      texld r0, t0, s0
      mov r1, -r0
      add r1.x, c5.x, -r0.x
      cmp r0.xyz, -c4.x, r0, r1
      mad r0.x, c0.x, c5.w, r0.x
      mov oC0, r0
    };
    bind { c0 = Track0; c4 = Check0; s0 = Source0; }
  }
}
)";

const char* const kHlsl = R"(int4 FilterVersion < string name = "HLSL invert"; > = {1, 0, 0, 0};
texture TxSrc0;
sampler2D Source0 = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
};
#include "invert.fxh"
technique ProcessImage0 { pass P0 { PixelShader = compile ps_2_0 Invert(); } }
)";
const char* const kHlslInclude = R"(float4 Invert(float2 uv : TEXCOORD0) : COLOR0 {
  float4 c = tex2D(Source0, uv);
  return float4(1 - c.x, -c.y, -c.z, c.w);
}
)";

// Pass 0 draws (0.25, 0.5, 0.75, 1) in the top-left corner (pixels 0..4 ×
// 0..2 of 15 × 9: the texture coordinates at pixel centres are well away
// from 0.35) and (1, 0.75, 0.5, 0.25) elsewhere; pass 1 inverts the source.
const char* const kTwoPasses = R"(int4 FilterVersion < string name = "Two passes"; > = {1, 0, 0, 0};
texture TxSrc0;
texture TxTmp;
sampler2D Source0 = sampler_state {
  Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
};
float4 Known(float2 uv : TEXCOORD0) : COLOR0 {
  float corner = (uv.x < 0.35 && uv.y < 0.35) ? 1.0 : 0.0;
  return lerp(float4(1, 0.75, 0.5, 0.25), float4(0.25, 0.5, 0.75, 1), corner);
}
float4 Invert(float2 uv : TEXCOORD0) : COLOR0 {
  float4 c = tex2D(Source0, uv);
  return float4(1 - c.x, -c.y, -c.z, c.w);
}
technique ProcessImage0 {
  pass P0 { PixelShader = compile ps_2_0 Known(); }
  pass P1 { PixelShader = compile ps_2_0 Invert(); }
}
)";

constexpr int kWidth = 15;  // odd sides, not powers of two
constexpr int kHeight = 9;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The command as a user runs it; the environment names nothing but the
// native program built with this test, so the wrapper finds (or builds) the
// module, texloom-host.exe and the Direct3D probe where it always does.
ProgramResult RunCommand(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {TEXLOOM_SOURCE_DIR "/tools/texloom-run"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, {{"TEXLOOM_RUN_PROGRAM", TEXLOOM_RUN_PROGRAM}, {"TEXLOOM_RUN_HOST", ""}});
}

class RunUnderWineTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveFfmpeg()) g_skipped = "ffmpeg is not installed (Debian: ffmpeg)";
    if (!g_skipped.empty()) GTEST_SKIP() << g_skipped;
    frames_ = {TestFrame(kWidth, kHeight, 0), TestFrame(kWidth, kHeight, 1),
               TestFrame(kWidth, kHeight, 2)};
    ASSERT_TRUE(MakeLosslessClip(frames_, scratch_.path(), scratch_ / "clip.mkv"));
  }

  // Status 5: Wine cannot run here; the rest of the program is skipped.
  bool Skipped(const ProgramResult& result) {
    if (result.status != 5) return false;
    const std::string marker = "cannot run texloom.auf here: ";
    const size_t at = result.errors.find(marker);
    g_skipped = at == std::string::npos
                    ? "texloom-run ended with status 5"
                    : result.errors.substr(at + marker.size(),
                                           result.errors.find('\n', at) - at - marker.size());
    return true;
  }

  // frames/frame_NNNNNN.png, first..last, are the clip's frames inverted
  // and lifted by `lift` code values. Exact: the GPU works in 32-bit floats
  // on multiples of 1/4096, and half a step of the host's Y, Cb and Cr
  // moves an 8-bit component by at most 0.09 each way (in and out), so
  // rounding lands on the exact value.
  void ExpectFrames(int first, int last, int lift) {
    std::vector<std::string> names;
    for (int f = first; f <= last; ++f) {
      SCOPED_TRACE(f);
      char name[40];
      std::snprintf(name, sizeof name, "frame_%06d.png", f);
      names.push_back(name);
      const std::vector<Image> back = ReadFrames(scratch_ / ("frames/" + std::string(name)), kWidth, kHeight);
      ASSERT_EQ(1u, back.size());
      for (size_t i = 0; i < back[0].rgb.size(); ++i) {
        const int expected = std::min(255, 255 - frames_[f].rgb[i] + lift);
        if (back[0].rgb[i] != expected) {
          ADD_FAILURE() << "pixel " << i / 3 << " component " << i % 3 << ": expected "
                        << expected << ", got " << int(back[0].rgb[i]);
          break;
        }
      }
    }
    EXPECT_EQ(names, ListFolder(scratch_ / "frames"));
  }

  Scratch scratch_;
  std::vector<Image> frames_;
};

TEST_F(RunUnderWineTest, HlslSourceIsCompiledAndRun) {
  WriteText(scratch_ / "invert.fx", kHlsl);
  WriteText(scratch_ / "invert.fxh", kHlslInclude);
  const ProgramResult result = RunCommand(
      {scratch_ / "clip.mkv", "-e", scratch_ / "invert.fx", "--from", "2", "-o", scratch_ / "frames/"});
  if (Skipped(result)) GTEST_SKIP() << g_skipped;
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "effect: HLSL invert")) << result.errors;
  ExpectFrames(2, 2, 0);
}

TEST_F(RunUnderWineTest, DescriptionBuiltByTexloomFxoInvertsAndLiftsFrames) {
  WriteText(scratch_ / "invert.fxd", kDescription);
  // texloom-fxo runs in a prefix of its own, kept with the run's Wine state
  // when there is one.
  const char* state = std::getenv("TEXLOOM_WINE_STATE");
  const std::string prefix = state != nullptr && *state != '\0'
                                 ? std::string(state) + "/texloom-fxo-prefix"
                                 : scratch_ / "prefix";
  const ProgramResult fxo =
      RunProgram({TEXLOOM_SOURCE_DIR "/tools/texloom-fxo", scratch_ / "invert.fxd", "-o",
                  scratch_ / "invert.fxo"},
                 // No Mono or Gecko installers in a new prefix.
                 {{"WINEPREFIX", prefix}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}});
  RunProgram({"wineserver", "-k"}, {{"WINEPREFIX", prefix}});
  ASSERT_EQ(0, fxo.status) << fxo.errors;

  const ProgramResult result =
      RunCommand({scratch_ / "clip.mkv", "-e", scratch_ / "invert.fxo", "--check", "Invert=1",
                  "--track", "Lift=10", "--from", "1", "-o", scratch_ / "frames/"});
  if (Skipped(result)) GTEST_SKIP() << g_skipped;
  ASSERT_EQ(0, result.status) << result.errors;
  std::printf("%s", result.errors.c_str());
  EXPECT_TRUE(Contains(result.errors, "effect: Invert lift (texloom-run test"));
  EXPECT_TRUE(Contains(result.errors, "  track 0 Lift = 10  (default 0, -255..255)\n"));
  EXPECT_TRUE(Contains(result.errors, "  check 0 Invert = 1  (default 0)\n"));
  ExpectFrames(1, 2, 10);
}

// The guides' command. The targets are 32-bit float, so pass 0's values
// reach the PNG as round(v × 65535) exactly; the output frames are what the
// effect gives without the dump (ExpectFrames).
TEST_F(RunUnderWineTest, DumpTargetsAsTheGuidesShowIt) {
  std::smatch shown;
  const std::regex kCommand(
      R"(\n +tools/texloom-run (\S+) -e (\S+) --frames ([0-9,]+) --dump-targets (\S+) -o (\S+)\n)");
  const std::string guide = ReadText(TEXLOOM_SOURCE_DIR "/docs/users-guide.md");
  ASSERT_TRUE(std::regex_search(guide, shown, kCommand));
  EXPECT_NE(std::string::npos,
            ReadText(TEXLOOM_SOURCE_DIR "/docs/users-guide.ja.md").find(shown[0].str()));
  ASSERT_EQ("frames/", shown[5].str()) << "ExpectFrames reads frames/";
  std::vector<long> dumped;
  std::istringstream listed(shown[3].str());
  for (std::string number; std::getline(listed, number, ',');) dumped.push_back(std::stol(number));
  const long last = *std::max_element(dumped.begin(), dumped.end());
  frames_.clear();
  for (long f = 0; f <= last; ++f) frames_.push_back(TestFrame(kWidth, kHeight, static_cast<int>(f)));
  ASSERT_TRUE(MakeLosslessClip(frames_, scratch_.path(), scratch_ / "long.mkv"));
  ASSERT_EQ(0, rename((scratch_ / "long.mkv").c_str(), (scratch_ / shown[1].str()).c_str()));
  WriteText(scratch_ / shown[2].str(), kTwoPasses);

  const ProgramResult result =
      RunCommand({scratch_ / shown[1].str(), "-e", scratch_ / shown[2].str(), "--frames",
                  shown[3].str(), "--dump-targets", scratch_ / shown[4].str(), "-o",
                  scratch_ / shown[5].str()});
  if (Skipped(result)) GTEST_SKIP() << g_skipped;
  ASSERT_EQ(0, result.status) << result.errors;
  EXPECT_TRUE(Contains(result.errors, "wrote " + std::to_string(2 * dumped.size()) +
                                          " render targets as 16-bit PNG to"))
      << result.errors;
  ExpectFrames(0, static_cast<int>(last), 0);

  std::vector<std::string> names;
  std::string known;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool corner = x <= 4 && y <= 2;
      const uint16_t rgba[4] = {static_cast<uint16_t>(corner ? 16384 : 65535),
                                static_cast<uint16_t>(corner ? 32768 : 49151),
                                static_cast<uint16_t>(corner ? 49151 : 32768),
                                static_cast<uint16_t>(corner ? 65535 : 16384)};
      known.append(reinterpret_cast<const char*>(rgba), sizeof rgba);
    }
  }
  for (long frame : dumped) {
    char name[64];
    std::snprintf(name, sizeof name, "frame_%06ld_pass0_out0_slot1.png", frame);
    names.push_back(name);
    const ProgramResult pixels =
        RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", scratch_ / (shown[4].str() + name),
                    "-f", "rawvideo", "-pix_fmt", "rgba64le", "-"},
                   {});
    EXPECT_EQ(known, pixels.output) << name;
    std::snprintf(name, sizeof name, "frame_%06ld_pass1_out0_slot0.png", frame);
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, ListFolder(scratch_ / shown[4].str()));
}

// --watch under Wine: the renders share one Wine session (no "started for
// each render" note), and Ctrl-C leaves no process of it behind: none has
// the command's temporary folder in its environment (the session's
// wineserver, display and Wine's services all do).
TEST_F(RunUnderWineTest, WatchKeepsWineRunningUntilCtrlC) {
  WriteText(scratch_ / "invert.fx", kHlsl);
  WriteText(scratch_ / "invert.fxh", kHlslInclude);
  const std::string tmp = scratch_ / "tmp";
  ASSERT_EQ(0, RunProgram({"mkdir", tmp}, {}).status);
  const pid_t command = StartProgram(
      {TEXLOOM_SOURCE_DIR "/tools/texloom-run", scratch_ / "clip.mkv", "-e", scratch_ / "invert.fx",
       "--watch", "--frames", "0,2", "-o", scratch_ / "preview/"},
      {{"TEXLOOM_RUN_PROGRAM", TEXLOOM_RUN_PROGRAM}, {"TEXLOOM_RUN_HOST", ""}, {"TMPDIR", tmp}},
      scratch_ / "errors");
  ASSERT_GT(command, 0);
  auto rendered = [&](int times) {
    for (int i = 0; i < 3000; ++i) {
      const std::string errors = ReadText(scratch_ / "errors");
      size_t found = 0;
      for (size_t at = errors.find("rendered 2 frames"); at != std::string::npos;
           at = errors.find("rendered 2 frames", at + 1)) {
        ++found;
      }
      if (found >= static_cast<size_t>(times) || Contains(errors, "cannot run texloom.auf here")) {
        return found >= static_cast<size_t>(times);
      }
      usleep(100000);
    }
    return false;
  };
  const bool first = rendered(1);
  const std::string errors = ReadText(scratch_ / "errors");
  if (!first && Contains(errors, "cannot run texloom.auf here: ")) {
    kill(command, SIGINT);
    WaitProgram(command);
    const size_t at = errors.find("cannot run texloom.auf here: ") + 29;
    g_skipped = errors.substr(at, errors.find('\n', at) - at);
    GTEST_SKIP() << g_skipped;
  }
  EXPECT_TRUE(first) << errors;
  sleep(1);  // a later modification time
  WriteText(scratch_ / "invert.fxh", kHlslInclude);
  EXPECT_TRUE(rendered(2)) << ReadText(scratch_ / "errors");
  kill(command, SIGINT);
  EXPECT_EQ(130, WaitProgram(command));
  EXPECT_FALSE(Contains(ReadText(scratch_ / "errors"), "started for each render"))
      << ReadText(scratch_ / "errors");
  // Ours all start so; Wine keeps its own server folder there (wine-XXXXXX).
  for (const std::string& left : ListFolder(tmp)) {
    EXPECT_NE(0u, left.rfind("texloom-", 0)) << "left behind: " << left;
  }
  for (const std::string& entry : ListFolder("/proc")) {
    if (entry.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string state = ReadText("/proc/" + entry + "/stat");
    EXPECT_FALSE(Contains(ReadText("/proc/" + entry + "/environ"), tmp) && !Contains(state, ") Z "))
        << "still running: " << state;
  }
}

}  // namespace
}  // namespace run_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  if (!run_test::g_skipped.empty()) {
    std::printf("SKIPPED: %s\n", run_test::g_skipped.c_str());
    return 77;
  }
  return status;
}
