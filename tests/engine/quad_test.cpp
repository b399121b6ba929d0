// The full-frame quad and the frame sizes the resources can be built for.
#include "engine/quad.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/frame_size_rules.h"

namespace {

TEST(Quad, CornersSitHalfAPixelOutsideSoPixelCentresHitTexelCentres) {
  const auto v = QuadVertices(1920, 1080);
  const float expected[4][6] = {{-0.5f, -0.5f, 1, 1, 0, 0},
                                {1919.5f, -0.5f, 1, 1, 1, 0},
                                {-0.5f, 1079.5f, 1, 1, 0, 1},
                                {1919.5f, 1079.5f, 1, 1, 1, 1}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const float actual[6] = {v[i].x, v[i].y, v[i].z, v[i].w, v[i].u, v[i].v};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(expected[i][k], actual[k]) << "component " << k;
  }
}

TEST(Quad, SizeGoesIntoTheFarEdgesOnly) {
  for (int32_t width : {1, 3, 720, 8191}) {
    for (int32_t height : {1, 2, 480}) {
      SCOPED_TRACE(testing::Message() << width << "x" << height);
      const auto v = QuadVertices(width, height);
      EXPECT_EQ(width - 0.5f, v[1].x);
      EXPECT_EQ(width - 0.5f, v[3].x);
      EXPECT_EQ(height - 0.5f, v[2].y);
      EXPECT_EQ(height - 0.5f, v[3].y);
      EXPECT_EQ(-0.5f, v[0].x);
      EXPECT_EQ(-0.5f, v[2].x);
      EXPECT_EQ(-0.5f, v[0].y);
      EXPECT_EQ(-0.5f, v[1].y);
    }
  }
}

TEST(Quad, DeclarationIsPositionThenTextureCoordinateInStreamZero) {
  const D3DVERTEXELEMENT9 expected[3] = {
      {0, 0, 3, 0, 9, 0}, {0, 16, 1, 0, 5, 0}, {0xFF, 0, 17, 0, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].Stream, kQuadDeclaration[i].Stream);
    EXPECT_EQ(expected[i].Offset, kQuadDeclaration[i].Offset);
    EXPECT_EQ(expected[i].Type, kQuadDeclaration[i].Type);
    EXPECT_EQ(expected[i].Method, kQuadDeclaration[i].Method);
    EXPECT_EQ(expected[i].Usage, kQuadDeclaration[i].Usage);
    EXPECT_EQ(expected[i].UsageIndex, kQuadDeclaration[i].UsageIndex);
  }
  EXPECT_EQ(24u, kQuadStride);
  EXPECT_EQ(96u, kQuadBytes);
}

TEST(FrameSizeRules, SizesWithinTheLimitsAndARowLongEnough) {
  const struct {
    const char* label;
    int32_t width, height, stride;
    bool fits;
  } cases[] = {
      {"1080p", 1920, 1080, 1920, true},
      {"stride longer than the width", 1280, 720, 1920, true},
      {"width at the limit", 4096, 16, 4096, true},
      {"width past the limit", 4097, 16, 4097, false},
      {"height at the limit", 16, 2048, 16, true},
      {"height past the limit", 16, 2049, 16, false},
      {"stride shorter than the width", 1920, 1080, 1919, false},
      {"empty frame passes: creation refuses it", 0, 0, 0, true},
      {"negative width", -1, 10, 10, false},
      {"negative height", 10, -1, 10, false},
      {"negative stride", 0, 10, -1, false},
      {"1x1", 1, 1, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.fits, FrameSizeFits(c.width, c.height, c.stride, 4096, 2048));
  }
}

}  // namespace
