// texloom-host.exe run: a clip through a filter plug-in, for a command that
// drives the plug-in from Linux under Wine.
//
//   texloom-host.exe run --plugin <path.auf> --input <frames.raw | ->
//                        --width W --height H --frames N
//                        --first A --last B --output <out.raw | ->
//                        [--track KEY=VALUE]... [--check KEY=VALUE]...
//                        [--disable-pp 0|1] [--dev N] [--threads T]
//                        [--dump-targets FOLDER --dump-frames N,N,...]
//
// A frame is W×H host pixels packed (row stride W; per pixel three
// little-endian int16: Y, Cb, Cr). The request's max_width is W, its
// max_height H, its frame count N; a frame number the plug-in asks for
// outside 0..N-1 is served as frame 0 or N-1.
//
// Input from a file: N frames back to back (the file must hold exactly N),
// read when the plug-in fetches them.
//
// Input "-" (streaming): frames come on standard input, asked for by number.
// When the plug-in fetches a frame the host does not hold, it prints
//   need\t<n>
// and reads exactly one frame, frame n, from standard input. It asks in
// order: a frame ahead of the last one asked for is preceded by those in
// between (up to 64; further is a jump); an earlier one means the driver
// must go back (seek). After each process call for frame c the host forgets
// the frames before c + 1 + the lowest offset (requested - current, at most
// 0) asked for so far, so it holds only the window the effect reaches. End
// of input while a frame is awaited fails the run with status 2.
//
// Output to a file: each delivered frame appended, the file created anew.
// Output "-": each "frame\t<n>\tok" line is followed at once by the frame's
// bytes on standard output. Standard input and output are binary.
//
// KEY is a control index (0-based; a KEY that reads as a number is always an
// index) or the control's own name as the filter table shows it, compared in
// UTF-8 after converting the table's Shift-JIS. Controls not set keep the
// table's defaults. VALUE is a decimal integer. An unknown KEY is an error.
// --disable-pp and --dev are the host settings "disable_pp" and "dev"
// (default 0). --threads is the number of threads of the parallel-run
// service (default 4); 0 leaves the service out, so the plug-in converts on
// its own thread.
//
// Frames A..B are processed in order.
//
// --dump-targets: for each of the --dump-frames within A..B, every pass's
// render targets (src/plugin/target_dump_abi.h) are written into FOLDER as
// frame_NNNNNN_pass<i>_out<m>_<texture>.rgba64: little-endian 16-bit R, G,
// B, A, rows top to bottom, no header; 0..1 mapped to 0..65535, clamped.
// Each is announced by a "target" line before the frame's "frame" line.
//
// Standard output, UTF-8, one event per line, fields separated by tabs,
// flushed after every line:
//   table\t<title>\t<information>
//   track\t<i>\t<name>\t<default>\t<min>\t<max>\t<value>     (one per track)
//   check\t<i>\t<name>\t<default>\t<value>                  (one per check)
//   message\t<style as decimal>\t<caption>\t<text>   (when the plug-in raises it)
//   need\t<n>                                        (streaming input only)
//   target\t<n>\t<name>\tok\t<width>\t<height>  or  target\t<n>\t<name>\tfailed\t<why>
//                                      (--dump-targets; name as in the file
//                                       name, empty when no pass was drawn)
//   frame\t<n>\tok   or   frame\t<n>\tfailed
//   error\t<text>
//   held\t<most input frames held at once>           (streaming input only)
//   done\t<frames delivered>
// In text fields "\" is written as "\\", a line break as "\n" and a tab as
// "\t". "table" comes first, once the module is loaded; "track" and "check"
// follow once the settings are resolved (so no frame is asked for before
// every setting is known good); "done" ends every run with status 0 or 1.
//
// Exit status: 0 all frames delivered; 1 a frame failed (the run stops after
// that frame's "failed" line, exits the plug-in and prints "done"); 2 bad
// arguments or an unreadable input or unwritable output (an "error" line);
// 3 the plug-in cannot be used: the module does not load, has no
// GetFilterTable, keeps the title "Texloom(エラー)" (its effect was not
// usable) or its init handler returns 0 (an "error" line).
#include "tools/host/run_mode.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "tools/host/clip.h"
#include "tools/host/host.h"
#include "tools/host/run_arguments.h"
#include "tools/host/stream_clip.h"
#include "tools/host/target_dump_client.h"
#include "tools/host/text_codec.h"

namespace texloom_host {

namespace {

// Lines may come from the plug-in's threads (message boxes): one writer at
// a time, so that a line never lands inside a frame's bytes.
CRITICAL_SECTION* OutputLock() {
  static CRITICAL_SECTION* lock = [] {
    static CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    return &section;
  }();
  return lock;
}

void PrintLine(const std::string& line, const void* payload = nullptr, size_t payload_bytes = 0) {
  std::string text = line + "\n";
  EnterCriticalSection(OutputLock());
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (payload_bytes > 0) std::fwrite(payload, 1, payload_bytes, stdout);
  std::fflush(stdout);
  LeaveCriticalSection(OutputLock());
}

std::string Field(const std::string& utf8) { return "\t" + EscapeField(utf8); }
std::string Number(long long value) { return "\t" + std::to_string(value); }

int Fail(int status, const std::string& why) {
  PrintLine("error" + Field(why));
  return status;
}

// The index of the control KEY names among `names` (Shift-JIS), or -1.
int ResolveKey(const std::wstring& key, const std::vector<std::string>& names) {
  int index = 0;
  if (ParseInteger(key, &index)) {
    return index >= 0 && static_cast<size_t>(index) < names.size() ? index : -1;
  }
  const std::string wanted = WideToUtf8(key);
  for (size_t i = 0; i < names.size(); ++i) {
    if (ShiftJisToUtf8(names[i]) == wanted) return static_cast<int>(i);
  }
  return -1;
}

bool ApplySettings(Host& host, std::string* error, const std::vector<ControlSetting>& settings,
                   bool tracks) {
  std::vector<std::string> names;
  if (tracks) {
    for (const TrackControl& track : host.table().tracks) names.push_back(track.name);
  } else {
    for (const CheckControl& check : host.table().checks) names.push_back(check.name);
  }
  for (const ControlSetting& setting : settings) {
    int index = ResolveKey(setting.key, names);
    if (index < 0) {
      *error = std::string("no ") + (tracks ? "track" : "check") + " named or numbered \"" +
               WideToUtf8(setting.key) + "\"";
      return false;
    }
    if (tracks) {
      host.SetTrack(static_cast<size_t>(index), setting.value);
    } else {
      host.SetCheck(static_cast<size_t>(index), setting.value);
    }
  }
  return true;
}

void PrintTable(const Host& host) {
  const FilterTableView& table = host.table();
  PrintLine("table" + Field(ShiftJisToUtf8(table.title)) +
            Field(ShiftJisToUtf8(table.information)));
}

void PrintControls(const Host& host) {
  const FilterTableView& table = host.table();
  for (size_t i = 0; i < table.tracks.size(); ++i) {
    const TrackControl& track = table.tracks[i];
    PrintLine("track" + Number(static_cast<long long>(i)) + Field(ShiftJisToUtf8(track.name)) +
              Number(track.default_value) + Number(track.minimum) + Number(track.maximum) +
              Number(host.track(i)));
  }
  for (size_t i = 0; i < table.checks.size(); ++i) {
    const CheckControl& check = table.checks[i];
    PrintLine("check" + Number(static_cast<long long>(i)) + Field(ShiftJisToUtf8(check.name)) +
              Number(check.default_value) + Number(host.check(i)));
  }
}

class OutputFile {
 public:
  ~OutputFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  // "-": frames follow their "frame" lines on standard output.
  bool Create(const std::wstring& path) {
    if (path == L"-") {
      to_stdout_ = true;
      return true;
    }
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  bool to_stdout() const { return to_stdout_; }
  bool Append(const std::vector<HostPixel>& pixels) {
    const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(HostPixel));
    DWORD written = 0;
    return WriteFile(file_, pixels.data(), bytes, &written, nullptr) && written == bytes;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool to_stdout_ = false;
};

// The clip's read failures so far, whichever kind it is.
int ReadFailures(const Clip* clip) {
  if (auto* file = dynamic_cast<const RawFileClip*>(clip)) return file->read_failures();
  if (auto* stream = dynamic_cast<const StreamClip*>(clip)) return stream->read_failures();
  return 0;
}

bool WriteRaw(const std::wstring& path, const std::vector<uint16_t>& values) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD bytes = static_cast<DWORD>(values.size() * sizeof(uint16_t));
  DWORD written = 0;
  const bool ok = WriteFile(file, values.data(), bytes, &written, nullptr) && written == bytes;
  return CloseHandle(file) && ok;
}

// The "target" lines and files of one frame; false when a file cannot be
// written (the "error" line is printed).
bool WriteTargets(const RunArguments& arguments, int frame,
                  const std::vector<DumpedTarget>& targets) {
  const std::string head = "target" + Number(frame);
  if (targets.empty()) {
    PrintLine(head + "\t\tfailed" + Field("the plug-in drew no pass for this frame"));
  }
  for (const DumpedTarget& target : targets) {
    if (!target.problem.empty()) {
      PrintLine(head + Field(target.name) + "\tfailed" + Field(target.problem));
      continue;
    }
    const std::wstring path = arguments.dump_folder + L"\\" + TargetFileName(frame, target.name);
    if (!WriteRaw(path, target.rgba)) {
      PrintLine("error" + Field("the target file " + WideToUtf8(path) + " cannot be written"));
      return false;
    }
    PrintLine(head + Field(target.name) + "\tok" + Number(target.width) + Number(target.height));
  }
  return true;
}

int ProcessFrames(Host& host, const RunArguments& arguments, Clip* clip, OutputFile& out,
                  int* delivered) {
  auto* stream = dynamic_cast<StreamClip*>(clip);
  int lowest_offset = 0;
  for (int frame = arguments.first; frame <= arguments.last; ++frame) {
    host.frames().ClearLog();
    const bool dump = std::find(arguments.dump_frames.begin(), arguments.dump_frames.end(),
                                frame) != arguments.dump_frames.end();
    if (dump) ArmTargetDump(host);
    int result = host.Process(frame);
    if (dump && !WriteTargets(arguments, frame, TakeTargetDump(host))) return 2;
    if (ReadFailures(clip) > 0) {
      return Fail(2, "the input cannot be read (frame " + std::to_string(frame) + ")");
    }
    if (stream) {
      for (const FetchRecord& record : host.frames().log()) {
        lowest_offset = std::min(lowest_offset, record.requested - frame);
      }
      stream->Keep(frame + 1 + lowest_offset);
    }
    std::string outside = host.output().CheckOutside(arguments.width, arguments.height);
    if (!outside.empty()) {
      PrintLine("error" + Field("the plug-in wrote outside the output image: " + outside));
      result = 0;
    }
    if (!result) {
      PrintLine("frame" + Number(frame) + "\tfailed");
      return 1;
    }
    const std::vector<HostPixel> pixels = host.output().Frame(arguments.width, arguments.height);
    if (out.to_stdout()) {
      PrintLine("frame" + Number(frame) + "\tok", pixels.data(), pixels.size() * sizeof(HostPixel));
    } else {
      if (!out.Append(pixels)) return Fail(2, "the output file cannot be written");
      PrintLine("frame" + Number(frame) + "\tok");
    }
    ++*delivered;
  }
  return 0;
}

}  // namespace

int RunMode(int argc, wchar_t** argv, int first) {
  RunArguments arguments;
  std::string error;
  if (!ParseRunArguments(argc, argv, first, &arguments, &error)) return Fail(2, error);

  _setmode(_fileno(stdout), _O_BINARY);
  std::shared_ptr<Clip> clip;
  if (arguments.input == L"-") {
    _setmode(_fileno(stdin), _O_BINARY);
    clip = std::make_shared<StreamClip>(arguments.width, arguments.height, arguments.frames,
                                        GetStdHandle(STD_INPUT_HANDLE),
                                        [](int n) { PrintLine("need" + Number(n)); });
  } else {
    clip.reset(RawFileClip::Open(arguments.input, arguments.width, arguments.height,
                                 arguments.frames, &error)
                   .release());
    if (!clip) return Fail(2, error);
  }
  OutputFile out;
  if (!out.Create(arguments.output)) return Fail(2, "the output file cannot be created");

  MessageRecorder::Instance().SetListener([](const RecordedMessage& message) {
    PrintLine("message" + Number(message.style) + Field(WideToUtf8(message.caption)) +
              Field(WideToUtf8(message.text)));
  });
  HostOptions options;
  options.threads = arguments.threads;
  options.dev = arguments.dev;
  options.disable_pp = arguments.disable_pp;
  Host host(options);
  if (!host.Load(arguments.plugin, &error)) return Fail(3, error);
  PrintTable(host);
  if (host.table().title == ErrorTitleShiftJis()) {
    return Fail(3, "the plug-in's effect cannot be used (its title is Texloom(エラー))");
  }
  if (!ApplySettings(host, &error, arguments.tracks, true) ||
      !ApplySettings(host, &error, arguments.checks, false)) {
    return Fail(2, error);
  }
  PrintControls(host);
  if (!host.Init()) return Fail(3, "the plug-in's init handler failed");

  host.SetClip(clip, arguments.width, arguments.height);
  int delivered = 0;
  int status = ProcessFrames(host, arguments, clip.get(), out, &delivered);
  host.Unload();
  if (status == 2) return status;
  if (auto* stream = dynamic_cast<StreamClip*>(clip.get())) {
    PrintLine("held" + Number(static_cast<long long>(stream->peak_frames())));
  }
  PrintLine("done" + Number(delivered));
  return status;
}

}  // namespace texloom_host
