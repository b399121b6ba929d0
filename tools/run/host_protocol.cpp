#include "run/host_protocol.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace texloom_run {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool ToLong(const std::string& text, long* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == ' ' || text[0] == '+') return false;
  *value = parsed;
  return true;
}

bool ToInt(const std::string& text, int* value) {
  long parsed = 0;
  if (!ToLong(text, &parsed) || parsed < INT_MIN || parsed > INT_MAX) return false;
  *value = static_cast<int>(parsed);
  return true;
}

bool Malformed(const std::string& line, const std::string& why, HostEvent* event,
               std::string* problem) {
  *event = HostEvent();
  event->kind = HostEventKind::other;
  event->text = line;
  *problem = why;
  return false;
}

}  // namespace

std::vector<std::string> HostRunArguments(const HostRequest& request) {
  std::vector<std::string> arguments = {"run",
                                        "--plugin",
                                        request.plugin,
                                        "--input",
                                        request.input,
                                        "--width",
                                        std::to_string(request.width),
                                        "--height",
                                        std::to_string(request.height),
                                        "--frames",
                                        std::to_string(request.frames),
                                        "--first",
                                        std::to_string(request.first),
                                        "--last",
                                        std::to_string(request.last),
                                        "--output",
                                        request.output};
  for (const ControlSetting& track : request.tracks) {
    arguments.push_back("--track");
    arguments.push_back(track.key + "=" + std::to_string(track.value));
  }
  for (const ControlSetting& check : request.checks) {
    arguments.push_back("--check");
    arguments.push_back(check.key + "=" + std::to_string(check.value));
  }
  if (request.disable_pp) {
    arguments.push_back("--disable-pp");
    arguments.push_back("1");
  }
  if (request.dev_set) {
    arguments.push_back("--dev");
    arguments.push_back(std::to_string(request.dev));
  }
  if (request.threads >= 0) {
    arguments.push_back("--threads");
    arguments.push_back(std::to_string(request.threads));
  }
  if (!request.dump_folder.empty() && !request.dump_frames.empty()) {
    std::string frames;
    for (long frame : request.dump_frames) {
      frames += (frames.empty() ? "" : ",") + std::to_string(frame);
    }
    arguments.insert(arguments.end(), {"--dump-targets", request.dump_folder, "--dump-frames",
                                       frames});
  }
  return arguments;
}

std::string WindowsPathOf(const std::string& unix_absolute) {
  std::string path = "Z:";
  for (char c : unix_absolute) path += c == '/' ? '\\' : c;
  return path;
}

std::string UnescapeField(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '\\' && (next == '\\' || next == 'n' || next == 't')) {
      plain += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
      ++i;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

bool ParseHostLine(const std::string& raw_line, HostEvent* event, std::string* problem) {
  std::string line = raw_line;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  HostEvent parsed;
  if (line.compare(0, 9, "SKIPPED: ") == 0) {
    parsed.kind = HostEventKind::skipped;
    parsed.text = line.substr(9);
    *event = parsed;
    return true;
  }
  const std::vector<std::string> f = SplitTabs(line);
  const std::string& kind = f[0];
  if (kind == "table") {
    if (f.size() != 3) return Malformed(line, "a table line has 3 fields", event, problem);
    parsed.kind = HostEventKind::table;
    parsed.title = UnescapeField(f[1]);
    parsed.text = UnescapeField(f[2]);
  } else if (kind == "track") {
    if (f.size() != 7) return Malformed(line, "a track line has 7 fields", event, problem);
    parsed.kind = HostEventKind::track;
    parsed.name = UnescapeField(f[2]);
    if (!ToInt(f[1], &parsed.index) || parsed.index < 0 || !ToInt(f[3], &parsed.default_value) ||
        !ToInt(f[4], &parsed.min) || !ToInt(f[5], &parsed.max) || !ToInt(f[6], &parsed.value)) {
      return Malformed(line, "a track line holds a non-number", event, problem);
    }
  } else if (kind == "check") {
    if (f.size() != 5) return Malformed(line, "a check line has 5 fields", event, problem);
    parsed.kind = HostEventKind::check;
    parsed.name = UnescapeField(f[2]);
    if (!ToInt(f[1], &parsed.index) || parsed.index < 0 || !ToInt(f[3], &parsed.default_value) ||
        !ToInt(f[4], &parsed.value)) {
      return Malformed(line, "a check line holds a non-number", event, problem);
    }
  } else if (kind == "message") {
    if (f.size() != 4) return Malformed(line, "a message line has 4 fields", event, problem);
    parsed.kind = HostEventKind::message;
    long style = 0;
    if (!ToLong(f[1], &style) || style < 0 || style > 0xFFFFFFFFL) {
      return Malformed(line, "a message style is not a number", event, problem);
    }
    parsed.style = static_cast<unsigned long>(style);
    parsed.title = UnescapeField(f[2]);
    parsed.text = UnescapeField(f[3]);
  } else if (kind == "frame") {
    if (f.size() != 3 || (f[2] != "ok" && f[2] != "failed")) {
      return Malformed(line, "a frame line is frame<TAB>n<TAB>ok|failed", event, problem);
    }
    parsed.kind = HostEventKind::frame;
    parsed.ok = f[2] == "ok";
    if (!ToLong(f[1], &parsed.frame) || parsed.frame < 0) {
      return Malformed(line, "a frame number is not a number", event, problem);
    }
  } else if (kind == "target") {
    const bool ok = f.size() == 6 && f[3] == "ok";
    if (!ok && !(f.size() == 5 && f[3] == "failed")) {
      return Malformed(line,
                       "a target line is target<TAB>n<TAB>name<TAB>ok<TAB>width<TAB>height or "
                       "target<TAB>n<TAB>name<TAB>failed<TAB>why",
                       event, problem);
    }
    parsed.kind = HostEventKind::target;
    parsed.ok = ok;
    parsed.name = UnescapeField(f[2]);
    if (!ToLong(f[1], &parsed.frame) || parsed.frame < 0 ||
        (ok && (!ToInt(f[4], &parsed.width) || !ToInt(f[5], &parsed.height) ||
                parsed.width <= 0 || parsed.height <= 0))) {
      return Malformed(line, "a target line holds a non-number", event, problem);
    }
    if (!ok) parsed.text = UnescapeField(f[4]);
  } else if (kind == "need") {
    if (f.size() != 2 || !ToLong(f[1], &parsed.frame) || parsed.frame < 0) {
      return Malformed(line, "a need line is need<TAB>n", event, problem);
    }
    parsed.kind = HostEventKind::need;
  } else if (kind == "held") {
    if (f.size() != 2 || !ToLong(f[1], &parsed.delivered) || parsed.delivered < 0) {
      return Malformed(line, "a held line is held<TAB>count", event, problem);
    }
    parsed.kind = HostEventKind::held;
  } else if (kind == "error") {
    if (f.size() < 2) return Malformed(line, "an error line has a text", event, problem);
    parsed.kind = HostEventKind::error;
    parsed.text = UnescapeField(line.substr(6));
  } else if (kind == "done") {
    if (f.size() != 2 || !ToLong(f[1], &parsed.delivered) || parsed.delivered < 0) {
      return Malformed(line, "a done line is done<TAB>count", event, problem);
    }
    parsed.kind = HostEventKind::done;
  } else {
    parsed.kind = HostEventKind::other;
    parsed.text = line;
  }
  *event = parsed;
  return true;
}

}  // namespace texloom_run
