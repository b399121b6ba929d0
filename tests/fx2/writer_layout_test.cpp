// Layout rules of written files, checked with the independent reader: the
// header's shader-count field, string lengths and padding, object ids from 1
// in file order, resource numbering, and a data area with nothing unreached.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fx2/fx2_file_reader.h"
#include "fx2/fx2_test_effects.h"
#include "fx2/fx2_writer.h"

namespace {

fx2_test::Fx2File Written(const fx2::EffectBuilder& fx) {
  fx2::WriteOutput out = fx2::WriteFx2(fx.effect());
  EXPECT_TRUE(out) << out.error;
  fx2_test::Fx2File file;
  std::string error;
  EXPECT_TRUE(fx2_test::ReadFx2File(out.bytes, &file, &error)) << error;
  EXPECT_EQ(file.data_dwords, file.data_dwords_reached) << "unreached DWORDs in the data area";
  return file;
}

TEST(WriterLayoutTest, ShaderCountFieldCountsShadersSamplersPassesAndShaderStates) {
  struct Case {
    const char* what;
    fx2::EffectBuilder (*make)();
    uint32_t expected;
  };
  const Case cases[] = {
      {"nothing", [] { return fx2::EffectBuilder(); }, 0},
      {"one float",
       [] {
         fx2::EffectBuilder fx;
         fx.Float("F", 1.0f);
         return fx;
       },
       0},
      {"two passes with inline shaders",
       [] {
         fx2::EffectBuilder fx;
         auto t = fx.Technique("T");
         t.Pass("A").PixelShader(fx2_test::ReferenceShaderWithoutTable());
         t.Pass("B").PixelShader(fx2_test::ReferenceShaderWithoutTable());
         return fx;
       },
       4},
      {"NULL shaders count only as passes",
       [] {
         fx2::EffectBuilder fx;
         fx.Technique("T").Pass("A").PixelShaderNull().VertexShaderNull();
         return fx;
       },
       1},
      {"a shader parameter, a sampler and a pass using the shader",
       [] {
         fx2::EffectBuilder fx;
         fx.Texture("Tx");
         fx.Sampler("S").Texture("Tx");
         fx.PixelShader("Ps", fx2_test::ReferenceShaderWithoutTable());
         fx.Technique("T").Pass("A").PixelShaderParameter("Ps").Sampler(0, "S");
         return fx;
       },
       4},
      {"the reference example", fx2_test::ReferenceEffect, 3},
      {"the rich effect", fx2_test::RichEffect, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx2::EffectBuilder fx = c.make();
    EXPECT_EQ(c.expected, fx2::ShaderCountField(fx.effect()));
    EXPECT_EQ(c.expected, Written(fx).shader_count_field);
  }
}

TEST(WriterLayoutTest, StringsCountTheirNulAndPadToWholeDwords) {
  for (size_t length = 1; length <= 9; ++length) {
    SCOPED_TRACE(length);
    std::string name(length, 'n');
    std::string text(length - 1, 't');  // string values from empty up
    fx2::EffectBuilder fx;
    fx.Float(name, 1.0f).Annotate("s", text);
    fx2::WriteOutput out = fx2::WriteFx2(fx.effect());
    ASSERT_TRUE(out) << out.error;
    // Data area: zero DWORD, typedef (7), value (1), name (1 + padded
    // chars), annotation value (1), "s" (2), annotation typedef (5).
    size_t name_dwords = 1 + (length + 1 + 3) / 4;
    size_t data_dwords = 1 + 7 + 1 + name_dwords + 1 + 2 + 5;
    // Structure: 4 counts, parameter record (4) + annotation record (2),
    // 2 counts, object-data entry (id, size, padded text).
    size_t structure_dwords = 4 + 6 + 2 + 2 + (text.size() + 1 + 3) / 4;
    EXPECT_EQ(8 + 4 * (data_dwords + structure_dwords), out.bytes.size());
    // The name's length field holds the characters plus the NUL.
    uint32_t length_field;
    std::memcpy(&length_field, &out.bytes[8 + 4 * 9], 4);
    EXPECT_EQ(length + 1, length_field);

    fx2_test::Fx2File file = Written(fx);
    ASSERT_EQ(1u, file.parameters.size());
    EXPECT_EQ(name, file.parameters[0].value.type.name);
    ASSERT_EQ(1u, file.objects.size());
    EXPECT_EQ(text.size() + 1, file.objects[0].data.size());
    EXPECT_EQ(text, fx2_test::BlobText(file.objects[0].data));
  }
}

TEST(WriterLayoutTest, ObjectIdsRunFromOneInFileOrderAndResourcesNameTheirStates) {
  fx2_test::Fx2File file = Written(fx2_test::RichEffect());
  EXPECT_EQ(15u, file.object_count);

  struct Blob {
    uint32_t id;
    const char* text;  // null: no string (texture or shader)
    size_t size;
  };
  const Blob blobs[] = {{1, "Rich", 5},  {2, "every kind", 11}, {3, "normalize", 10},
                        {4, "a", 2},     {5, "bcde", 5},        {6, nullptr, 0},
                        {7, nullptr, 0}, {10, nullptr, 76},     {11, "first", 6}};
  ASSERT_EQ(sizeof(blobs) / sizeof(blobs[0]), file.objects.size());
  for (size_t i = 0; i < file.objects.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(blobs[i].id, file.objects[i].id);
    EXPECT_EQ(blobs[i].size, file.objects[i].data.size());
    if (blobs[i].text) EXPECT_EQ(blobs[i].text, fx2_test::BlobText(file.objects[i].data));
  }

  constexpr uint32_t kNone = 0xFFFFFFFFu;
  struct Reference {
    uint32_t technique, index, element, state, usage;
    const char* name;  // null: inline bytecode
  };
  const Reference resources[] = {
      {kNone, 9, 0, 0, 1, "TxSrc0"},       {kNone, 10, 0, 0, 1, "TxTmp"},
      {0, 0, kNone, 0, 0, nullptr},        {0, 0, kNone, 2, 1, "Source0"},
      {0, 0, kNone, 3, 1, "PixelKernel0"}, {1, 0, kNone, 0, 1, "SharedShader"},
      {1, 0, kNone, 1, 1, "TxTmp"},        {1, 0, kNone, 2, 1, "Track0"},
      {1, 1, kNone, 1, 1, "Check0"},
  };
  ASSERT_EQ(sizeof(resources) / sizeof(resources[0]), file.resources.size());
  for (size_t i = 0; i < file.resources.size(); ++i) {
    SCOPED_TRACE(i);
    const fx2_test::FileResource& r = file.resources[i];
    EXPECT_EQ(resources[i].technique, r.technique);
    EXPECT_EQ(resources[i].index, r.index);
    EXPECT_EQ(resources[i].element, r.element);
    EXPECT_EQ(resources[i].state, r.state);
    EXPECT_EQ(resources[i].usage, r.usage);
    if (resources[i].name) {
      EXPECT_EQ(resources[i].name, fx2_test::BlobText(r.data));
    } else {
      EXPECT_EQ(fx2_test::ReferenceShaderWithoutTable().size() * 4, r.data.size());
    }
  }

  // The ids stored as values: texture states, shader states.
  EXPECT_EQ(std::vector<uint32_t>{8}, file.parameters[9].value.sampler[0].value.dwords);
  EXPECT_EQ(std::vector<uint32_t>{9}, file.parameters[10].value.sampler[0].value.dwords);
  const fx2_test::FilePass& p0 = file.techniques[0].passes[0];
  ASSERT_EQ(7u, p0.states.size());
  EXPECT_EQ(std::vector<uint32_t>{12}, p0.states[0].value.dwords);
  EXPECT_EQ(15u, p0.states[0].value.type.type);                    // PIXELSHADER
  EXPECT_EQ(std::vector<uint32_t>{0}, p0.states[1].value.dwords);  // VertexShader = NULL
  EXPECT_EQ(2u, p0.states[1].value.type.type);                     // as INT 0
  EXPECT_EQ(12u, p0.states[2].value.type.type);  // Sampler[0]: the sampler's own type
  EXPECT_EQ(std::vector<uint32_t>{fx2::FloatBits(0.5f)}, p0.states[5].value.dwords);
  EXPECT_EQ(1u, p0.states[6].index);
  const fx2_test::FilePass& t1p0 = file.techniques[1].passes[0];
  EXPECT_EQ(std::vector<uint32_t>{13}, t1p0.states[0].value.dwords);
  EXPECT_EQ(std::vector<uint32_t>{14}, t1p0.states[1].value.dwords);
  EXPECT_EQ(5u, t1p0.states[1].value.type.type);  // TEXTURE, as TxTmp is
}

TEST(WriterLayoutTest, TypedefsStoreVectorsColumnsFirstAndValuesRowMajor) {
  fx2_test::Fx2File file = Written(fx2_test::RichEffect());
  const fx2_test::FileValue& version = file.parameters[0].value;
  EXPECT_EQ(1u, version.type.klass);
  EXPECT_EQ(4u, version.type.columns);
  EXPECT_EQ(1u, version.type.rows);
  EXPECT_EQ(std::vector<uint32_t>({1, 2, 0, 0}), version.dwords);
  const fx2_test::FileValue& kernel = file.parameters[3].value;
  EXPECT_EQ(3u, kernel.type.elements);
  EXPECT_EQ(12u, kernel.dwords.size());
  const fx2_test::FileValue& weights = file.parameters[4].value;
  EXPECT_EQ("WEIGHTS", weights.type.semantic);
  const fx2_test::FileValue& matrix = file.parameters[5].value;
  EXPECT_EQ(2u, matrix.type.klass);
  EXPECT_EQ(2u, matrix.type.rows);
  EXPECT_EQ(3u, matrix.type.columns);
  EXPECT_EQ(fx2::FloatBits(4.0f), matrix.dwords[3]);
  const fx2_test::FileValue& words = file.parameters[6].value;
  EXPECT_EQ(2u, words.type.elements);
  EXPECT_EQ(std::vector<uint32_t>({4, 5}), words.dwords);
}

}  // namespace
