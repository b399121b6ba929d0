#include "run/ffmpeg_io.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace texloom_run {
namespace {

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

bool ParseCount(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

// "0/0" is ffprobe's way of saying it does not know.
bool IsKnownRate(const std::string& rate) {
  const size_t slash = rate.find('/');
  if (rate.empty() || rate == "N/A") return false;
  if (slash == std::string::npos) return std::strtod(rate.c_str(), nullptr) > 0.0;
  return std::strtod(rate.c_str(), nullptr) > 0.0 &&
         std::strtod(rate.c_str() + slash + 1, nullptr) > 0.0;
}

const char* const kQuiet[] = {"-nostdin", "-hide_banner", "-v", "error"};

}  // namespace

std::vector<std::string> ProbeArguments(const std::string& clip) {
  return {"ffprobe",
          "-v",
          "error",
          "-select_streams",
          "v:0",
          "-show_entries",
          "stream=width,height,pix_fmt,r_frame_rate,avg_frame_rate,nb_frames:stream_side_data="
          "rotation",
          "-of",
          "default=noprint_wrappers=1",
          "-i",
          clip};
}

bool ParseProbeOutput(const std::string& text, ClipInfo* info, std::string* error) {
  ClipInfo parsed;
  long width = 0;
  long height = 0;
  long rotation = 0;
  std::string r_rate;
  std::string avg_rate;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "width") {
      ParseCount(value, &width);
    } else if (key == "height") {
      ParseCount(value, &height);
    } else if (key == "pix_fmt") {
      parsed.pixel_format = value;
    } else if (key == "r_frame_rate") {
      r_rate = value;
    } else if (key == "avg_frame_rate") {
      avg_rate = value;
    } else if (key == "nb_frames") {
      long frames = 0;
      if (ParseCount(value, &frames) && frames > 0) parsed.frame_count = frames;
    } else if (key == "rotation") {
      ParseCount(value, &rotation);
    }
  }
  if (width <= 0 || height <= 0) {
    *error = "no video stream with a picture size";
    return false;
  }
  if (width > 32768 || height > 32768) {
    *error = "a picture of " + std::to_string(width) + "x" + std::to_string(height) +
             " is larger than the host's frames can be";
    return false;
  }
  if ((rotation % 180 + 180) % 180 == 90) std::swap(width, height);
  parsed.width = static_cast<int>(width);
  parsed.height = static_cast<int>(height);
  parsed.deep = IsSixteenBitRgb(parsed.pixel_format);
  parsed.rate = IsKnownRate(avg_rate) ? avg_rate : IsKnownRate(r_rate) ? r_rate : "25";
  *info = parsed;
  return true;
}

bool ProbeClip(const std::string& clip, ClipInfo* info, std::string* error) {
  std::string out;
  std::string err;
  int status = 0;
  if (!RunAndCapture(ProbeArguments(clip), &out, &err, &status, error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  if (status != 0) {
    while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
    const size_t last_line = err.find_last_of('\n');
    *error = "ffmpeg cannot read it: " +
             (err.empty() ? "ffprobe ended with status " + std::to_string(status)
                          : err.substr(last_line == std::string::npos ? 0 : last_line + 1));
    return false;
  }
  return ParseProbeOutput(out, info, error);
}

bool CountFrames(const std::string& clip, long* count, std::string* error) {
  std::string out;
  std::string err;
  int status = 0;
  if (!RunAndCapture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets",
                      "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", "-i", clip},
                     &out, &err, &status, error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  long parsed = 0;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ',')) {
    out.pop_back();
  }
  if (status != 0 || !ParseCount(out, &parsed)) {
    *error = "ffprobe cannot count its frames" + (err.empty() ? std::string() : ": " + err);
    return false;
  }
  *count = parsed;
  return true;
}

bool IsSixteenBitRgb(const std::string& pixel_format) {
  static const char* const kDeep[] = {"rgb48le",  "rgb48be",  "bgr48le",   "bgr48be",
                                      "rgba64le", "rgba64be", "bgra64le",  "bgra64be",
                                      "gbrp16le", "gbrp16be", "gbrap16le", "gbrap16be"};
  for (const char* deep : kDeep) {
    if (pixel_format == deep) return true;
  }
  return false;
}

std::string SeekSeconds(long frame, const std::string& rate) {
  if (frame <= 0) return "";
  double frames_per_second = std::strtod(rate.c_str(), nullptr);
  const size_t slash = rate.find('/');
  if (slash != std::string::npos) {
    frames_per_second /= std::strtod(rate.c_str() + slash + 1, nullptr);
  }
  if (!(frames_per_second > 0.0)) return "";
  // Half a frame early: frame n's time stamp is then the first one at or
  // after the seek point, whatever the rounding of the stored time stamps.
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", (static_cast<double>(frame) - 0.5) / frames_per_second);
  return text;
}

std::vector<std::string> DecoderArguments(const std::string& clip, bool deep,
                                          const std::string& seek_seconds) {
  std::vector<std::string> arguments = {"ffmpeg"};
  arguments.insert(arguments.end(), std::begin(kQuiet), std::end(kQuiet));
  // ffmpeg seeks before the input to the key frame before that time and
  // decodes on from there, dropping the frames before it.
  if (!seek_seconds.empty()) arguments.insert(arguments.end(), {"-ss", seek_seconds});
  // Every frame as stored, none duplicated or dropped to fit a rate.
  arguments.insert(arguments.end(), {"-i", clip, "-map", "0:v:0", "-fps_mode", "passthrough", "-f",
                                     "rawvideo", "-pix_fmt", deep ? "rgb48le" : "rgb24", "-"});
  return arguments;
}

std::vector<std::string> EncoderArguments(OutputKind kind, const std::string& file, int width,
                                          int height, const std::string& rate, long first_number) {
  std::vector<std::string> arguments = {"ffmpeg"};
  arguments.insert(arguments.end(), std::begin(kQuiet), std::end(kQuiet));
  arguments.insert(arguments.end(), {"-f", "rawvideo", "-pix_fmt", "rgb24", "-s",
                                     std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", rate, "-i", "-"});
  switch (kind) {
    case OutputKind::video: {
      // Players expect 4:2:0 from these containers' usual codecs; ffmpeg
      // would otherwise keep 4:4:4 for RGB input. Odd sizes cannot be 4:2:0.
      static const char* const k420[] = {".mp4", ".m4v", ".mov", ".mkv", ".webm",
                                         ".avi", ".flv", ".ts",  ".mpg"};
      const std::string extension = LowerExtension(file);
      bool wants_420 = false;
      for (const char* known : k420) wants_420 = wants_420 || extension == known;
      if (wants_420 && width % 2 == 0 && height % 2 == 0) {
        arguments.insert(arguments.end(), {"-pix_fmt", "yuv420p"});
      }
      break;
    }
    case OutputKind::png_pattern:
    case OutputKind::png_folder:
      arguments.insert(arguments.end(),
                       {"-f", "image2", "-start_number", std::to_string(first_number)});
      break;
    case OutputKind::png_single:
      arguments.insert(arguments.end(), {"-f", "image2", "-update", "1", "-frames:v", "1"});
      break;
  }
  arguments.insert(arguments.end(), {"-y", file});
  return arguments;
}

bool ClipDecoder::Start(const std::string& clip, int width, int height, bool deep,
                        const std::string& seek_seconds, const std::string& log_path,
                        std::string* error) {
  frame_bytes_ = static_cast<size_t>(width) * static_cast<size_t>(height) * (deep ? 6 : 3);
  log_path_ = log_path;
  if (!process_.Start(DecoderArguments(clip, deep, seek_seconds), Stdio::Null(), Stdio::Pipe(),
                      Stdio::File(log_path), error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  return true;
}

int ClipDecoder::ReadFrame(std::vector<uint8_t>* rgb) {
  rgb->resize(frame_bytes_);
  return ReadExactly(process_.stdout_fd(), rgb->data(), frame_bytes_);
}

bool ClipDecoder::Finish(std::string* error) {
  process_.CloseStdout();
  const int status = process_.Wait();
  if (status == 0) return true;
  const std::string tail = LogTail(log_path_);
  *error = "ffmpeg could not decode the clip" +
           (tail.empty() ? " (status " + std::to_string(status) + ")" : ": " + tail);
  return false;
}

void ClipDecoder::Signal() {
  if (process_.running()) kill(process_.pid(), SIGTERM);
}

void ClipDecoder::Abort() { process_.Terminate(); }

bool FrameEncoder::Start(OutputKind kind, const std::string& file, int width, int height,
                         const std::string& rate, long first_number, const std::string& log_path,
                         std::string* error) {
  log_path_ = log_path;
  if (!process_.Start(EncoderArguments(kind, file, width, height, rate, first_number),
                      Stdio::Pipe(), Stdio::Null(), Stdio::File(log_path), error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  return true;
}

bool FrameEncoder::WriteFrame(const std::vector<uint8_t>& rgb24) {
  return WriteAll(process_.stdin_fd(), rgb24.data(), rgb24.size());
}

bool FrameEncoder::Finish(std::string* error) {
  process_.CloseStdin();
  const int status = process_.Wait();
  if (status == 0) return true;
  const std::string tail = LogTail(log_path_);
  *error = "ffmpeg could not write it" +
           (tail.empty() ? " (status " + std::to_string(status) + ")" : ": " + tail);
  return false;
}

void FrameEncoder::Abort() { process_.Terminate(); }

std::string LogTail(const std::string& path) {
  std::ifstream in(path);
  std::string last;
  std::string line;
  std::string before;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    before = last;
    last = line;
  }
  if (before.empty()) return last;
  return before + "\n" + last;
}

}  // namespace texloom_run
