// texloom-host.exe run: a clip of raw frames through a filter plug-in, for a
// command that drives the plug-in from Linux under Wine.
//
//   texloom-host.exe run --plugin <path.auf> --input <frames.raw>
//                        --width W --height H --frames N
//                        --first A --last B --output <out.raw>
//                        [--track KEY=VALUE]... [--check KEY=VALUE]...
//                        [--disable-pp 0|1] [--dev N] [--threads T]
//
// Input: N frames back to back, each W×H host pixels packed (row stride W;
// per pixel three little-endian int16: Y, Cb, Cr); the file must hold exactly
// N frames. Frames are read when the plug-in fetches them; a frame number
// outside 0..N-1 is served as frame 0 or N-1. The request's max_width is W,
// its max_height H, its frame count N.
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
// Frames A..B are processed in order; each delivered frame (W×H host pixels
// packed) is appended to the output file, which is created anew.
//
// Standard output, UTF-8, one event per line, fields separated by tabs,
// flushed after every line:
//   table\t<title>\t<information>
//   track\t<i>\t<name>\t<default>\t<min>\t<max>\t<value>     (one per track)
//   check\t<i>\t<name>\t<default>\t<value>                  (one per check)
//   message\t<style as decimal>\t<caption>\t<text>   (when the plug-in raises it)
//   frame\t<n>\tok   or   frame\t<n>\tfailed
//   error\t<text>
//   done\t<frames delivered>
// In text fields "\" is written as "\\", a line break as "\n" and a tab as
// "\t". "table" comes first, once the module is loaded; "track" and "check"
// follow once the settings are resolved; "done" ends every run with status 0
// or 1.
//
// Exit status: 0 all frames delivered; 1 a frame failed (the run stops after
// that frame's "failed" line, exits the plug-in and prints "done"); 2 bad
// arguments or an unreadable input or unwritable output (an "error" line);
// 3 the plug-in cannot be used: the module does not load, has no
// GetFilterTable, keeps the title "Texloom(エラー)" (its effect was not
// usable) or its init handler returns 0 (an "error" line).
#include "tools/host/run_mode.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "tools/host/clip.h"
#include "tools/host/host.h"
#include "tools/host/run_arguments.h"
#include "tools/host/text_codec.h"

namespace texloom_host {

namespace {

void PrintLine(const std::string& line) {
  std::string text = line + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
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
  bool Create(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  bool Append(const std::vector<HostPixel>& pixels) {
    const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(HostPixel));
    DWORD written = 0;
    return WriteFile(file_, pixels.data(), bytes, &written, nullptr) && written == bytes;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

int ProcessFrames(Host& host, const RunArguments& arguments, RawFileClip* clip, OutputFile& out,
                  int* delivered) {
  for (int frame = arguments.first; frame <= arguments.last; ++frame) {
    int result = host.Process(frame);
    if (clip->read_failures() > 0) {
      return Fail(2, "the input file cannot be read (frame " + std::to_string(frame) + ")");
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
    if (!out.Append(host.output().Frame(arguments.width, arguments.height))) {
      return Fail(2, "the output file cannot be written");
    }
    ++*delivered;
    PrintLine("frame" + Number(frame) + "\tok");
  }
  return 0;
}

}  // namespace

int RunMode(int argc, wchar_t** argv, int first) {
  RunArguments arguments;
  std::string error;
  if (!ParseRunArguments(argc, argv, first, &arguments, &error)) return Fail(2, error);

  std::shared_ptr<RawFileClip> clip(RawFileClip::Open(arguments.input, arguments.width,
                                                      arguments.height, arguments.frames, &error));
  if (!clip) return Fail(2, error);
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
  PrintLine("done" + Number(delivered));
  return status;
}

}  // namespace texloom_host
