// The worked example of the format notes, reproduced byte for byte: the
// effect from the builder and its shader's constant table from the table
// builder.
#include "fx2/reference_example.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fx2/constant_table.h"
#include "fx2/fx2_file_reader.h"
#include "fx2/fx2_test_effects.h"
#include "fx2/fx2_writer.h"
#include "fx2/sha256.h"

namespace {

std::vector<uint8_t> ReferenceBytes() {
  std::vector<uint8_t> bytes(sizeof(fx2_test::kReferenceExample));
  std::memcpy(bytes.data(), fx2_test::kReferenceExample, bytes.size());
  return bytes;
}

TEST(ReferenceExampleTest, WriterReproducesTheVerifiedFileByteForByte) {
  fx2::WriteOutput out = fx2::WriteFx2(fx2_test::ReferenceEffect().effect());
  ASSERT_TRUE(out) << out.error;
  EXPECT_EQ(892u, out.bytes.size());
  std::vector<uint8_t> expected = ReferenceBytes();
  ASSERT_EQ(expected.size(), out.bytes.size());
  for (size_t i = 0; i < expected.size(); i += 4) {
    uint32_t want, got;
    std::memcpy(&want, &expected[i], 4);
    std::memcpy(&got, &out.bytes[i], 4);
    EXPECT_EQ(want, got) << "DWORD at file offset 0x" << std::hex << i;
  }
  EXPECT_EQ("63c65099ac2e8cb0e07b43c7f37f333122233cf386da06ad076d6eeb99230503",
            fx2_test::Sha256Hex(out.bytes));
}

TEST(ReferenceExampleTest, TableBuilderReproducesTheReferenceShader) {
  std::vector<fx2::ConstantBinding> bindings(2);
  bindings[0].set = fx2::RegisterSet::Sampler;
  bindings[0].name = "SamplerTmp";
  bindings[0].shape = fx2::Shape::Object(fx2::Type::Sampler2D);
  bindings[1].set = fx2::RegisterSet::Float4;
  bindings[1].name = "Track0";
  bindings[1].shape = fx2::Shape::Scalar(fx2::Type::Float);
  fx2::CodeOutput out =
      fx2::AddConstantTable(fx2_test::ReferenceShaderWithoutTable(), bindings, "fx2w test");
  ASSERT_TRUE(out) << out.error;
  EXPECT_EQ(fx2_test::ReferenceShader(), out.code);
}

TEST(ReferenceExampleTest, IndependentReaderDecodesTheReferenceToItsLastByte) {
  fx2_test::Fx2File file;
  std::string error;
  ASSERT_TRUE(fx2_test::ReadFx2File(ReferenceBytes(), &file, &error)) << error;
  EXPECT_EQ(3u, file.shader_count_field);
  EXPECT_EQ(5u, file.object_count);
  EXPECT_EQ(file.data_dwords, file.data_dwords_reached);
  ASSERT_EQ(3u, file.parameters.size());
  EXPECT_EQ("Track0", file.parameters[0].value.type.name);
  ASSERT_EQ(2u, file.parameters[0].annotations.size());
  EXPECT_EQ("def", file.parameters[0].annotations[1].type.name);
  EXPECT_EQ(std::vector<uint32_t>{50}, file.parameters[0].annotations[1].dwords);
  ASSERT_EQ(3u, file.parameters[2].value.sampler.size());
  EXPECT_EQ(164u, file.parameters[2].value.sampler[0].operation);
  ASSERT_EQ(1u, file.techniques.size());
  EXPECT_EQ("ProcessImage0", file.techniques[0].name);
  ASSERT_EQ(2u, file.resources.size());
  EXPECT_EQ("TxTmp", fx2_test::BlobText(file.resources[0].data));
  EXPECT_EQ(224u, file.resources[1].data.size());
}

}  // namespace
