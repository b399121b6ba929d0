// texloom-host.exe's run mode end to end, as the command that drives it from
// Linux uses it: a raw clip through the real plug-in, the events on standard
// output line by line, the frames in the output file, and the exit status
// of every kind of failure. Two cases run the host with a Mesa setting that
// takes a texture format away from Wine's Direct3D, so that the plug-in's
// format fallback and its "no format" error happen for real.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"
#include "tools/host/text_codec.h"

namespace plugin_e2e {
namespace {

using texloom_host::WideToShiftJis;

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

struct RunResult {
  DWORD status = 0xFFFFFFFF;
  std::vector<std::string> lines;
  std::string Text() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }
};

using Arguments = std::vector<std::wstring>;

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::wstring HostProgram() { return ProgramFolder() + L"texloom-host.exe"; }

// texloom-host.exe with `arguments`, its standard output in a file of
// `folder`.
RunResult RunHost(const texloom_host::PluginFolder& folder, const Arguments& arguments) {
  RunResult result;
  const std::wstring stdout_path = folder.path() + L"\\stdout.txt";
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE out = CreateFileW(stdout_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot create " << Utf8(stdout_path);
    return result;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  // The usage text goes to standard error; keep it out of the test's log.
  HANDLE errors =
      CreateFileW((folder.path() + L"\\stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  startup.hStdError = errors;
  PROCESS_INFORMATION process = {};
  std::wstring command = L"\"" + HostProgram() + L"\"";
  for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                folder.path().c_str(), &startup, &process);
  CloseHandle(out);
  if (errors != INVALID_HANDLE_VALUE) CloseHandle(errors);
  if (!started) {
    ADD_FAILURE() << "texloom-host.exe cannot be started from " << Utf8(ProgramFolder());
    return result;
  }
  if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 124);
    ADD_FAILURE() << "texloom-host.exe did not end within 120 s";
  }
  GetExitCodeProcess(process.hProcess, &result.status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.lines = Lines(ReadAll(stdout_path));
  return result;
}

// Wine's path of a file on the Unix side, or empty outside Wine.
std::string UnixPath(const std::wstring& path) {
  typedef char*(__cdecl * UnixName)(const wchar_t*);
  auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return std::string();
  char* name = unix_name(path.c_str());
  if (!name) return std::string();
  std::string text = name;
  HeapFree(GetProcessHeap(), 0, name);
  return text;
}

// The same run with MESA_EXTENSION_OVERRIDE set for Mesa, which reads it from
// the Unix environment. A Windows child process inherits the Unix
// environment of its parent, not the Windows one; a Unix program started
// through CreateProcess gets the Windows environment. So the host runs under
// a shell started that way, which leaves its exit status in a file (Wine
// hands back no process handle for a Unix program). Empty lines and status
// 0xFFFFFFFF when that is not possible here.
RunResult RunHostWithMesaOverride(const texloom_host::PluginFolder& folder,
                                  const Arguments& arguments, const wchar_t* mesa_override) {
  RunResult result;
  const std::wstring status_path = folder.path() + L"\\status.txt";
  const std::string stdout_unix = UnixPath(folder.path() + L"\\stdout.txt");
  const std::string status_unix = UnixPath(status_path);
  const std::string host_unix = UnixPath(HostProgram());
  if (stdout_unix.empty() || status_unix.empty() || host_unix.empty()) return result;
  std::string script = "wine '" + host_unix + "'";
  for (const std::wstring& argument : arguments) script += " '" + Utf8(argument) + "'";
  script += " > '" + stdout_unix + "' 2>/dev/null; echo $? > '" + status_unix + ".tmp'; mv '" +
            status_unix + ".tmp' '" + status_unix + "'";
  std::wstring command = L"Z:\\bin\\sh -c \"" + texloom_host::Utf8ToWide(script) + L"\"";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  SetEnvironmentVariableW(L"MESA_EXTENSION_OVERRIDE", mesa_override);
  BOOL started = CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                folder.path().c_str(), &startup, &process);
  SetEnvironmentVariableW(L"MESA_EXTENSION_OVERRIDE", nullptr);
  if (!started) return result;
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  for (int waited = 0; waited < 1200; ++waited) {
    std::string status = ReadAll(status_path);
    if (!status.empty()) {
      result.status = static_cast<DWORD>(std::atoi(status.c_str()));
      result.lines = Lines(ReadAll(folder.path() + L"\\stdout.txt"));
      DeleteFileW(status_path.c_str());
      return result;
    }
    Sleep(100);
  }
  ADD_FAILURE() << "the host under the shell did not end within 120 s";
  return result;
}

std::string Bytes(const std::vector<HostPixel>& pixels) {
  return std::string(reinterpret_cast<const char*>(pixels.data()), pixels.size() * 6);
}

constexpr int kWidth = 13, kHeight = 7, kFrames = 6;

HostPixel Input(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(frame * 1000 + x * 10 + y),
                   static_cast<int16_t>(-frame * 700 - y), static_cast<int16_t>(x * y - 32768)};
}

// frames × kWidth × kHeight pixels of `pixel`, packed.
std::vector<HostPixel> Clip(int first, int last, const PixelFunction& pixel) {
  std::vector<HostPixel> pixels;
  for (int f = first; f <= last; ++f) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) pixels.push_back(pixel(f, x, y));
    }
  }
  return pixels;
}

class RunModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireDirect3D("host_run_mode_test");
    ASSERT_TRUE(folder_.ok());
    module_ = folder_.PlaceModule(ProductModule(), L"filter");
    ASSERT_FALSE(module_.empty());
    ASSERT_TRUE(folder_.WriteFile(L"input", L".raw", Bytes(Clip(0, kFrames - 1, Input))));
  }

  void PlaceEffect(const std::string& description) {
    ASSERT_TRUE(folder_.WriteFile(L"filter", L".fxo", CompileEffect(description)));
  }

  // A run over frames first..last of input.raw, then `extra`.
  Arguments Run(int first, int last, const Arguments& extra = {}) {
    Arguments arguments = {L"run",
                           L"--plugin",
                           module_,
                           L"--input",
                           folder_.path() + L"\\input.raw",
                           L"--width",
                           std::to_wstring(kWidth),
                           L"--height",
                           std::to_wstring(kHeight),
                           L"--frames",
                           std::to_wstring(kFrames),
                           L"--first",
                           std::to_wstring(first),
                           L"--last",
                           std::to_wstring(last),
                           L"--output",
                           folder_.path() + L"\\out.raw"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return arguments;
  }

  // Run() with the value after `name` replaced.
  Arguments RunWith(const std::wstring& name, const std::wstring& value) {
    Arguments arguments = Run(0, 1);
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
      if (arguments[i] == name) arguments[i + 1] = value;
    }
    return arguments;
  }

  std::string Output() { return ReadAll(folder_.path() + L"\\out.raw"); }

  texloom_host::PluginFolder folder_;
  std::wstring module_;
};

// c0 + Track0, c1 + 1000 when Check0 is on, c2 unchanged.
std::string ControlsEffect() {
  const std::string title = WideToShiftJis(L"ぼかし");
  return "int4 FilterVersion < string name = \"" + title +
         "\"; string ex_info = \"Blur\"; > = {1, 2, 0, 0};\n"
         "int Track0 < string name = \"" +
         WideToShiftJis(L"強さ") +
         "\"; int def = 3; int min = 0; int max = 10; > = 3;\n"
         "int Track1 < string name = \"Radius\"; >;\n"
         "bool Check0 < string name = \"" +
         WideToShiftJis(L"反転") +
         "\"; >;\n"
         "texture TxSrc0 < int frame_offset = 0; >;\n" +
         PointSampler("Source0", "TxSrc0") + "technique ProcessImage0 {\n" +
         Pass("P0",
              "      def c10, 0.000244140625, 0.244140625, 0, 0\n"
              "      dcl t0.xy\n"
              "      dcl_2d s0\n"
              "      texld r0, t0, s0\n"
              "      mov r1, c0\n"
              "      mad r0.x, r1.x, c10.x, r0.x\n"
              "      mov r1, c1\n"
              "      mad r0.y, r1.x, c10.y, r0.y\n"
              "      mov oC0, r0",
              "c0 = Track0; c1 = Check0; s0 = Source0;") +
         "}\n";
}

TEST_F(RunModeTest, AClipThroughThePlugin) {
  PlaceEffect(ControlsEffect());
  RunResult run =
      RunHost(folder_, Run(1, 4, {L"--track", L"強さ=5", L"--check", L"0=1", L"--track", L"1=2"}));
  EXPECT_EQ(0u, run.status) << run.Text();
  const std::vector<std::string> expected = {"table\tぼかし\tBlur, v1.2",
                                             "track\t0\t強さ\t3\t0\t10\t5",
                                             "track\t1\tRadius\t0\t1\t0\t2",
                                             "check\t0\t反転\t0\t1",
                                             "frame\t1\tok",
                                             "frame\t2\tok",
                                             "frame\t3\tok",
                                             "frame\t4\tok",
                                             "done\t4"};
  EXPECT_EQ(expected, run.lines);
  EXPECT_EQ(Bytes(Clip(1, 4,
                       [](int f, int x, int y) {
                         HostPixel p = Input(f, x, y);
                         return HostPixel{static_cast<int16_t>(p.c0 + 5),
                                          static_cast<int16_t>(p.c1 + 1000), p.c2};
                       })),
            Output());
}

TEST_F(RunModeTest, DefaultsInlineAndWithoutTheParallelService) {
  PlaceEffect(ControlsEffect());
  RunResult worker = RunHost(folder_, Run(0, 5));
  ASSERT_EQ(0u, worker.status) << worker.Text();
  const std::string expected = Bytes(Clip(0, 5, [](int f, int x, int y) {
    HostPixel p = Input(f, x, y);
    return HostPixel{static_cast<int16_t>(p.c0 + 3), p.c1, p.c2};
  }));
  EXPECT_EQ(expected, Output());
  RunResult serial =
      RunHost(folder_, Run(0, 5, {L"--disable-pp", L"1", L"--threads", L"0", L"--dev", L"0"}));
  ASSERT_EQ(0u, serial.status) << serial.Text();
  EXPECT_EQ(worker.lines, serial.lines);
  EXPECT_EQ(expected, Output());
}

TEST_F(RunModeTest, UnknownControlsAndBadArgumentsEndWithStatus2) {
  PlaceEffect(ControlsEffect());
  struct Case {
    Arguments arguments;
    bool plugin_loaded;  // the failure comes after the table was printed
  };
  const Case cases[] = {
      {Run(0, 1, {L"--track", L"Gain=1"}), true},
      {Run(0, 1, {L"--track", L"2=1"}), true},
      {Run(0, 1, {L"--check", L"反転"}), false},
      {Run(0, 1, {L"--track", L"0=x"}), false},
      {Run(0, 1, {L"--disable-pp", L"2"}), false},
      {Run(2, 1), false},
      {Run(0, kFrames), false},
      {Run(0, 1, {L"--colour", L"1"}), false},
      {{L"run", L"--plugin", module_}, false},
      {{L"table"}, false},
      // The input holds 6 frames of 13 × 7, not 7 frames.
      {RunWith(L"--frames", L"7"), false},
      {RunWith(L"--input", folder_.path() + L"\\absent.raw"), false},
  };
  for (const Case& c : cases) {
    std::wstring text;
    for (const std::wstring& argument : c.arguments) text += argument + L" ";
    SCOPED_TRACE(Utf8(text));
    RunResult run = RunHost(folder_, c.arguments);
    EXPECT_EQ(2u, run.status) << run.Text();
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(0u, run.lines.back().rfind("error\t", 0)) << run.Text();
    EXPECT_EQ(c.plugin_loaded ? 2u : 1u, run.lines.size()) << run.Text();
  }
}

TEST_F(RunModeTest, AnUnusablePluginEndsWithStatus3) {
  ASSERT_TRUE(folder_.WriteFile(L"filter", L".fxo", std::string("no effect")));
  RunResult run = RunHost(folder_, Run(0, 1));
  EXPECT_EQ(3u, run.status) << run.Text();
  ASSERT_EQ(3u, run.lines.size()) << run.Text();
  EXPECT_EQ("message\t4112\tエフェクトファイルのエラー\tエフェクト(pre)の作成に失敗しました",
            run.lines[0]);
  EXPECT_EQ("table\tTexloom(エラー)\ttexloom by Ostrel, ver1.0a", run.lines[1]);
  EXPECT_EQ(0u, run.lines[2].rfind("error\t", 0));

  RunResult missing = RunHost(folder_, RunWith(L"--plugin", folder_.path() + L"\\absent.auf"));
  EXPECT_EQ(3u, missing.status) << missing.Text();
  ASSERT_EQ(1u, missing.lines.size()) << missing.Text();
  EXPECT_EQ(0u, missing.lines[0].rfind("error\t", 0));
}

// A frame wider than any texture the device can make fails (silently in the
// plug-in); the run stops there.
TEST_F(RunModeTest, AFailedFrameEndsWithStatus1) {
  PlaceEffect(IdentityEffect());
  const int wide = 16385;
  ASSERT_TRUE(folder_.WriteFile(L"wide", L".raw",
                                Bytes(std::vector<HostPixel>(wide * 2, HostPixel{1, 2, 3}))));
  RunResult run =
      RunHost(folder_, {L"run", L"--plugin", module_, L"--input", folder_.path() + L"\\wide.raw",
                        L"--width", L"16385", L"--height", L"1", L"--frames", L"2", L"--first",
                        L"0", L"--last", L"1", L"--output", folder_.path() + L"\\out.raw"});
  EXPECT_EQ(1u, run.status) << run.Text();
  EXPECT_EQ((std::vector<std::string>{"table\tIdentity\ttexloom by Ostrel, ver1.0a",
                                      "frame\t0\tfailed", "done\t0"}),
            run.lines);
  EXPECT_EQ("", Output());
}

// Two passes through TxTmp in U16, whose textures hold the host values' bits
// (alpha 0): pass 0 copies the source into TxRT1, pass 1 adds to it into
// TxRT0, the output. The dump of frame 2 gives pass 0's target as the source
// and pass 1's as the output, exactly; frame 5 is outside the run; the
// output is the same as without the dump.
TEST_F(RunModeTest, DumpsEveryPassTargetOfTheChosenFrames) {
  PlaceEffect(FilterVersion("Dump", "string img_format = \"U16\";") +
              "texture TxSrc0 < int frame_offset = 0; >;\ntexture TxTmp;\ntexture TxRT0;\n"
              "texture TxRT1;\n" +
              PointSampler("Source0", "TxSrc0") + PointSampler("Tmp", "TxTmp") +
              "technique ProcessImage0 {\n" +
              Pass("P0", "      dcl t0.xy\n      dcl_2d s0\n      texld r0, t0, s0\n      mov oC0, r0",
                   "s0 = Source0;") +
              Pass("P1",
                   "      def c10, 0.125, 0.25, 0.0625, 0\n      dcl t0.xy\n      dcl_2d s0\n"
                   "      texld r0, t0, s0\n      add r0, r0, c10\n      mov oC0, r0",
                   "s0 = Tmp;") +
              "}\n");
  RunResult plain = RunHost(folder_, Run(1, 3));
  ASSERT_EQ(0u, plain.status) << plain.Text();
  const std::string plain_output = Output();
  const std::wstring targets = folder_.path() + L"\\targets";
  ASSERT_TRUE(CreateDirectoryW(targets.c_str(), nullptr));
  RunResult run =
      RunHost(folder_, Run(1, 3, {L"--dump-targets", targets, L"--dump-frames", L"5,2"}));
  ASSERT_EQ(0u, run.status) << run.Text();
  EXPECT_EQ(plain_output, Output());
  const std::vector<std::string> expected = {"table\tDump\ttexloom by Ostrel, ver1.0a",
                                             "frame\t1\tok",
                                             "target\t2\tpass0_out0_TxRT1\tok\t13\t7",
                                             "target\t2\tpass1_out0_TxRT0\tok\t13\t7",
                                             "frame\t2\tok",
                                             "frame\t3\tok",
                                             "done\t3"};
  EXPECT_EQ(expected, run.lines);

  // Pass 0: the source's bits. Pass 1: the output's bits (its alpha is the
  // effect's, not the host's, and is not compared).
  std::string source, output_rgb, pass1_rgb;
  const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
  const std::string pass1 = ReadAll(targets + L"\\frame_000002_pass1_out0_TxRT0.rgba64");
  ASSERT_EQ(pixels * 8, pass1.size());
  for (size_t i = 0; i < pixels; ++i) {
    const HostPixel in = Input(2, static_cast<int>(i % kWidth), static_cast<int>(i / kWidth));
    const uint16_t texel[4] = {static_cast<uint16_t>(in.c0), static_cast<uint16_t>(in.c1),
                               static_cast<uint16_t>(in.c2), 0};
    source.append(reinterpret_cast<const char*>(texel), sizeof texel);
    output_rgb.append(plain_output, (pixels + i) * 6, 6);  // frame 2, the run's second
    pass1_rgb.append(pass1, i * 8, 6);
  }
  EXPECT_EQ(source, ReadAll(targets + L"\\frame_000002_pass0_out0_TxRT1.rgba64"));
  EXPECT_EQ(output_rgb, pass1_rgb);
  EXPECT_NE(source.substr(0, 6), pass1_rgb.substr(0, 6)) << "pass 1 changed nothing";
}

// Without GL_EXT_texture_snorm, wined3d offers no Q16W16V16U16: the plug-in
// warns and works in F32, which holds -32768 (S16 would give -32767).
TEST_F(RunModeTest, AFormatTheDeviceLacksFallsBackToF32) {
  if (UnixPath(HostProgram()).empty()) GTEST_SKIP() << "SKIPPED: needs Wine";
  PlaceEffect(IdentityEffect("string img_format = \"S16\";"));
  RunResult run = RunHostWithMesaOverride(folder_, Run(0, 2), L"-GL_EXT_texture_snorm");
  EXPECT_EQ(0u, run.status) << run.Text();
  ASSERT_EQ(6u, run.lines.size()) << run.Text();
  EXPECT_EQ(
      "message\t4144\tIdentity\t\"S16\"フォーマットは現在利用中のGPUではサポートされていません。"
      "\\n\"F32\"として処理しますが、正しく動作しない可能性があります。",
      run.lines[1]);
  EXPECT_EQ(Bytes(Clip(0, 2, Input)), Output());
}

// Without GL_ARB_texture_float neither F16 nor F32 exists: a warning for
// F16, the error that no format is left, and the failed effect creation.
TEST_F(RunModeTest, NoFloatFormatsLeaveNoFormat) {
  if (UnixPath(HostProgram()).empty()) GTEST_SKIP() << "SKIPPED: needs Wine";
  PlaceEffect(IdentityEffect("string img_format = \"F16\";"));
  RunResult run = RunHostWithMesaOverride(folder_, Run(0, 2), L"-GL_ARB_texture_float");
  EXPECT_EQ(3u, run.status) << run.Text();
  const std::vector<std::string> expected = {
      "table\tIdentity\ttexloom by Ostrel, ver1.0a",
      "message\t4144\tIdentity\t\"F16\"フォーマットは現在利用中のGPUではサポートされていません。"
      "\\n\"F32\"として処理しますが、正しく動作しない可能性があります。",
      "message\t4112\tIdentity\t利用可能なフォーマットがありません",
      "message\t4112\tIdentity\tエフェクトの作成に失敗しました"};
  ASSERT_EQ(expected.size() + 1, run.lines.size()) << run.Text();
  EXPECT_EQ(expected, std::vector<std::string>(run.lines.begin(), run.lines.end() - 1));
  EXPECT_EQ(0u, run.lines.back().rfind("error\t", 0));
}

}  // namespace
}  // namespace plugin_e2e
