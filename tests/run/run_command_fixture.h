// The whole texloom-run program against the native stand-in host
// (tests/run/fake_host), on tiny clips made here with known pixels.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "run/run_test_support.h"

namespace run_test {

class RunCommandTest : public testing::Test {
 protected:
  static constexpr int kWidth = 7;  // odd sides on purpose
  static constexpr int kHeight = 5;

  void SetUp() override {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed (Debian: ffmpeg)";
    ASSERT_EQ(0, mkdir(tmp().c_str(), 0777));
    ASSERT_EQ(0, mkdir(out().c_str(), 0777));
    WriteText(plugin(), "not a real module: the stand-in host only looks beside it");
  }

  // Whatever happened, the command's scratch folder is gone.
  void TearDown() override {
    if (Exists(tmp())) {
      EXPECT_EQ(std::vector<std::string>{}, ListFolder(tmp())) << "temporary files were left";
    }
  }

  std::string tmp() const { return scratch_ / "tmp"; }
  std::string out() const { return scratch_ / "out"; }
  std::string plugin() const { return scratch_ / "texloom.auf"; }
  std::string log() const { return scratch_ / "host.log"; }

  // A lossless clip of `count` test frames; frames_ keeps them.
  std::string MakeClip(int count) {
    frames_.clear();
    for (int f = 0; f < count; ++f) frames_.push_back(TestFrame(kWidth, kHeight, f));
    const std::string clip = scratch_ / "clip.mkv";
    EXPECT_TRUE(MakeLosslessClip(frames_, scratch_.path(), clip));
    return clip;
  }

  std::string Effect(const std::string& script, const std::string& name = "fx.fxo") {
    WriteText(scratch_ / name, script);
    return scratch_ / name;
  }

  std::vector<std::pair<std::string, std::string>> Environment() const {
    return {{"TEXLOOM_RUN_HOST", TEXLOOM_RUN_FAKE_HOST},
            {"TEXLOOM_RUN_WINE", ""},
            {"TEXLOOM_RUN_HOST_EXE", ""},
            {"TEXLOOM_RUN_PLUGIN", plugin()},
            {"TEXLOOM_FAKE_HOST_LOG", log()},
            {"TEXLOOM_FAKE_WINE_SKIP", ""},
            {"TEXLOOM_FXO", ""},
            {"TMPDIR", tmp()}};
  }

  // The same, with the Wine route: tools/run_wine.sh's stand-in and
  // Windows paths.
  std::vector<std::pair<std::string, std::string>> WineEnvironment() const {
    auto environment = Environment();
    environment[0].second = "";
    environment[1].second = TEXLOOM_RUN_FAKE_WINE;
    environment[2].second = TEXLOOM_RUN_FAKE_HOST;
    return environment;
  }

  ProgramResult Run(std::vector<std::string> arguments,
                    const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    arguments.insert(arguments.begin(), TEXLOOM_RUN_PROGRAM);
    auto environment = Environment();
    environment.insert(environment.end(), extra.begin(), extra.end());
    return RunProgram(arguments, environment);
  }

  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  // What an inverting effect gives: 255 - v, exactly. Host values are
  // whole numbers in 1/4096; half a step in Y, Cb and Cr moves an 8-bit
  // component by at most 0.09, so rounding lands on the exact value.
  static Image Inverted(const Image& image) {
    Image result = image;
    for (uint8_t& v : result.rgb) v = static_cast<uint8_t>(255 - v);
    return result;
  }

  // Y + offset lifts R, G and B alike by offset * 255 / 4096 (at most 0.09
  // from the exact value, as above), then clamped.
  static Image Lifted(const Image& image, int offset) {
    Image result = image;
    for (uint8_t& v : result.rgb) {
      const double lifted = v + offset * 255.0 / 4096.0;
      v = static_cast<uint8_t>(std::min(255.0, std::max(0.0, lifted)) + 0.5);
    }
    return result;
  }

  static void ExpectSameImage(const Image& expected, const Image& actual) {
    ASSERT_EQ(expected.rgb.size(), actual.rgb.size());
    for (size_t i = 0; i < expected.rgb.size(); ++i) {
      if (expected.rgb[i] != actual.rgb[i]) {
        ADD_FAILURE() << "pixel " << i / 3 << " component " << i % 3 << ": expected "
                      << int(expected.rgb[i]) << ", got " << int(actual.rgb[i]);
        return;
      }
    }
  }

  Scratch scratch_;
  std::vector<Image> frames_;
};

}  // namespace run_test
