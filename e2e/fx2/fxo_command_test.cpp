// The texloom-fxo command end to end: a description with an include and an
// assembly file becomes an .fxo that Wine's D3DXCreateEffect loads and draws
// with; a wrong description ends with status 1 and a located message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/fx2/wine_test_support.h"

namespace fx2_wine {
namespace {

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  return text.substr(0, text.find_last_of("\\/") + 1);
}

std::string ScratchFolder() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  std::string folder = std::string(path) + "texloom_fxo_test\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the command; its standard error goes to *errors.
DWORD RunCommand(const std::string& arguments, std::string* errors) {
  std::string folder = ScratchFolder();
  std::string error_file = folder + "stderr.txt";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE error_handle = CreateFileA(error_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = error_handle;
  startup.hStdOutput = error_handle;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + ProgramFolder() + "texloom-fxo.exe\" " + arguments;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  DWORD status = 0xFFFFFFFF;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "texloom-fxo.exe cannot be started from " << ProgramFolder();
  }
  CloseHandle(error_handle);
  *errors = ReadFile(error_file);
  return status;
}

const char* kDescription = R"(// Gain with a kernel, for the command's test.
#include "common.fxh"
float Gain < string name = "Gain"; > = 2.0;
float4 PixelKernel0[2] = { {1, 2, 3, 4}, {0.5, 0.25, -1, 8} };
texture TxSrc0 < int frame_offset = 0; >;
sampler2D Source0 = sampler_state {
  Texture = <TxSrc0>;
  MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
  AddressU = CLAMP; AddressV = CLAMP;
};
technique ProcessImage0 < string label = "one pass"; > {
  pass P0 < int RenderTarget0 = 0; > {
    PixelShader = asm file "gain.psh";
    bind { s0 = Source0; c0 = Gain; c1-c2 = PixelKernel0; }
    CullMode = NONE;
  }
}
)";

const char* kCommon =
    "int4 FilterVersion < string name = \"Command test\"; string ex_info = \"fxo\"; > = {1, 0, 0, "
    "0};\n";

const char* kShader =
    "ps_2_0\n"
    "dcl t0.xy\n"
    "dcl_2d s0\n"
    "texld r0, t0, s0\n"
    "mul r0, r0, c0.x\n"
    "add r0, r0, c1\n"
    "add r0, r0, c2\n"
    "mov oC0, r0\n";

TEST(FxoCommandTest, DescriptionBecomesAnEffectThatDraws) {
  TestDevice& device = Device();
  std::string folder = ScratchFolder();
  WriteFile(folder + "filter.fxd", kDescription);
  WriteFile(folder + "common.fxh", kCommon);
  WriteFile(folder + "gain.psh", kShader);
  std::string errors;
  ASSERT_EQ(0u, RunCommand("\"" + folder + "filter.fxd\" -o \"" + folder + "filter.fxo\"", &errors))
      << errors;
  std::string file = ReadFile(folder + "filter.fxo");
  ASSERT_FALSE(file.empty());

  HRESULT hr = E_FAIL;
  ComPtr<ID3DXEffect> effect =
      device.CreateEffect(std::vector<uint8_t>(file.begin(), file.end()), &hr);
  ASSERT_EQ(S_OK, hr) << HrText(hr);
  const char* title = nullptr;
  ASSERT_EQ(S_OK,
            effect->GetString(effect->GetParameterByName(nullptr, "FilterVersion@name"), &title));
  EXPECT_STREQ("Command test", title);

  const std::vector<float> source = {0.25f, 0.5f, 1.0f, 2.0f, -1.0f, 0.0f, 4.0f, 0.125f};
  ComPtr<IDirect3DTexture9> texture = device.FloatTexture(2, 1, source);
  ComPtr<IDirect3DTexture9> target = device.RenderTarget(2, 1, D3DFMT_A32B32G32R32F);
  ASSERT_TRUE(texture && target);
  ASSERT_EQ(S_OK, effect->SetTexture("TxSrc0", texture.get()));
  ASSERT_EQ(S_OK, device.DrawPasses(effect.get(), {target.get()}));
  const float kernel_sum[4] = {1.5f, 2.25f, 2.0f, 12.0f};
  std::vector<float> expected;
  for (size_t i = 0; i < source.size(); ++i)
    expected.push_back(source[i] * 2.0f + kernel_sum[i % 4]);
  EXPECT_EQ(expected, AsFloats(device.Read(target.get())));
}

TEST(FxoCommandTest, ErrorsNameFileLineAndColumn) {
  std::string folder = ScratchFolder();
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"float Gain = 1.0\ntechnique T { pass P { } }\n",
       "bad.fxd:2:1: expected ';' after the declaration of 'Gain', found 'technique'"},
      {"technique T { pass P { PixelShader = asm {\nps_2_0\nmov oC0, c99\n}; } }\n",
       "bad.fxd:1:43: the shader does not assemble"},
      {"technique T { pass P { Sampler[0] = (Missing); } }\n",
       "bad.fxd:1:38: unknown parameter 'Missing'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(folder + "bad.fxd", c.text);
    std::string errors;
    EXPECT_EQ(1u, RunCommand("\"" + folder + "bad.fxd\" -o \"" + folder + "bad.fxo\"", &errors));
    EXPECT_NE(std::string::npos, errors.find(c.message)) << errors;
  }
}

// The example of docs/effect-description.md, taken from the document itself.
std::string DocumentedExample() {
  std::string doc = ReadFile(TEXLOOM_SOURCE_DIR "/docs/effect-description.md");
  size_t start = doc.find("    // blur.fxd\n");
  size_t end = doc.find("\n## ", start);
  if (start == std::string::npos || end == std::string::npos) return std::string();
  std::string example;
  std::istringstream lines(doc.substr(start, end - start));
  for (std::string line; std::getline(lines, line);) {
    example += (line.size() >= 4 ? line.substr(4) : std::string()) + "\n";
  }
  return example;
}

TEST(FxoCommandTest, DocumentedExampleBlursGainsAndInverts) {
  TestDevice& device = Device();
  std::string example = DocumentedExample();
  ASSERT_FALSE(example.empty()) << "no example in docs/effect-description.md";
  std::string folder = ScratchFolder();
  WriteFile(folder + "blur.fxd", example);
  std::string errors;
  ASSERT_EQ(0u, RunCommand("\"" + folder + "blur.fxd\"", &errors)) << errors;
  std::string file = ReadFile(folder + "blur.fxo");
  HRESULT hr = E_FAIL;
  ComPtr<ID3DXEffect> effect =
      device.CreateEffect(std::vector<uint8_t>(file.begin(), file.end()), &hr);
  ASSERT_EQ(S_OK, hr) << HrText(hr);

  constexpr UINT kWidth = 4;
  const std::vector<float> source = {0.0f, 0.1f, 0.2f, 1.0f, 0.3f, 0.4f,  0.5f,  1.0f,
                                     0.6f, 0.7f, 0.8f, 1.0f, 0.9f, 0.05f, 0.15f, 1.0f};
  ComPtr<IDirect3DTexture9> texture = device.FloatTexture(kWidth, 1, source);
  ComPtr<IDirect3DTexture9> target = device.RenderTarget(kWidth, 1, D3DFMT_A32B32G32R32F);
  ASSERT_TRUE(texture && target);
  const D3DXVECTOR4 taps[3] = {{-1.0f / kWidth, 0, 0, 0}, {0, 0, 0, 0}, {1.0f / kWidth, 0, 0, 0}};
  ASSERT_EQ(S_OK, effect->SetTexture("TxSrc0", texture.get()));
  ASSERT_EQ(S_OK, effect->SetVectorArray("TexelKernel0", taps, 3));
  for (int invert = 0; invert < 2; ++invert) {
    SCOPED_TRACE(invert ? "inverted" : "plain");
    ASSERT_EQ(S_OK, effect->SetInt("Track0", 2));
    ASSERT_EQ(S_OK, effect->SetBool("Check0", invert));
    ASSERT_EQ(S_OK, device.DrawPasses(effect.get(), {target.get()}));
    std::vector<float> got = AsFloats(device.Read(target.get()));
    ASSERT_EQ(source.size(), got.size());
    for (int x = 0; x < static_cast<int>(kWidth); ++x) {
      for (int c = 0; c < 4; ++c) {
        auto at = [&](int i) {
          return source[4 * std::min(std::max(i, 0), static_cast<int>(kWidth) - 1) + c];
        };
        float mean = (at(x - 1) + at(x) + at(x + 1)) * 0.33333334f * 2.0f;
        // The negative mirrors Y and negates Cb and Cr.
        float expected = !invert || c == 3 ? mean : c == 0 ? 1.0f - mean : -mean;
        // The 1/3 of the shader is not exact: a few float ulps of difference.
        EXPECT_NEAR(expected, got[4 * x + c], 1e-6f) << "x " << x << " channel " << c;
      }
    }
  }
}

}  // namespace
}  // namespace fx2_wine
