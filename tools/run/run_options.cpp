#include "run/run_options.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace texloom_run {
namespace {

bool ParseLong(const std::string& text, long* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

bool ParseInt(const std::string& text, int* value) {
  long parsed = 0;
  if (!ParseLong(text, &parsed) || parsed < INT_MIN || parsed > INT_MAX) return false;
  *value = static_cast<int>(parsed);
  return true;
}

bool ParsePositiveNumber(const std::string& text, double* value) {
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) {
    return false;
  }
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(parsed > 0.0) || parsed > 1e6) return false;
  *value = parsed;
  return true;
}

// "30", "29.97" or "30000/1001".
bool IsFrameRate(const std::string& text) {
  const size_t slash = text.find('/');
  double a = 0.0;
  double b = 0.0;
  if (slash == std::string::npos) return ParsePositiveNumber(text, &a);
  return ParsePositiveNumber(text.substr(0, slash), &a) &&
         ParsePositiveNumber(text.substr(slash + 1), &b);
}

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// KEY=VALUE, split at the last '=' so that a name may hold one.
bool ParseSetting(const std::string& option, const std::string& text, bool check,
                  ControlSetting* setting, std::string* error) {
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos) {
    *error = option + " expects KEY=VALUE (KEY an index or a name), got '" + text + "'";
    return false;
  }
  const std::string key = text.substr(0, equals);
  const std::string value = text.substr(equals + 1);
  if (key.empty()) {
    *error = option + " '" + text + "': the control's index or name is missing";
    return false;
  }
  if (key.find_first_of("\t\r\n") != std::string::npos) {
    *error = option + ": a control name cannot hold a tab or a line break";
    return false;
  }
  int parsed = 0;
  if (!ParseInt(value, &parsed)) {
    *error = option + " " + key + ": expected a whole number, got '" + value + "'";
    return false;
  }
  if (check && parsed != 0 && parsed != 1) {
    *error = option + " " + key + ": a check box is 0 or 1, got '" + value + "'";
    return false;
  }
  setting->key = key;
  setting->value = parsed;
  return true;
}

enum class Takes { nothing, value };

struct OptionInfo {
  const char* long_name;
  char short_name;
  Takes takes;
  const char* single_dash = nullptr;  // ffmpeg's spelling: -an, -c:v, -crf ...
};

const OptionInfo kOptions[] = {
    {"help", 'h', Takes::nothing}, {"input", 'i', Takes::value},
    {"version", 0, Takes::nothing},
    {"overwrite", 'y', Takes::nothing},
    {"no-overwrite", 'n', Takes::nothing},
    {"no-audio", 0, Takes::nothing, "an"},
    {"codec", 0, Takes::value, "c:v"},
    {"crf", 0, Takes::value, "crf"},
    {"preset", 0, Takes::value, "preset"},
    {"pix-fmt", 0, Takes::value, "pix_fmt"},
    {"ffmpeg-output-args", 0, Takes::value},
    {"watch", 0, Takes::nothing},
    {"frames", 0, Takes::value},
    {"dump-targets", 0, Takes::value},
    {"effect", 'e', Takes::value}, {"output", 'o', Takes::value},
    {"track", 0, Takes::value},    {"check", 0, Takes::value},
    {"from", 0, Takes::value},     {"to", 0, Takes::value},
    {"fps", 0, Takes::value},      {"disable-pp", 0, Takes::nothing},
    {"dev", 0, Takes::value},      {"threads", 0, Takes::value},
    {"plugin", 0, Takes::value},   {"quiet", 'q', Takes::nothing},
};

const OptionInfo* FindLong(const std::string& name) {
  for (const OptionInfo& option : kOptions) {
    if (name == option.long_name) return &option;
  }
  return nullptr;
}

const OptionInfo* FindSingleDash(const std::string& name) {
  for (const OptionInfo& option : kOptions) {
    if (option.single_dash != nullptr && name == option.single_dash) return &option;
  }
  if (name == "vcodec") return FindSingleDash("c:v");
  return nullptr;
}

const OptionInfo* FindShort(char name) {
  for (const OptionInfo& option : kOptions) {
    if (option.short_name != 0 && name == option.short_name) return &option;
  }
  return nullptr;
}

class Parser {
 public:
  ParsedOptions Parse(const std::vector<std::string>& arguments) {
    ParsedOptions result;
    bool options_end = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      if (options_end || argument.size() < 2 || argument[0] != '-') {
        if (!SetOnce("the clip", &options_.input, argument, &input_seen_)) return Fail();
        continue;
      }
      if (argument == "--") {
        options_end = true;
        continue;
      }
      const OptionInfo* option = nullptr;
      std::string shown;
      std::string value;
      bool has_value = false;
      if (argument[1] == '-') {
        const size_t equals = argument.find('=');
        const std::string name =
            argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        option = FindLong(name);
        shown = "--" + name;
        if (equals != std::string::npos) {
          value = argument.substr(equals + 1);
          has_value = true;
        }
      } else if (argument.size() == 2) {
        option = FindShort(argument[1]);
        shown = argument;
      } else {
        option = FindSingleDash(argument.substr(1));
        shown = argument;
      }
      if (option == nullptr) {
        error_ = "unknown option '" + argument + "' (see --help)";
        return Fail();
      }
      if (option->takes == Takes::nothing && has_value) {
        error_ = shown + " takes no value";
        return Fail();
      }
      if (option->takes == Takes::value && !has_value) {
        if (i + 1 >= arguments.size()) {
          error_ = shown + " needs a value";
          return Fail();
        }
        value = arguments[++i];
      }
      if (!Apply(option->long_name, shown, value)) return Fail();
    }
    if (!Complete()) return Fail();
    result.ok = true;
    result.options = options_;
    return result;
  }

 private:
  ParsedOptions Fail() {
    ParsedOptions result;
    result.error = error_;
    return result;
  }

  bool SetOnce(const std::string& what, std::string* field, const std::string& value, bool* seen) {
    if (*seen) {
      error_ = what + " is given twice ('" + *field + "' and '" + value + "')";
      return false;
    }
    if (value.empty()) {
      error_ = what + " is empty";
      return false;
    }
    *field = value;
    *seen = true;
    return true;
  }

  bool Once(const std::string& shown, bool* seen) {
    if (*seen) {
      error_ = shown + " is given twice";
      return false;
    }
    *seen = true;
    return true;
  }

  bool FrameNumber(const std::string& shown, const std::string& value, long* frame, bool* seen) {
    if (!Once(shown, seen)) return false;
    if (!ParseLong(value, frame) || *frame < 0) {
      error_ = shown + ": expected a frame number (0 or more), got '" + value + "'";
      return false;
    }
    return true;
  }

  bool Apply(const std::string& name, const std::string& shown, const std::string& value) {
    if (name == "help") {
      options_.help = true;
      return true;
    }
    if (name == "version") {
      options_.version = true;
      return true;
    }
    if (name == "overwrite" || name == "no-overwrite") {
      const Overwrite wanted = name == "overwrite" ? Overwrite::replace : Overwrite::never;
      if (overwrite_seen_ && options_.overwrite != wanted) {
        error_ = "-y (replace outputs) and -n (never replace) exclude each other";
        return false;
      }
      overwrite_seen_ = true;
      options_.overwrite = wanted;
      return true;
    }
    if (name == "watch") return Once(shown, &options_.watch);
    if (name == "frames") {
      std::string number;
      for (char c : value + ",") {
        if (c != ',') {
          number += c;
          continue;
        }
        long frame = 0;
        if (!ParseLong(number, &frame) || frame < 0) {
          error_ = shown + ": expected frame numbers such as 10,120,240, got '" + value + "'";
          return false;
        }
        options_.frames.push_back(frame);
        number.clear();
      }
      return true;
    }
    if (name == "dump-targets") {
      if (!SetOnce(shown, &options_.dump_targets, value, &dump_targets_seen_)) return false;
      while (options_.dump_targets.size() > 1 && options_.dump_targets.back() == '/') {
        options_.dump_targets.pop_back();
      }
      return true;
    }
    if (name == "no-audio") {
      options_.encoder.audio = false;
      return true;
    }
    if (name == "codec" || name == "crf" || name == "preset" || name == "pix-fmt") {
      std::string* field = name == "codec"    ? &options_.encoder.codec
                           : name == "crf"    ? &options_.encoder.crf
                           : name == "preset" ? &options_.encoder.preset
                                              : &options_.encoder.pix_fmt;
      if (!field->empty()) {
        error_ = shown + " is given twice";
        return false;
      }
      if (value.empty() || value[0] == '-') {
        error_ = shown + " needs a value, got '" + value + "'";
        return false;
      }
      *field = value;
      return true;
    }
    if (name == "ffmpeg-output-args") {
      std::string word;
      for (char c : value + " ") {
        if (c != ' ' && c != '\t') {
          word += c;
        } else if (!word.empty()) {
          options_.encoder.extra.push_back(word);
          word.clear();
        }
      }
      return true;
    }
    if (name == "input") return SetOnce("the clip", &options_.input, value, &input_seen_);
    if (name == "effect") return SetOnce(shown, &options_.effect, value, &effect_seen_);
    if (name == "plugin") return SetOnce(shown, &options_.plugin, value, &plugin_seen_);
    if (name == "output") {
      OutputTarget target;
      if (!ClassifyOutput(value, &target, &error_)) return false;
      for (const OutputTarget& earlier : options_.outputs) {
        if (earlier.path == target.path) {
          error_ = "the output '" + value + "' is given twice";
          return false;
        }
      }
      options_.outputs.push_back(target);
      return true;
    }
    if (name == "track" || name == "check") {
      ControlSetting setting;
      if (!ParseSetting(shown, value, name == "check", &setting, &error_)) return false;
      (name == "track" ? options_.tracks : options_.checks).push_back(setting);
      return true;
    }
    if (name == "from") return FrameNumber(shown, value, &options_.from, &from_seen_);
    if (name == "to") return FrameNumber(shown, value, &options_.to, &to_seen_);
    if (name == "fps") {
      if (!Once(shown, &fps_seen_)) return false;
      if (!IsFrameRate(value)) {
        error_ =
            shown + ": expected a frame rate such as 25, 29.97 or 30000/1001, got '" + value + "'";
        return false;
      }
      options_.fps = value;
      return true;
    }
    if (name == "disable-pp") return Once(shown, &options_.disable_pp);
    if (name == "quiet") return Once(shown, &options_.quiet);
    if (name == "dev") {
      if (!Once(shown, &options_.dev_set)) return false;
      if (!ParseInt(value, &options_.dev)) {
        error_ = shown + ": expected an adapter number, got '" + value + "'";
        return false;
      }
      return true;
    }
    if (name == "threads") {
      if (!Once(shown, &threads_seen_)) return false;
      if (!ParseInt(value, &options_.threads) || options_.threads < 0 || options_.threads > 256) {
        error_ = shown + ": expected a thread count from 0 to 256, got '" + value + "'";
        return false;
      }
      return true;
    }
    error_ = "option " + shown + " is not handled";
    return false;
  }

  bool Complete() {
    if (options_.help || options_.version) return true;
    if (!input_seen_) {
      error_ = "no clip given (texloom-run [options] <clip>, see --help)";
      return false;
    }
    if (options_.input == "-") {
      error_ = "the clip cannot come from standard input; give a file";
      return false;
    }
    if (!effect_seen_) {
      error_ = "no effect given (--effect <file.fxo>)";
      return false;
    }
    const std::string extension = LowerExtension(options_.effect);
    if (extension != ".fxo" && extension != ".fx") {
      error_ =
          "the effect must be a compiled .fxo or an HLSL .fx file, got '" + options_.effect + "'";
      return false;
    }
    const bool dump = dump_targets_seen_;
    if (options_.outputs.empty() && (options_.watch || !dump)) {
      error_ = "no output given (--output <video file, PNG pattern or folder>)";
      return false;
    }
    if (options_.watch && options_.frames.empty()) {
      error_ = "--watch and --frames go together (--watch --frames 10,120 -o preview/)";
      return false;
    }
    if (!options_.watch && !options_.frames.empty() && !dump) {
      error_ = "--frames names the frames of --watch or --dump-targets (--watch --frames 10,120 "
               "-o preview/, or --frames 10,120 --dump-targets targets/)";
      return false;
    }
    if (dump && options_.frames.empty()) {
      error_ = "--dump-targets needs the frames whose targets it writes: --frames 10,120";
      return false;
    }
    struct stat info;
    if (dump && stat(options_.dump_targets.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
      error_ = "--dump-targets '" + options_.dump_targets + "' is a file, not a folder";
      return false;
    }
    if (options_.watch &&
        (options_.outputs.size() != 1 || options_.outputs[0].kind != OutputKind::png_folder)) {
      error_ = "--watch writes into one folder: -o preview/";
      return false;
    }
    if (from_seen_ && to_seen_ && options_.to < options_.from) {
      error_ = "--to " + std::to_string(options_.to) + " comes before --from " +
               std::to_string(options_.from);
      return false;
    }
    return true;
  }

  RunOptions options_;
  std::string error_;
  bool input_seen_ = false;
  bool effect_seen_ = false;
  bool plugin_seen_ = false;
  bool from_seen_ = false;
  bool to_seen_ = false;
  bool fps_seen_ = false;
  bool threads_seen_ = false;
  bool overwrite_seen_ = false;
  bool dump_targets_seen_ = false;
};

}  // namespace

bool IsVideoExtension(const std::string& extension) {
  static const char* const kVideo[] = {".mp4", ".m4v", ".mkv", ".mov", ".avi", ".webm",
                                       ".nut", ".gif", ".y4m", ".mpg", ".ts",  ".flv"};
  for (const char* known : kVideo) {
    if (extension == known) return true;
  }
  return false;
}

bool IsFramePattern(const std::string& path) {
  int conversions = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '%') continue;
    if (i + 1 < path.size() && path[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    if (j < path.size() && path[j] == '0') {
      ++j;
      const size_t digits = j;
      while (j < path.size() && std::isdigit(static_cast<unsigned char>(path[j]))) ++j;
      if (j == digits) return false;
    }
    if (j >= path.size() || path[j] != 'd') return false;
    ++conversions;
    i = j;
  }
  return conversions == 1;
}

bool ClassifyOutput(const std::string& path, OutputTarget* target, std::string* error) {
  if (path.empty()) {
    *error = "an output path is empty";
    return false;
  }
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  if (path.back() == '/' || IsFolder(path)) {
    *target = OutputTarget{OutputKind::png_folder, trimmed};
    return true;
  }
  const std::string extension = LowerExtension(path);
  if (extension == ".png") {
    if (path.find('%') == std::string::npos) {
      *target = OutputTarget{OutputKind::png_single, path};
      return true;
    }
    if (!IsFramePattern(path)) {
      *error = "the PNG pattern '" + path + "' needs exactly one %d or %0Nd (such as %04d)";
      return false;
    }
    *target = OutputTarget{OutputKind::png_pattern, path};
    return true;
  }
  if (IsVideoExtension(extension)) {
    if (path.find('%') != std::string::npos) {
      *error = "a video output cannot be a pattern: '" + path + "'";
      return false;
    }
    *target = OutputTarget{OutputKind::video, path};
    return true;
  }
  *error = "cannot tell what to write to '" + path +
           "': use a video extension (.mp4 .mkv .mov .avi .webm ...), a PNG pattern "
           "(frames_%04d.png), a folder (ending in /) or one .png";
  return false;
}

std::string UsageText() {
  return R"(Usage: texloom-run [options] <clip>
       texloom-run -i <clip> -e <effect> -o <output> [options]

Runs an effect over a clip through texloom.auf, frame by frame, and writes the
result as a video, as PNG frames, or both.

  -i, --input CLIP       the clip: a video, an image sequence (shot_%04d.png) or
                         one image; anything ffmpeg reads
  -e, --effect FILE      the effect: HLSL source .fx, compiled by tools/texloom-fxo
                         before the run (its messages are shown as
                         file:line:column), or a compiled .fxo
  -o, --output PATH      where the result goes; give it again for more outputs:
                           out.mp4, out.mkv, .mov .avi .webm ...  a video
                           frames/out_%04d.png   PNG frames named by frame number
                           frames/               PNG frames frame_000000.png ...
                           still.png             one PNG (a range of one frame)
      --track KEY=VALUE  set a track bar; KEY is its index (0, 1, ...) or its name
      --check KEY=VALUE  set a check box to 0 or 1; KEY as for --track
      --from N           first frame to filter (default 0)
      --to N             last frame to filter, included (default: the last)
      --fps RATE         frame rate of video outputs (default: the clip's)
      --disable-pp       draw on the host's thread instead of a render thread
      --dev N            adapter number (negative: the reference rasteriser)
      --threads N        threads of the host's parallel-run service (0: none,
                         the plug-in converts on its own thread)
      --plugin FILE      the texloom.auf to run (default: the one the
                         tools/texloom-run wrapper builds)
  -y                     replace outputs that exist
  -n                     never replace an output (the default: an output that
                         exists is refused before anything runs)
  -an                    leave the clip's audio and subtitles out (by default
                         they are copied into video outputs whose container
                         takes them)
  -c:v CODEC, -crf N, -preset NAME, -pix_fmt FORMAT
                         ffmpeg's encoder options for video outputs
      --ffmpeg-output-args "ARGS"
                         more ffmpeg output options, split at spaces
      --watch --frames N,N,...
                         an edit loop: renders those frames into the -o
                         folder as side-by-side PNGs (clip | result), and
                         again each time the effect file or a file it
                         includes is saved; a broken effect prints its
                         messages and waits for the next save (Ctrl-C ends)
      --frames N,N,... --dump-targets DIR
                         for debugging multi-pass effects: every pass's render
                         targets of those frames as 16-bit PNGs in DIR (made
                         if missing), named
                         frame_000010_pass0_out0_TxRT1.png: the frame, the
                         pass (from 0), its colour output (COLOR0..3) and the
                         texture it wrote (TxRT<k>, or slot<k> where the
                         effect declares no TxRT<k>); R, G, B, A with 0..1
                         mapped to 0..65535 and clamped (signed formats:
                         below 0 is 0). With -o the frames must lie within
                         --from..--to and are dumped during the run; without
                         -o each is filtered alone; with --watch each render
                         dumps again
  -q, --quiet            no progress and no effect summary (message boxes and
                         errors are still shown)
  -h, --help             this text
      --version          the version

Frames are numbered from 0. Controls not set keep the effect's defaults.
Frames stream from ffmpeg through the plug-in to the encoders while the clip
plays; nothing the size of the clip is kept on disk or in memory. Decoding
starts at --from (a seek) once the effect has loaded and every option was
accepted. Every message box the plug-in raises (compiler errors, validation
warnings) is printed with its caption. Outputs are written under temporary
names and appear only when every frame was filtered.

Exit status: 0 done; 1 the filter failed a frame; 2 bad arguments, clip or
output (an output that exists without -y included); 3 the effect could not
be used; 4 ffmpeg, Wine or the host failed; 5 Wine, Xvfb or a Direct3D 9
device is missing here (the message says which); 130 interrupted (143 when
terminated).
)";
}

std::string VersionText() { return "texloom-run 1.0.1.10\n"; }

ParsedOptions ParseRunOptions(const std::vector<std::string>& arguments) {
  return Parser().Parse(arguments);
}

}  // namespace texloom_run
