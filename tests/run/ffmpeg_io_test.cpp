// ffmpeg and ffprobe as texloom-run drives them: the command lines, the
// probe's answer, and real decoding and encoding of small frames.
#include "run/ffmpeg_io.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "run/run_test_support.h"

namespace texloom_run {
namespace {

using run_test::Image;
using run_test::Scratch;

#define REQUIRE_FFMPEG()                                                                     \
  do {                                                                                       \
    if (!run_test::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed (Debian: ffmpeg)"; \
  } while (0)

TEST(FfmpegIoTest, ProbeOutputParsed) {
  ClipInfo info;
  std::string error;
  ASSERT_TRUE(
      ParseProbeOutput("width=1920\nheight=1080\npix_fmt=yuv420p10le\nr_frame_rate=30000/1001\n"
                       "avg_frame_rate=30000/1001\nnb_frames=120\n",
                       &info, &error))
      << error;
  EXPECT_EQ(1920, info.width);
  EXPECT_EQ(1080, info.height);
  EXPECT_EQ("30000/1001", info.rate);
  EXPECT_EQ(120, info.frame_count);
  EXPECT_EQ("yuv420p10le", info.pixel_format);
  EXPECT_FALSE(info.deep) << "ffmpeg cannot turn YCbCr into exact 16-bit RGB";
  ASSERT_TRUE(ParseProbeOutput("width=2\nheight=2\npix_fmt=rgb48be\n", &info, &error));
  EXPECT_TRUE(info.deep);
  for (const char* format : {"rgba64le", "gbrp16le", "bgr48be"})
    EXPECT_TRUE(IsSixteenBitRgb(format));
  for (const char* format : {"rgb24", "yuv444p16le", "gray16le", "gbrp10le", ""}) {
    EXPECT_FALSE(IsSixteenBitRgb(format)) << format;
  }
}

TEST(FfmpegIoTest, ProbeRotationUnknownRatesAndCounts) {
  ClipInfo info;
  std::string error;
  ASSERT_TRUE(
      ParseProbeOutput("width=8\nheight=6\nr_frame_rate=25/1\navg_frame_rate=0/0\n"
                       "nb_frames=N/A\nrotation=-90\n",
                       &info, &error));
  EXPECT_EQ(6, info.width) << "a quarter turn swaps the sides";
  EXPECT_EQ(8, info.height);
  EXPECT_EQ("25/1", info.rate);
  EXPECT_EQ(-1, info.frame_count);
  ASSERT_TRUE(ParseProbeOutput("width=8\r\nheight=6\r\nrotation=180\r\n", &info, &error));
  EXPECT_EQ(8, info.width);
  EXPECT_EQ("25", info.rate) << "ffmpeg's own default for images";
}

TEST(FfmpegIoTest, ProbeWithoutAPicture) {
  ClipInfo info;
  info.width = 77;
  std::string error;
  EXPECT_FALSE(ParseProbeOutput("", &info, &error));
  EXPECT_EQ("no video stream with a picture size", error);
  EXPECT_EQ(77, info.width) << "left untouched";
  EXPECT_FALSE(ParseProbeOutput("width=0\nheight=0\n", &info, &error));
  EXPECT_FALSE(ParseProbeOutput("width=40000\nheight=10\n", &info, &error));
  EXPECT_NE(std::string::npos, error.find("larger than")) << error;
}

bool Has(const std::vector<std::string>& arguments, const std::vector<std::string>& run) {
  for (size_t i = 0; i + run.size() <= arguments.size(); ++i) {
    if (std::equal(run.begin(), run.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i))) {
      return true;
    }
  }
  return false;
}

TEST(FfmpegIoTest, CommandLines) {
  const std::vector<std::string> decode = DecoderArguments("-clip.mp4", "rgb24");
  EXPECT_EQ("ffmpeg", decode[0]);
  EXPECT_TRUE(Has(decode, {"-i", "-clip.mp4"}));
  EXPECT_TRUE(Has(decode, {"-pix_fmt", "rgb24", "-"}));
  EXPECT_TRUE(Has(DecoderArguments("deep.png", "rgb48le"), {"-pix_fmt", "rgb48le", "-"}));
  EXPECT_TRUE(Has(decode, {"-fps_mode", "passthrough"}));
  EXPECT_TRUE(Has(ProbeArguments("-x.mov"), {"-i", "-x.mov"}));

  const auto video = EncoderArguments(OutputKind::video, "/o/.t-out.mp4", 8, 6, "25/1", 3);
  EXPECT_TRUE(Has(video, {"-pix_fmt", "rgb48le", "-s", "8x6", "-framerate", "25/1", "-i", "-"}));
  EXPECT_TRUE(Has(video, {"-pix_fmt", "yuv420p10le"}));
  EXPECT_TRUE(Has(video, {"-colorspace", "smpte170m", "-color_range", "tv", "-y", "/o/.t-out.mp4"}));
  const auto odd = EncoderArguments(OutputKind::video, "/o/out.mp4", 7, 5, "25", 0);
  EXPECT_TRUE(Has(odd, {"-pix_fmt", "yuv444p10le"})) << "4:2:0 needs even sides";
  const auto gif = EncoderArguments(OutputKind::video, "/o/out.gif", 8, 6, "25", 0);
  EXPECT_EQ(1, std::count(gif.begin(), gif.end(), "-pix_fmt")) << "the input's alone";
  EncodeSettings chosen;
  chosen.choices = {"ffv1", "", "", "gbrp16le", {"-g", "1"}, true};
  chosen.streams_from = "in.mov";
  chosen.audio = true;
  chosen.seek_seconds = "2.5";
  chosen.colour_space = "bt709";
  const auto ffv1 = EncoderArguments(OutputKind::video, "/o/a.mkv", 8, 6, "25", 0, chosen);
  EXPECT_TRUE(Has(ffv1, {"-ss", "2.5", "-i", "in.mov", "-map", "0:v", "-map", "1:a?", "-c:a",
                         "copy", "-copypriorss:a", "0", "-c:v", "ffv1", "-pix_fmt", "gbrp16le", "-vf",
                         "scale=out_color_matrix=bt709:out_range=tv", "-colorspace", "bt709"}));
  EXPECT_TRUE(Has(ffv1, {"-g", "1", "-y", "/o/a.mkv"}));
  const auto pattern = EncoderArguments(OutputKind::png_pattern, "/o/s/f_%03d.png", 8, 6, "5", 7);
  EXPECT_TRUE(Has(pattern, {"-pix_fmt", "rgb48be", "-f", "image2", "-start_number", "7", "-y",
                            "/o/s/f_%03d.png"}));
  const auto single = EncoderArguments(OutputKind::png_single, "/o/one.png", 8, 6, "5", 7);
  EXPECT_TRUE(Has(single, {"-frames:v", "1", "-y", "/o/one.png"}));
}

TEST(FfmpegIoTest, ProbesAndDecodesFramesWithTheirPixels) {
  REQUIRE_FFMPEG();
  Scratch scratch;
  const std::vector<Image> frames = {run_test::TestFrame(7, 5, 0), run_test::TestFrame(7, 5, 1),
                                     run_test::TestFrame(7, 5, 2)};
  ASSERT_TRUE(run_test::MakeLosslessClip(frames, scratch.path(), scratch / "clip.mkv"));
  ClipInfo info;
  std::string error;
  ASSERT_TRUE(ProbeClip(scratch / "clip.mkv", &info, &error)) << error;
  EXPECT_EQ(7, info.width);
  EXPECT_EQ(5, info.height);
  EXPECT_EQ("10/1", info.rate);
  EXPECT_FALSE(info.deep);

  ClipDecoder decoder;
  ASSERT_TRUE(decoder.Start(scratch / "clip.mkv", 7, 5, "rgb24", "", scratch / "log", &error)) << error;
  std::vector<uint8_t> rgb;
  for (const Image& frame : frames) {
    ASSERT_EQ(1, decoder.ReadFrame(&rgb));
    EXPECT_EQ(frame.rgb, rgb);
  }
  EXPECT_EQ(0, decoder.ReadFrame(&rgb));
  EXPECT_TRUE(decoder.Finish(&error)) << error;
}

TEST(FfmpegIoTest, SixteenBitRgbIsDecodedWithEveryBit) {
  REQUIRE_FFMPEG();
  Scratch scratch;
  // A 16-bit PPM: big-endian samples, maximum 65535.
  const uint16_t samples[6] = {0, 65535, 0x1234, 0x8001, 257, 65534};
  std::string ppm = "P6\n2 1\n65535\n";
  for (uint16_t v : samples) {
    ppm += static_cast<char>(v >> 8);
    ppm += static_cast<char>(v & 0xFF);
  }
  run_test::WriteText(scratch / "deep.ppm", ppm);
  ClipInfo info;
  std::string error;
  ASSERT_TRUE(ProbeClip(scratch / "deep.ppm", &info, &error)) << error;
  EXPECT_TRUE(info.deep) << info.pixel_format;
  ClipDecoder decoder;
  ASSERT_TRUE(decoder.Start(scratch / "deep.ppm", 2, 1, "rgb48le", "", scratch / "log", &error)) << error;
  std::vector<uint8_t> rgb48;
  ASSERT_EQ(1, decoder.ReadFrame(&rgb48));
  ASSERT_EQ(12u, rgb48.size());
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(samples[i], rgb48[2 * i] | rgb48[2 * i + 1] << 8) << "sample " << i;
  }
  EXPECT_EQ(0, decoder.ReadFrame(&rgb48));
  EXPECT_TRUE(decoder.Finish(&error)) << error;
}

TEST(FfmpegIoTest, ProbeFailuresSayWhy) {
  REQUIRE_FFMPEG();
  Scratch scratch;
  run_test::WriteText(scratch / "noise.mp4", std::string(4096, '\x5a'));
  ClipInfo info;
  std::string error;
  EXPECT_FALSE(ProbeClip(scratch / "noise.mp4", &info, &error));
  EXPECT_NE(std::string::npos, error.find("ffmpeg cannot read it: ")) << error;
  EXPECT_FALSE(ProbeClip(scratch / "none.mp4", &info, &error));
  EXPECT_NE(std::string::npos, error.find("No such file")) << error;
}

// An 8-bit image as the encoders take frames: rgb48le, v * 257.
std::vector<uint8_t> Deep(const Image& image) {
  std::vector<uint8_t> bytes;
  for (uint8_t v : image.rgb) {
    bytes.push_back(v);
    bytes.push_back(v);
  }
  return bytes;
}

TEST(FfmpegIoTest, EncodesPngFramesNumberedFromTheFirst) {
  REQUIRE_FFMPEG();
  Scratch scratch;
  FrameEncoder encoder;
  std::string error;
  ASSERT_TRUE(encoder.Start(OutputKind::png_pattern, scratch / "f_%02d.png", 7, 5, "25", 4,
                            EncodeSettings(), scratch / "log", &error))
      << error;
  const Image a = run_test::TestFrame(7, 5, 4);
  const Image b = run_test::TestFrame(7, 5, 5);
  ASSERT_TRUE(encoder.WriteFrame(Deep(a)));
  ASSERT_TRUE(encoder.WriteFrame(Deep(b)));
  ASSERT_TRUE(encoder.Finish(&error)) << error;
  EXPECT_EQ((std::vector<std::string>{"f_04.png", "f_05.png", "log"}),
            run_test::ListFolder(scratch.path()));
  const std::vector<Image> back = run_test::ReadFrames(scratch / "f_05.png", 7, 5);
  ASSERT_EQ(1u, back.size());
  EXPECT_EQ(b.rgb, back[0].rgb);
}

TEST(FfmpegIoTest, EncoderFailureGivesFfmpegsMessage) {
  REQUIRE_FFMPEG();
  Scratch scratch;
  FrameEncoder encoder;
  std::string error;
  // ffmpeg cannot open a file in a folder that does not exist.
  ASSERT_TRUE(encoder.Start(OutputKind::video, scratch / "missing/out.mkv", 8, 6, "25", 0,
                            EncodeSettings(), scratch / "log", &error))
      << error;
  const Image frame = run_test::TestFrame(8, 6, 0);
  for (int i = 0; i < 3; ++i) encoder.WriteFrame(Deep(frame));
  EXPECT_FALSE(encoder.Finish(&error));
  EXPECT_NE(std::string::npos, error.find("ffmpeg could not write it")) << error;
  EXPECT_NE(std::string::npos, error.find("missing/out.mkv")) << error;
}

}  // namespace
}  // namespace texloom_run
