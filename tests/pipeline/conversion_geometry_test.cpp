// Awkward geometry: widths around the vector step sizes, strides and pitches
// with padding (odd pitches too, so rows start unaligned), images that end
// right before an inaccessible page, and guard bytes around every row.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "pipeline/conversion_test_support.h"

namespace {

using namespace conversion_test;

std::vector<Geometry> Geometries(uint32_t family) {
  const int32_t texel = static_cast<int32_t>(TexelBytes(family));
  std::vector<Geometry> geometries;
  for (uint32_t columns :
       {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 16u, 17u, 31u, 33u, 1921u}) {
    const int32_t width = static_cast<int32_t>(columns);
    geometries.push_back({3, columns, width, width * texel});          // packed rows
    geometries.push_back({4, columns, width + 1, width * texel + 3});  // odd pitch
    geometries.push_back({2, columns, width + 7, width * texel + 64});
    geometries.push_back({1, columns, width, width * texel + 2});
  }
  geometries.push_back({0, 5, 5, 5 * texel});  // no rows
  geometries.push_back({3, 0, 4, 32});         // no columns
  return geometries;
}

void RunSerial(Direction direction, const ConversionRoutines& routines, ConversionJob* job) {
  if (direction == Direction::upload) {
    routines.upload_serial(job);
  } else {
    routines.readback_serial(job);
  }
}

void RunParallelOnce(Direction direction, const ConversionRoutines& routines, ConversionJob* job) {
  InterlockedExchange(&row_counter, 0);
  if (direction == Direction::upload) {
    routines.upload_parallel(0, 1, job, nullptr);
  } else {
    routines.readback_parallel(0, 1, job, nullptr);
  }
}

class ConversionGeometryTest
    : public ::testing::TestWithParam<std::tuple<Direction, ConversionTier>> {};

TEST_P(ConversionGeometryTest, RowsAreConvertedAndNothingElseIsTouched) {
  const Direction direction = std::get<0>(GetParam());
  const ConversionTier tier = std::get<1>(GetParam());
  SKIP_UNLESS_MACHINE_RUNS(tier);
  for (uint32_t family : kFamilies) {
    for (const Geometry& g : Geometries(family)) {
      for (bool parallel : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << FamilyName(family) << " " << DirectionName(direction) << ", "
                     << TierName(tier) << (parallel ? " parallel" : " serial") << ", " << g.rows
                     << " rows of " << g.columns << ", stride " << g.host_stride << ", pitch "
                     << g.texture_pitch);
        Runner run = [&](const ConversionRoutines& routines, ConversionJob* job) {
          if (parallel) {
            RunParallelOnce(direction, routines, job);
          } else {
            RunSerial(direction, routines, job);
          }
        };
        EXPECT_TRUE(ConvertsLikeTheReference(tier, family, direction, g, run));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    BothDirectionsEveryTier, ConversionGeometryTest,
    ::testing::Combine(::testing::Values(Direction::upload, Direction::readback),
                       ::testing::ValuesIn(kTiers)),
    [](const ::testing::TestParamInfo<std::tuple<Direction, ConversionTier>>& info) {
      return std::string(std::get<0>(info.param) == Direction::upload ? "Upload_" : "Readback_") +
             TierName(std::get<1>(info.param));
    });

}  // namespace
