// The command line of texloom-run, parsed into plain values. Nothing here
// touches the clip or the effect; checks that need the file system are
// limited to telling a folder output from a file output.
#pragma once

#include <string>
#include <vector>

namespace texloom_run {

enum class OutputKind {
  video,        // a video file; the container and codec follow the extension
  png_pattern,  // frames_%04d.png: one PNG per frame, numbered by frame number
  png_folder,   // a folder: frame_000000.png ... inside it
  png_single,   // one PNG, for a range of one frame
};

struct OutputTarget {
  OutputKind kind;
  std::string path;  // as given (a folder keeps no trailing slash)
};

// A track or check value: key is the control's index or its own name.
struct ControlSetting {
  std::string key;
  int value;
};

// An output that exists already.
enum class Overwrite { refuse, replace, never };

// What the encoders get besides the frames, as ffmpeg's options.
struct EncoderChoices {
  std::string codec;    // -c:v; empty: the container's default
  std::string crf;      // -crf
  std::string preset;   // -preset
  std::string pix_fmt;  // -pix_fmt; empty: the container's most precise
  std::vector<std::string> extra;  // --ffmpeg-output-args, split at spaces
  bool audio = true;    // copy the clip's audio and subtitles (-an: no)
};

struct RunOptions {
  bool help = false;
  bool version = false;
  Overwrite overwrite = Overwrite::refuse;
  EncoderChoices encoder;
  std::string input;
  std::string effect;
  std::string plugin;  // empty: the one the wrapper names (TEXLOOM_RUN_PLUGIN)
  std::vector<OutputTarget> outputs;
  std::vector<ControlSetting> tracks;
  std::vector<ControlSetting> checks;
  long from = 0;
  long to = -1;  // -1: the clip's last frame
  bool disable_pp = false;
  int dev = 0;
  bool dev_set = false;
  int threads = -1;  // -1: the host's choice; 0: no parallel-run service
  std::string fps;   // empty: the clip's rate
  bool quiet = false;
  // --watch: render `frames` to side-by-side PNGs in the output folder, and
  // again whenever the effect file changes.
  bool watch = false;
  std::vector<long> frames;
  // --dump-targets DIR: every pass's render targets of `frames` as 16-bit
  // PNGs in DIR; without --watch and -o, those frames are filtered alone.
  std::string dump_targets;
};

struct ParsedOptions {
  bool ok = false;
  RunOptions options;
  std::string error;  // one line, without the program name
};

ParsedOptions ParseRunOptions(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText();

// The kind of output a path names, or false with a reason. A path ending in
// '/' or naming an existing folder is a folder.
bool ClassifyOutput(const std::string& path, OutputTarget* target, std::string* error);

// Video extensions ffmpeg picks a muxer from (lower case, with the dot).
bool IsVideoExtension(const std::string& extension);

// The one %d or %0Nd of a PNG pattern ("%%" is a literal percent sign).
bool IsFramePattern(const std::string& path);

}  // namespace texloom_run
