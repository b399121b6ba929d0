// A native stand-in for texloom-host.exe's run mode, for testing
// texloom-run without Wine. It speaks the same protocol; instead of loading
// the plug-in it reads the "effect" beside it as a script:
//
//   title <text>             info <text>
//   track <name> <def> <min> <max>        check <name> <def>
//   message <style> <caption>\t<text as the protocol escapes it>
//   discovery-fail           the title becomes "Texloom(エラー)", status 3
//   init-fail                discovery works, init does not: status 3
//   fail-frame <n>           frame n fails: status 1
//   crash-frame <n>          the process ends with status 5 before frame n
//   hang-frame <n>           before frame n: "hanging <pid>" to the log, then
//                            a long sleep (for interruption tests)
//   frame-offset <k>         output frame n is made from input frame n + k
//   stderr <text>            printed on standard error at start
//   late-output              frames reach the file only at the end
//   short-output             the last frame is reported but not written
//
// Input and output "-" stream the frames as texloom-host.exe does ("need n",
// then the frame on standard input; each "frame n ok" followed by its bytes);
// the fake asks only for the frame it uses. late-output holds every output
// frame back to the end; short-output sends the last frame's line alone.
//
// The transform: Y' = (Check0 ? 4096 - Y : Y) + Track0, Cb' and Cr' negated
// when Check0 is set. Paths may be given as Wine shows them (Z:\x\y).
// --dump-targets with --dump-frames: for each of those frames one target,
// pass0_out0_slot1, whose R, G, B are the output's Y', Cb', Cr' bits and A
// 65535, and one that cannot be read, pass1_out0_TxRT0.
// TEXLOOM_FAKE_HOST_LOG names a file to which the arguments are appended.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Control {
  std::string name;
  int def = 0;
  int min = 0;
  int max = 0;
  int value = 0;
};

struct Script {
  std::string title = "Fake effect";
  std::string info;
  std::vector<Control> tracks;
  std::vector<Control> checks;
  std::vector<std::string> messages;  // "style\tcaption\ttext"
  bool discovery_fail = false;
  bool init_fail = false;
  long fail_frame = -1;
  long crash_frame = -1;
  long hang_frame = -1;
  long frame_offset = 0;
  std::vector<std::string> stderr_lines;
  bool late_output = false;
  bool short_output = false;
};

[[noreturn]] void Refuse(const std::string& text) {
  std::printf("error\t%s\n", text.c_str());
  std::fflush(stdout);
  std::exit(2);
}

std::string UnixPath(const std::string& path) {
  if (path.compare(0, 3, "Z:\\") != 0) return path;
  std::string unix_path = path.substr(2);
  for (char& c : unix_path) c = c == '\\' ? '/' : c;
  return unix_path;
}

bool ToLong(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

long NumberOption(const std::string& name, const std::string& text) {
  long value = 0;
  if (!ToLong(text, &value)) Refuse(name + ": not a number: " + text);
  return value;
}

Script ReadScript(const std::string& path) {
  Script script;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (word == "title") {
      script.title = rest;
    } else if (word == "info") {
      script.info = rest;
    } else if (word == "track") {
      Control control;
      std::istringstream(rest) >> control.name >> control.def >> control.min >> control.max;
      control.value = control.def;
      script.tracks.push_back(control);
    } else if (word == "check") {
      Control control;
      std::istringstream(rest) >> control.name >> control.def;
      control.value = control.def;
      control.max = 1;
      script.checks.push_back(control);
    } else if (word == "message") {
      const size_t space = rest.find(' ');
      script.messages.push_back(rest.substr(0, space) + "\t" + rest.substr(space + 1));
    } else if (word == "discovery-fail") {
      script.discovery_fail = true;
    } else if (word == "init-fail") {
      script.init_fail = true;
    } else if (word == "fail-frame") {
      script.fail_frame = std::atol(rest.c_str());
    } else if (word == "hang-frame") {
      script.hang_frame = std::atol(rest.c_str());
    } else if (word == "crash-frame") {
      script.crash_frame = std::atol(rest.c_str());
    } else if (word == "frame-offset") {
      script.frame_offset = std::atol(rest.c_str());
    } else if (word == "stderr") {
      script.stderr_lines.push_back(rest);
    } else if (word == "late-output") {
      script.late_output = true;
    } else if (word == "short-output") {
      script.short_output = true;
    }
  }
  return script;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

void SetControl(std::vector<Control>* controls, const std::string& setting, const char* kind) {
  const size_t equals = setting.rfind('=');
  if (equals == std::string::npos) Refuse(std::string("--") + kind + " needs KEY=VALUE");
  const std::string key = setting.substr(0, equals);
  long value = 0;
  if (!ToLong(setting.substr(equals + 1), &value)) Refuse(std::string("bad value: ") + setting);
  Control* control = nullptr;
  long index = 0;
  if (ToLong(key, &index)) {
    if (index < 0 || index >= static_cast<long>(controls->size())) {
      Refuse(std::string("no ") + kind + " " + key);
    }
    control = &(*controls)[static_cast<size_t>(index)];
  } else {
    for (Control& c : *controls) {
      if (c.name == key) control = &c;
    }
    if (control == nullptr) Refuse(std::string("no ") + kind + " named " + key);
  }
  control->value = static_cast<int>(value < control->min   ? control->min
                                    : value > control->max ? control->max
                                                           : value);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (const char* log = std::getenv("TEXLOOM_FAKE_HOST_LOG")) {
    std::ofstream out(log, std::ios::app);
    for (const std::string& arg : args) out << arg << "\n";
    out << "---\n";
  }
  if (args.empty() || args[0] != "run") Refuse("the first argument must be run");
  std::string plugin, input, output;
  long width = -1, height = -1, frames = -1, first = -1, last = -1;
  std::vector<std::string> track_settings, check_settings;
  std::string dump_folder, dump_frames;
  for (size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) Refuse(args[i] + " needs a value");
    const std::string& name = args[i];
    const std::string& value = args[i + 1];
    if (name == "--plugin") {
      plugin = UnixPath(value);
    } else if (name == "--input") {
      input = UnixPath(value);
    } else if (name == "--output") {
      output = UnixPath(value);
    } else if (name == "--width") {
      width = NumberOption(name, value);
    } else if (name == "--height") {
      height = NumberOption(name, value);
    } else if (name == "--frames") {
      frames = NumberOption(name, value);
    } else if (name == "--first") {
      first = NumberOption(name, value);
    } else if (name == "--last") {
      last = NumberOption(name, value);
    } else if (name == "--track") {
      track_settings.push_back(value);
    } else if (name == "--check") {
      check_settings.push_back(value);
    } else if (name == "--disable-pp") {
      if (value != "0" && value != "1") Refuse("--disable-pp is 0 or 1");
    } else if (name == "--dump-targets") {
      dump_folder = UnixPath(value);
    } else if (name == "--dump-frames") {
      dump_frames = "," + value + ",";
    } else if (name == "--dev" || name == "--threads") {
      NumberOption(name, value);
    } else {
      Refuse("unknown option " + name);
    }
  }
  if (plugin.empty() || input.empty() || output.empty() || width <= 0 || height <= 0 ||
      frames <= 0 || first < 0 || last < first || last >= frames) {
    Refuse("missing or inconsistent arguments");
  }
  if (!Exists(plugin)) Refuse("no plug-in " + plugin);

  const std::string folder = plugin.substr(0, plugin.find_last_of('/') + 1);
  const std::string effect =
      Exists(folder + "texloom.fxo") ? folder + "texloom.fxo" : folder + "texloom.fx";
  Script script;
  if (Exists(effect)) {
    script = ReadScript(effect);
  } else {
    script.discovery_fail = true;
    script.messages.push_back("16\tTexloom\tno effect beside the plug-in");
  }
  for (const std::string& line : script.stderr_lines) std::fprintf(stderr, "%s\n", line.c_str());
  if (script.discovery_fail) script.title = "Texloom(エラー)";
  std::printf("table\t%s\t%s\n", script.title.c_str(), script.info.c_str());
  for (const std::string& message : script.messages) std::printf("message\t%s\n", message.c_str());
  if (script.discovery_fail) return 3;

  for (const std::string& setting : track_settings) SetControl(&script.tracks, setting, "track");
  for (const std::string& setting : check_settings) SetControl(&script.checks, setting, "check");
  for (size_t i = 0; i < script.tracks.size(); ++i) {
    const Control& c = script.tracks[i];
    std::printf("track\t%zu\t%s\t%d\t%d\t%d\t%d\n", i, c.name.c_str(), c.def, c.min, c.max,
                c.value);
  }
  for (size_t i = 0; i < script.checks.size(); ++i) {
    const Control& c = script.checks[i];
    std::printf("check\t%zu\t%s\t%d\t%d\n", i, c.name.c_str(), c.def, c.value);
  }
  std::fflush(stdout);
  if (script.init_fail) return 3;

  const size_t frame_bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 6;
  const bool streaming = input == "-";
  FILE* in = streaming ? stdin : std::fopen(input.c_str(), "rb");
  if (in == nullptr) Refuse("cannot read " + input);
  if (!streaming) {
    std::fseek(in, 0, SEEK_END);
    if (std::ftell(in) != static_cast<long>(frame_bytes) * frames) Refuse("input size mismatch");
  }
  FILE* out = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
  if (out == nullptr) Refuse("cannot write " + output);
  std::vector<char> late_buffer;
  std::string late_stream;  // streaming late-output: lines and frames kept to the end
  if (script.late_output && out != stdout) {
    // Fully buffered and large enough for the whole run: nothing reaches
    // the file before fclose.
    late_buffer.resize(frame_bytes * static_cast<size_t>(last - first + 1) + 4096);
    std::setvbuf(out, late_buffer.data(), _IOFBF, late_buffer.size());
  }

  const int offset = script.tracks.empty() ? 0 : script.tracks[0].value;
  const bool invert = !script.checks.empty() && script.checks[0].value != 0;
  std::vector<uint8_t> frame(frame_bytes);
  long delivered = 0;
  for (long n = first; n <= last; ++n) {
    if (n == script.crash_frame) std::_Exit(5);
    if (n == script.hang_frame) {
      if (const char* log = std::getenv("TEXLOOM_FAKE_HOST_LOG")) {
        std::ofstream(log, std::ios::app) << "hanging " << getpid() << "\n";
      }
      sleep(600);
    }
    if (n == script.fail_frame) {
      std::printf("frame\t%ld\tfailed\ndone\t%ld\n", n, delivered);
      if (out != stdout) std::fclose(out);
      return 1;
    }
    long source = n + script.frame_offset;
    source = source < 0 ? 0 : source >= frames ? frames - 1 : source;
    if (streaming) {
      std::printf("need\t%ld\n", source);
      std::fflush(stdout);
    } else {
      std::fseek(in, static_cast<long>(frame_bytes) * source, SEEK_SET);
    }
    if (std::fread(frame.data(), 1, frame_bytes, in) != frame_bytes) Refuse("short read");
    for (size_t p = 0; p < frame_bytes; p += 6) {
      int v[3];
      for (int k = 0; k < 3; ++k) {
        v[k] = static_cast<int16_t>(
            static_cast<uint16_t>(frame[p + 2 * k] | frame[p + 2 * k + 1] << 8));
      }
      if (invert) {
        v[0] = 4096 - v[0];
        v[1] = -v[1];
        v[2] = -v[2];
      }
      v[0] += offset;
      for (int k = 0; k < 3; ++k) {
        const uint16_t u = static_cast<uint16_t>(static_cast<int16_t>(v[k]));
        frame[p + 2 * k] = static_cast<uint8_t>(u & 0xFF);
        frame[p + 2 * k + 1] = static_cast<uint8_t>(u >> 8);
      }
    }
    if (!dump_folder.empty() && dump_frames.find("," + std::to_string(n) + ",") != std::string::npos) {
      char name[64];
      std::snprintf(name, sizeof name, "/frame_%06ld_pass0_out0_slot1.rgba64", n);
      std::ofstream target(dump_folder + name, std::ios::binary);
      for (size_t p = 0; p < frame_bytes; p += 6) {
        target.write(reinterpret_cast<const char*>(&frame[p]), 6);
        target.write("\xff\xff", 2);
      }
      std::printf("target\t%ld\tpass0_out0_slot1\tok\t%ld\t%ld\n", n, width, height);
      std::printf("target\t%ld\tpass1_out0_TxRT0\tfailed\tits texture format cannot be dumped\n",
                  n);
    }
    const bool write = !(script.short_output && n == last);
    if (out == stdout) {
      std::string text = "frame\t" + std::to_string(n) + "\tok\n";
      if (write) text.append(reinterpret_cast<const char*>(frame.data()), frame_bytes);
      if (script.late_output) {
        late_stream += text;
      } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
      }
    } else {
      if (write) {
        std::fwrite(frame.data(), 1, frame_bytes, out);
        if (!script.late_output) std::fflush(out);
      }
      std::printf("frame\t%ld\tok\n", n);
    }
    std::fflush(stdout);
    ++delivered;
  }
  std::fwrite(late_stream.data(), 1, late_stream.size(), stdout);
  if (out != stdout) std::fclose(out);
  std::printf("done\t%ld\n", delivered);
  return 0;
}
