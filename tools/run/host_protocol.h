// The run mode of texloom-host.exe, from the driver's side: the arguments it
// takes and the tab-separated lines it prints, one event a line.
#pragma once

#include <string>
#include <vector>

#include "run/run_options.h"

namespace texloom_run {

// The host's exit statuses.
constexpr int kHostDelivered = 0;
constexpr int kHostFrameFailed = 1;
constexpr int kHostBadArguments = 2;
constexpr int kHostPluginUnusable = 3;

// The title the plug-in takes when its effect cannot be used.
constexpr const char* kErrorTitle = "Texloom(エラー)";

struct HostRequest {
  std::string plugin;  // paths as the host sees them (Windows paths under Wine)
  std::string input;
  std::string output;
  int width = 0;
  int height = 0;
  long frames = 0;
  long first = 0;
  long last = 0;
  std::vector<ControlSetting> tracks;
  std::vector<ControlSetting> checks;
  bool disable_pp = false;
  bool dev_set = false;
  int dev = 0;
  int threads = -1;  // -1: not passed (the host's default); 0: no parallel-run service
  // Every pass's render targets of these frames, as raw files in this folder
  // (as the host sees it); none when empty.
  std::string dump_folder;
  std::vector<long> dump_frames;
};

// The arguments after the program: "run --plugin ... --output ...".
std::vector<std::string> HostRunArguments(const HostRequest& request);

// A Unix absolute path as Wine's drive Z: shows it: /x/y -> Z:\x\y.
std::string WindowsPathOf(const std::string& unix_absolute);

enum class HostEventKind {
  table,
  track,
  check,
  message,
  need,  // the host asks for a clip frame (number in `frame`)
  held,  // the most input frames held at once (in `delivered`)
  frame,
  target,  // a dumped render target: frame, name, ok, width and height, or text
  error,
  done,
  skipped,  // tools/run_wine.sh: Wine cannot run here
  other,    // a line that is not an event
};

struct HostEvent {
  HostEventKind kind = HostEventKind::other;
  // table: title and information; message: caption and text; error,
  // skipped and other: the text.
  std::string title;
  std::string text;
  // track and check; target (its name)
  int index = 0;
  std::string name;
  int default_value = 0;
  int min = 0;
  int max = 0;
  int value = 0;
  // message
  unsigned long style = 0;
  // frame, target and need (number, ok) and done and held (count)
  long frame = 0;
  bool ok = false;
  long delivered = 0;
  // target
  int width = 0;
  int height = 0;
};

// Parses one line (a trailing "\r" is dropped). A line of a known kind that
// is malformed gives false and a reason; the event is then of kind other.
bool ParseHostLine(const std::string& line, HostEvent* event, std::string* problem);

// A text field as the host escapes it: "\\" for '\', "\n" for a line
// break, "\t" for a tab.
std::string UnescapeField(const std::string& text);

}  // namespace texloom_run
