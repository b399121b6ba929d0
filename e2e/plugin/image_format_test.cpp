// A clip through an effect that copies the current frame, in every image
// format an effect can ask for: the output equals the input wherever the
// format holds the value, and differs exactly where it cannot. The clip
// carries every 16-bit value in each frame; the request's maximum width and
// height exceed the frame's, and nothing outside the frame is written.
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"
#include "tools/host/text_codec.h"

namespace plugin_e2e {
namespace {

constexpr int kWidth = 300, kHeight = 80;        // 72,000 components per frame
constexpr int kMaxWidth = 320, kMaxHeight = 90;  // row stride 320

// Component k of pixel (x, y) of frame f: i ↦ i × 40503 mod 2^16 is a
// bijection, so the first 65,536 components of every frame hold every
// 16-bit value once, in an order that differs from frame to frame.
int16_t Component(int frame, int x, int y, int k) {
  uint32_t i = static_cast<uint32_t>((y * kWidth + x) * 3 + k + frame * 7919);
  return static_cast<int16_t>(static_cast<uint16_t>(i * 40503u));
}

HostPixel Input(int frame, int x, int y) {
  return HostPixel{Component(frame, x, y, 0), Component(frame, x, y, 1), Component(frame, x, y, 2)};
}

// F16 holds v / 4096 with 11 significant bits: the upload rounds to nearest,
// ties away from zero (values below 2048 in magnitude are exact). The
// render target then receives that exact value, and the read-back of 8.0
// (32768) saturates to 32767 (in the SSE and later tiers; every processor
// that runs Wine today has SSE2, the MMX tier would wrap to -32768).
int16_t ThroughF16(int16_t value) {
  long long magnitude = std::llabs(static_cast<long long>(value));
  long long ulp = 1;
  while (magnitude >= 2048 * ulp) ulp *= 2;
  long long rounded = (magnitude + ulp / 2) / ulp * ulp;
  return Saturate(value < 0 ? -rounded : rounded);
}

// Q16W16V16U16 is signed normalised: -32768 and -32767 both mean -1.0, which
// comes back as -32767.
int16_t ThroughS16(int16_t value) { return value == -32768 ? -32767 : value; }

struct FormatCase {
  const char* word;     // the "img_format" annotation, or null for none
  unsigned d3d_format;  // the texture format the word selects
  int16_t (*through)(int16_t);
};

int16_t Unchanged(int16_t value) { return value; }

HostPixel Apply(int16_t (*through)(int16_t), const HostPixel& pixel) {
  return HostPixel{through(pixel.c0), through(pixel.c1), through(pixel.c2)};
}

class ImageFormatTest : public ::testing::TestWithParam<FormatCase> {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }
};

TEST_P(ImageFormatTest, IdentityKeepsWhatTheFormatHolds) {
  const FormatCase& format = GetParam();
  std::string annotations;
  if (format.word) annotations = std::string("string img_format = \"") + format.word + "\";";
  LoadedPlugin plugin(CompileEffect(IdentityEffect(annotations)));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  ASSERT_EQ(1, plugin.host().Init()) << Describe(plugin.TakeMessages());

  // A format the device lacks as a render target, dynamic or plain texture
  // is replaced by F32 after a warning.
  int16_t (*through)(int16_t) = format.through;
  std::vector<RecordedMessage> messages = plugin.TakeMessages();
  if (DeviceSupportsFrameFormat(format.d3d_format)) {
    EXPECT_EQ("(no message)", Describe(messages));
  } else {
    std::printf("note: %s is not supported here; expecting the F32 fallback\n", format.word);
    ASSERT_EQ(1u, messages.size()) << Describe(messages);
    EXPECT_MESSAGE(messages[0],
                   L"\"" + texloom_host::Utf8ToWide(format.word) +
                       L"\"フォーマットは現在利用中のGPUではサポートされていません。\n"
                       L"\"F32\"として処理しますが、正しく動作しない可能性があります。",
                   L"Identity", kStyleWarning);
    through = &Unchanged;
  }

  plugin.host().SetClip(MakeClip(kWidth, kHeight, 4, Input), kMaxWidth, kMaxHeight);
  for (int frame : {0, 3}) {
    EXPECT_FRAME(plugin.host(), frame,
                 [&](int x, int y) { return Apply(through, Input(frame, x, y)); });
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageFormatTest,
                         ::testing::Values(FormatCase{nullptr, D3DFMT_A32B32G32R32F, &Unchanged},
                                           FormatCase{"F16", D3DFMT_A16B16G16R16F, &ThroughF16},
                                           FormatCase{"U16", D3DFMT_A16B16G16R16, &Unchanged},
                                           FormatCase{"B16", D3DFMT_A16B16G16R16, &Unchanged},
                                           FormatCase{"S16", D3DFMT_Q16W16V16U16, &ThroughS16},
                                           // Only the four words select a format; any other is F32.
                                           FormatCase{"s16", D3DFMT_A32B32G32R32F, &Unchanged}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                           return std::string(info.param.word ? info.param.word : "None") +
                                  (info.param.word && info.param.word[0] == 's' ? "LowerCase" : "");
                         });

// The reference of ThroughF16 at its edges, so the expectation itself is
// checked against values worked out by hand.
TEST(ImageFormatReference, Float16RoundingOfHostValues) {
  EXPECT_EQ(2047, ThroughF16(2047));
  EXPECT_EQ(2048, ThroughF16(2048));
  EXPECT_EQ(2050, ThroughF16(2049));  // a tie, away from zero (0x3801)
  EXPECT_EQ(2052, ThroughF16(2051));
  EXPECT_EQ(-2052, ThroughF16(-2051));
  EXPECT_EQ(4096, ThroughF16(4097));
  EXPECT_EQ(4100, ThroughF16(4098));
  EXPECT_EQ(4100, ThroughF16(4100));
  EXPECT_EQ(32752, ThroughF16(32759));
  EXPECT_EQ(32767, ThroughF16(32760));  // 32768 saturates
  EXPECT_EQ(-32768, ThroughF16(-32768));
  EXPECT_EQ(-32768, ThroughF16(-32760));
}

// Without a parallel-run service the plug-in converts on its own thread;
// the pixels are the same.
TEST(ImageFormatSerialTest, NoParallelServiceConvertsTheSame) {
  RequireDirect3D("plugin_pixels_test");
  HostOptions options;
  options.threads = 0;
  auto plugin = StartPlugin(IdentityEffect("string img_format = \"B16\";"), options);
  ASSERT_TRUE(plugin);
  ASSERT_EQ(nullptr, plugin->host().runner());
  plugin->host().SetClip(MakeClip(kWidth, kHeight, 2, Input), kMaxWidth, kMaxHeight);
  EXPECT_FRAME(plugin->host(), 1, [](int x, int y) { return Input(1, x, y); });
}

// With the service, every conversion runs on all of the host's threads.
TEST(ImageFormatSerialTest, TheParallelServiceRunsEveryConversion) {
  RequireDirect3D("plugin_pixels_test");
  auto plugin = StartPlugin(IdentityEffect());
  ASSERT_TRUE(plugin);
  plugin->host().SetClip(MakeClip(kWidth, kHeight, 2, Input), kMaxWidth, kMaxHeight);
  EXPECT_FRAME(plugin->host(), 0, [](int x, int y) { return Input(0, x, y); });
  // One upload and one read-back, each on the four threads.
  EXPECT_EQ(2u, plugin->host().runner()->runs());
  EXPECT_EQ(8u, plugin->host().runner()->invocations());
}

}  // namespace
}  // namespace plugin_e2e
