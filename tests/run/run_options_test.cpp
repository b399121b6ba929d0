// texloom-run's command line: every option, both spellings of values, and
// every malformed form with the message it gets.
#include "run/run_options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace texloom_run {
namespace {

const std::vector<std::string> kMinimal = {"clip.mp4", "-e", "fx.fxo", "-o", "out.mp4"};

std::vector<std::string> With(std::vector<std::string> extra) {
  std::vector<std::string> arguments = kMinimal;
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

RunOptions Parsed(const std::vector<std::string>& arguments) {
  const ParsedOptions parsed = ParseRunOptions(arguments);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return parsed.options;
}

TEST(RunOptionsTest, MinimalCommandAndDefaults) {
  const RunOptions options = Parsed(kMinimal);
  EXPECT_FALSE(options.help);
  EXPECT_EQ("clip.mp4", options.input);
  EXPECT_EQ("fx.fxo", options.effect);
  ASSERT_EQ(1u, options.outputs.size());
  EXPECT_EQ(OutputKind::video, options.outputs[0].kind);
  EXPECT_EQ("out.mp4", options.outputs[0].path);
  EXPECT_EQ(0, options.from);
  EXPECT_EQ(-1, options.to);
  EXPECT_TRUE(options.tracks.empty());
  EXPECT_TRUE(options.checks.empty());
  EXPECT_FALSE(options.disable_pp);
  EXPECT_FALSE(options.dev_set);
  EXPECT_EQ(-1, options.threads);
  EXPECT_TRUE(options.fps.empty());
  EXPECT_TRUE(options.plugin.empty());
  EXPECT_FALSE(options.quiet);
}

TEST(RunOptionsTest, EveryOptionInLongAndShortForms) {
  const RunOptions options = Parsed({"--input",  "in.mkv",      "--effect",     "a.fx",
                                     "--output", "v.mkv",       "-o",           "pics/f_%04d.png",
                                     "--track",  "Radius=3",    "--track=0=-7", "--check",
                                     "Invert=1", "--check=2=0", "--from",       "4",
                                     "--to=9",   "--fps",       "30000/1001",   "--disable-pp",
                                     "--dev",    "-1",          "--threads=3",  "--plugin",
                                     "my.auf",   "-q"});
  EXPECT_EQ("in.mkv", options.input);
  EXPECT_EQ("a.fx", options.effect);
  ASSERT_EQ(2u, options.outputs.size());
  EXPECT_EQ(OutputKind::video, options.outputs[0].kind);
  EXPECT_EQ(OutputKind::png_pattern, options.outputs[1].kind);
  EXPECT_EQ("pics/f_%04d.png", options.outputs[1].path);
  ASSERT_EQ(2u, options.tracks.size());
  EXPECT_EQ("Radius", options.tracks[0].key);
  EXPECT_EQ(3, options.tracks[0].value);
  EXPECT_EQ("0", options.tracks[1].key);
  EXPECT_EQ(-7, options.tracks[1].value);
  ASSERT_EQ(2u, options.checks.size());
  EXPECT_EQ("Invert", options.checks[0].key);
  EXPECT_EQ(1, options.checks[0].value);
  EXPECT_EQ("2", options.checks[1].key);
  EXPECT_EQ(0, options.checks[1].value);
  EXPECT_EQ(4, options.from);
  EXPECT_EQ(9, options.to);
  EXPECT_EQ("30000/1001", options.fps);
  EXPECT_TRUE(options.disable_pp);
  EXPECT_TRUE(options.dev_set);
  EXPECT_EQ(-1, options.dev);
  EXPECT_EQ(3, options.threads);
  EXPECT_EQ("my.auf", options.plugin);
  EXPECT_TRUE(options.quiet);
}

TEST(RunOptionsTest, ClipByOptionOrPositionAndAfterDoubleDash) {
  EXPECT_EQ("c.mov", Parsed({"-i", "c.mov", "-e", "f.fxo", "-o", "o.mp4"}).input);
  EXPECT_EQ("-odd name.mov", Parsed({"-e", "f.fxo", "-o", "o.mp4", "--", "-odd name.mov"}).input);
  EXPECT_EQ("frames_%03d.png", Parsed({"-e", "f.fxo", "frames_%03d.png", "-o", "o.mp4"}).input);
}

TEST(RunOptionsTest, FfmpegStyleOutputOptions) {
  const RunOptions options =
      Parsed(With({"-y", "-an", "-c:v", "ffv1", "-crf", "18", "-preset", "slow", "-pix_fmt",
                   "gbrp16le", "--ffmpeg-output-args", "-g 1  -slices 4"}));
  EXPECT_EQ(Overwrite::replace, options.overwrite);
  EXPECT_FALSE(options.encoder.audio);
  EXPECT_EQ("ffv1", options.encoder.codec);
  EXPECT_EQ("18", options.encoder.crf);
  EXPECT_EQ("slow", options.encoder.preset);
  EXPECT_EQ("gbrp16le", options.encoder.pix_fmt);
  EXPECT_EQ((std::vector<std::string>{"-g", "1", "-slices", "4"}), options.encoder.extra);
  EXPECT_EQ(Overwrite::never, Parsed(With({"-n"})).overwrite);
  EXPECT_EQ(Overwrite::refuse, Parsed(kMinimal).overwrite);
  EXPECT_TRUE(Parsed({"--version"}).version);
}

TEST(RunOptionsTest, HelpNeedsNothingElse) {
  EXPECT_TRUE(Parsed({"--help"}).help);
  EXPECT_TRUE(Parsed({"-h"}).help);
  EXPECT_TRUE(Parsed({"clip.mp4", "-h"}).help);
  EXPECT_NE(std::string::npos, UsageText().find("--track KEY=VALUE"));
  EXPECT_NE(std::string::npos, UsageText().find("Exit status"));
}

TEST(RunOptionsTest, ControlNamesMayHoldSpacesAndEqualsSigns) {
  const RunOptions options = Parsed(With({"--track", "Blur radius=12", "--check", "a=b=1"}));
  EXPECT_EQ("Blur radius", options.tracks[0].key);
  EXPECT_EQ(12, options.tracks[0].value);
  EXPECT_EQ("a=b", options.checks[0].key);
  EXPECT_EQ(1, options.checks[0].value);
}

TEST(RunOptionsTest, NoParallelRunService) {
  EXPECT_EQ(0, Parsed(With({"--threads", "0"})).threads);
}

TEST(RunOptionsTest, FrameRates) {
  for (const char* rate : {"25", "29.97", "30000/1001", "0.5", "120"}) {
    SCOPED_TRACE(rate);
    EXPECT_EQ(rate, Parsed(With({"--fps", rate})).fps);
  }
}

struct BadCase {
  std::vector<std::string> arguments;
  const char* message;
};

TEST(RunOptionsTest, MalformedCommandLines) {
  const BadCase cases[] = {
      {{}, "no clip given"},
      {{"-e", "f.fxo", "-o", "o.mp4"}, "no clip given"},
      {{"clip.mp4", "-o", "o.mp4"}, "no effect given"},
      {{"clip.mp4", "-e", "f.fxo"}, "no output given"},
      {{"a.mp4", "b.mp4", "-e", "f.fxo", "-o", "o.mp4"}, "the clip is given twice"},
      {{"a.mp4", "-i", "b.mp4", "-e", "f.fxo", "-o", "o.mp4"}, "the clip is given twice"},
      {{"-", "-e", "f.fxo", "-o", "o.mp4"}, "cannot come from standard input"},
      {{"-i", "", "-e", "f.fxo", "-o", "o.mp4"}, "the clip is empty"},
      {With({"--frobnicate"}), "unknown option '--frobnicate'"},
      {With({"-x"}), "unknown option '-x'"},
      {With({"-qv"}), "unknown option '-qv'"},
      {With({"--from"}), "--from needs a value"},
      {With({"-o"}), "-o needs a value"},
      {With({"--from", "x"}), "--from: expected a frame number (0 or more), got 'x'"},
      {With({"--from", "-1"}), "--from: expected a frame number (0 or more), got '-1'"},
      {With({"--from", "3.5"}), "--from: expected a frame number"},
      {With({"--from", "99999999999999999999"}), "--from: expected a frame number"},
      {With({"--to", ""}), "--to: expected a frame number"},
      {With({"--from", "1", "--from", "2"}), "--from is given twice"},
      {With({"--from", "5", "--to", "4"}), "--to 4 comes before --from 5"},
      {With({"--track", "Radius"}), "--track expects KEY=VALUE"},
      {With({"--track", "=3"}), "the control's index or name is missing"},
      {With({"--track", "Radius="}), "--track Radius: expected a whole number, got ''"},
      {With({"--track", "Radius=1.5"}), "expected a whole number, got '1.5'"},
      {With({"--track", "Radius=4294967296"}), "expected a whole number"},
      {With({"--track", "a\tb=1"}), "cannot hold a tab"},
      {With({"--check", "Invert=2"}), "a check box is 0 or 1, got '2'"},
      {With({"--check", "Invert=yes"}), "expected a whole number, got 'yes'"},
      {With({"--fps", "0"}), "--fps: expected a frame rate"},
      {With({"--fps", "-25"}), "--fps: expected a frame rate"},
      {With({"--fps", "30/0"}), "--fps: expected a frame rate"},
      {With({"--fps", "fast"}), "--fps: expected a frame rate"},
      {With({"--fps", "25", "--fps", "30"}), "--fps is given twice"},
      {With({"--dev", "first"}), "--dev: expected an adapter number"},
      {With({"--dev", "0", "--dev", "1"}), "--dev is given twice"},
      {With({"--threads", "-1"}), "--threads: expected a thread count from 0 to 256"},
      {With({"--threads", "257"}), "--threads: expected a thread count from 0 to 256"},
      {With({"--threads", "many"}), "--threads: expected a thread count"},
      {With({"--disable-pp=1"}), "--disable-pp takes no value"},
      {With({"--quiet=yes"}), "--quiet takes no value"},
      {With({"--disable-pp", "--disable-pp"}), "--disable-pp is given twice"},
      {With({"--plugin", "a.auf", "--plugin", "b.auf"}), "--plugin is given twice"},
      {With({"-e", "g.fxo"}), "-e is given twice"},
      {{"clip.mp4", "-e", "fx.hlsl", "-o", "o.mp4"}, "the effect must be a compiled .fxo or"},
      {{"clip.mp4", "-e", "fxo", "-o", "o.mp4"}, "the effect must be a compiled .fxo or"},
      {With({"-o", "out.mp4"}), "the output 'out.mp4' is given twice"},
      {With({"-o", "out.txt"}), "cannot tell what to write to 'out.txt'"},
      {With({"-o", "out"}), "cannot tell what to write to 'out'"},
      {With({"-o", "f_%d_%d.png"}), "needs exactly one %d or %0Nd"},
      {With({"-o", "f_%s.png"}), "needs exactly one %d or %0Nd"},
      {With({"-o", "f_%0d.png"}), "needs exactly one %d or %0Nd"},
      {With({"-o", "v_%03d.mp4"}), "a video output cannot be a pattern"},
      {With({"-o", ""}), "an output path is empty"},
      {With({"--watch"}), "--watch and --frames go together"},
      {With({"--frames", "1,x"}), "expected frame numbers such as 10,120,240"},
      {With({"--watch", "--frames", "1"}), "--watch writes into one folder"},
      {With({"--frames", "1"}), "--frames names the frames of --watch or --dump-targets"},
      {With({"--dump-targets", "t/"}), "--dump-targets needs the frames whose targets it writes"},
      {With({"--frames", "1", "--dump-targets", "a", "--dump-targets", "b"}),
       "--dump-targets is given twice"},
      {With({"--frames", "1", "--dump-targets", "/dev/null"}), "'/dev/null' is a file"},
      {{"clip.mp4", "-e", "fx.fxo", "--watch", "--frames", "1", "--dump-targets", "t"},
       "no output given"},
      {With({"-y", "-n"}), "-y (replace outputs) and -n (never replace) exclude each other"},
      {With({"-c:v", "-crf"}), "-c:v needs a value"},
  };
  for (const BadCase& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += "[" + argument + "]";
    SCOPED_TRACE(shown);
    const ParsedOptions parsed = ParseRunOptions(c.arguments);
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(std::string::npos, parsed.error.find(c.message)) << parsed.error;
  }
}

TEST(RunOptionsTest, OutputKinds) {
  struct Case {
    const char* path;
    OutputKind kind;
    const char* kept;
  };
  const Case cases[] = {
      {"a.mp4", OutputKind::video, "a.mp4"},
      {"dir/a.MKV", OutputKind::video, "dir/a.MKV"},
      {"a.webm", OutputKind::video, "a.webm"},
      {"a.mov", OutputKind::video, "a.mov"},
      {"a.avi", OutputKind::video, "a.avi"},
      {"x/f_%04d.png", OutputKind::png_pattern, "x/f_%04d.png"},
      {"f%d.PNG", OutputKind::png_pattern, "f%d.PNG"},
      {"100%%_%03d.png", OutputKind::png_pattern, "100%%_%03d.png"},
      {"still.png", OutputKind::png_single, "still.png"},
      {"frames/", OutputKind::png_folder, "frames"},
      {"frames.mp4/", OutputKind::png_folder, "frames.mp4"},
      {"/", OutputKind::png_folder, "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    OutputTarget target;
    std::string error;
    ASSERT_TRUE(ClassifyOutput(c.path, &target, &error)) << error;
    EXPECT_EQ(c.kind, target.kind);
    EXPECT_EQ(c.kept, target.path);
  }
}

TEST(RunOptionsTest, AnExistingFolderIsAFolderOutput) {
  char folder[] = "/tmp/texloom-run-options.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string named = std::string(folder) + "/looks.mp4";
  ASSERT_EQ(0, mkdir(named.c_str(), 0777));
  OutputTarget target;
  std::string error;
  EXPECT_TRUE(ClassifyOutput(named, &target, &error)) << error;
  EXPECT_EQ(OutputKind::png_folder, target.kind);
  EXPECT_TRUE(ClassifyOutput(folder, &target, &error)) << error;
  EXPECT_EQ(OutputKind::png_folder, target.kind);
  rmdir(named.c_str());
  rmdir(folder);
}

}  // namespace
}  // namespace texloom_run
