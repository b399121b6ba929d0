#include "run/ffmpeg_io.h"

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
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
          "stream=width,height,pix_fmt,r_frame_rate,avg_frame_rate,nb_frames,color_space,"
          "color_primaries,color_transfer,color_range:stream_side_data="
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
    } else if (key == "color_space" || key == "color_primaries" || key == "color_transfer" ||
               key == "color_range") {
      std::string* field = key == "color_space"       ? &parsed.colour_space
                           : key == "color_primaries" ? &parsed.colour_primaries
                           : key == "color_transfer"  ? &parsed.colour_transfer
                                                      : &parsed.colour_range;
      *field = value == "unknown" || value == "unspecified" ? "" : value;
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
  parsed.ycbcr = IsYCbCr(parsed.pixel_format);
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

double FramesPerSecond(const std::string& rate) {
  double frames_per_second = std::strtod(rate.c_str(), nullptr);
  const size_t slash = rate.find('/');
  if (slash != std::string::npos) {
    frames_per_second /= std::strtod(rate.c_str() + slash + 1, nullptr);
  }
  return frames_per_second > 0.0 ? frames_per_second : 25.0;
}

std::string SeekSeconds(long frame, const std::string& rate) {
  if (frame <= 0) return "";
  const double frames_per_second = FramesPerSecond(rate);
  // Half a frame early: frame n's time stamp is then the first one at or
  // after the seek point, whatever the rounding of the stored time stamps.
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", (static_cast<double>(frame) - 0.5) / frames_per_second);
  return text;
}

namespace {

// The presentation times of (at least) the clip's first `count` frames, in
// order, and its start time, from the packets the container stores (ffprobe
// reads them without decoding). With each time the frame's duration (0 when
// unknown). False when the container stores no times; fewer than `count`
// when the clip has fewer frames.
bool StoredFrameTimes(const std::string& clip, long count,
                      std::vector<std::pair<double, double>>* times, double* start) {
  // B-frames come before the frames they follow on screen: a margin of
  // packets past the last frame puts every frame up to it among those read.
  const long packets = count + 64;
  std::string out, err, error;
  int status = 0;
  if (!RunAndCapture({"ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals",
                      "%+#" + std::to_string(packets), "-show_entries",
                      "packet=pts_time,duration_time:format=start_time", "-of", "default=nw=1",
                      "-i", clip},
                     &out, &err, &status, &error) ||
      status != 0) {
    return false;
  }
  times->clear();
  *start = 0.0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    char* end = nullptr;
    if (line.compare(0, 9, "pts_time=") == 0) {
      const double time = std::strtod(line.c_str() + 9, &end);
      if (end == line.c_str() + 9) return false;  // "N/A"
      times->push_back({time, 0.0});
    } else if (line.compare(0, 14, "duration_time=") == 0 && !times->empty()) {
      times->back().second = std::strtod(line.c_str() + 14, nullptr);
    } else if (line.compare(0, 11, "start_time=") == 0) {
      *start = std::strtod(line.c_str() + 11, nullptr);
    }
  }
  std::sort(times->begin(), times->end());
  return true;
}

std::string Seconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", std::max(0.0, seconds));
  return text;
}

}  // namespace

std::string FrameSeekSeconds(const std::string& clip, long frame, const std::string& rate) {
  if (frame <= 0) return "";
  std::vector<std::pair<double, double>> times;
  double start = 0.0;
  if (!StoredFrameTimes(clip, frame + 1, &times, &start) ||
      times.size() <= static_cast<size_t>(frame)) {
    return SeekSeconds(frame, rate);
  }
  // -ss counts from the file's start time.
  return Seconds((times[frame - 1].first + times[frame].first) / 2 - start);
}

void FramesSpan(const std::string& clip, long first, long last, const std::string& rate,
                std::string* seek_seconds, std::string* duration_seconds) {
  const double fps = FramesPerSecond(rate);
  std::vector<std::pair<double, double>> times;
  double start = 0.0;
  // The frame after the last one ends it; the clip's last frame ends after
  // its own duration.
  if (StoredFrameTimes(clip, last + 2, &times, &start) &&
      times.size() > static_cast<size_t>(last)) {
    const bool next_known = times.size() > static_cast<size_t>(last + 1);
    const double from = times[first].first;
    const double to = next_known ? times[last + 1].first
                                 : times[last].first +
                                       (times[last].second > 0.0 ? times[last].second : 1.0 / fps);
    *seek_seconds = first > 0 ? Seconds(from - start) : "";
    *duration_seconds = Seconds(to - from);
    return;
  }
  *seek_seconds = first > 0 ? Seconds(first / fps) : "";
  *duration_seconds = Seconds((last - first + 1) / fps);
}

bool IsYCbCr(const std::string& pixel_format) {
  static const char* const kPrefixes[] = {"yuv", "nv1", "nv2", "nv4", "p01", "p21", "p41",
                                          "yuyv", "uyvy", "yvyu", "y21", "ayuv", "vuy", "xv3",
                                          "gray"};
  for (const char* prefix : kPrefixes) {
    if (pixel_format.compare(0, std::strlen(prefix), prefix) == 0) return true;
  }
  return false;
}

std::string DecodeFormatOf(const ClipInfo& clip) {
  return clip.ycbcr ? "yuv444p16le" : clip.deep ? "rgb48le" : "rgb24";
}

std::vector<std::string> DecoderArguments(const std::string& clip, const std::string& format,
                                          const std::string& seek_seconds) {
  // Information too: a frame of another size than the first is reported
  // only at that level (see ClipDecoder::ReadFrame).
  std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-hide_banner", "-nostats",
                                        "-v", "info"};
  // ffmpeg seeks before the input to the key frame before that time and
  // decodes on from there, dropping the frames before it.
  if (!seek_seconds.empty()) arguments.insert(arguments.end(), {"-ss", seek_seconds});
  // Without rebuilding its filters for a frame of another size, which would
  // scale it to the first frame's size without a word. Every frame as
  // stored, none duplicated or dropped to fit a rate.
  arguments.insert(arguments.end(), {"-reinit_filter", "0", "-i", clip, "-map", "0:v:0", "-fps_mode", "passthrough", "-f",
                                     "rawvideo", "-pix_fmt", format, "-"});
  return arguments;
}

std::string DefaultPixelFormat(OutputKind kind, const std::string& file, int width, int height,
                               const std::string& codec) {
  if (kind != OutputKind::video) return "rgb48be";
  const std::string extension = LowerExtension(file);
  // The containers whose default codec (H.264, or VP9 for WebM) keeps 10
  // bits; 4:2:0 as players expect, 4:4:4 for odd sides, which 4:2:0 cannot
  // have.
  static const char* const kTenBit[] = {".mp4", ".m4v", ".mov", ".mkv", ".webm"};
  static const char* const kEightBit[] = {".avi", ".flv", ".ts", ".mpg", ".nut"};
  const bool even = width % 2 == 0 && height % 2 == 0;
  if (codec.empty()) {
    for (const char* known : kTenBit) {
      if (extension == known) return even ? "yuv420p10le" : "yuv444p10le";
    }
    for (const char* known : kEightBit) {
      if (extension == known && even) return "yuv420p";
    }
  }
  return "";
}

std::vector<std::string> EncoderArguments(OutputKind kind, const std::string& file, int width,
                                          int height, const std::string& rate, long first_number,
                                          const EncodeSettings& settings) {
  std::vector<std::string> arguments = {"ffmpeg"};
  arguments.insert(arguments.end(), std::begin(kQuiet), std::end(kQuiet));
  arguments.insert(arguments.end(), {"-f", "rawvideo", "-pix_fmt", "rgb48le", "-s",
                                     std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate", rate, "-i", "-"});
  const EncoderChoices& choices = settings.choices;
  const bool copies = kind == OutputKind::video && !settings.streams_from.empty() &&
                      (settings.audio || settings.subtitles);
  if (copies) {
    if (!settings.seek_seconds.empty()) {
      arguments.insert(arguments.end(), {"-ss", settings.seek_seconds});
    }
    if (!settings.duration_seconds.empty()) {
      arguments.insert(arguments.end(), {"-t", settings.duration_seconds});
    }
    arguments.insert(arguments.end(), {"-i", settings.streams_from, "-map", "0:v"});
    if (settings.audio) arguments.insert(arguments.end(), {"-map", "1:a?", "-c:a", "copy"});
    // A copy starts at the packet the demuxer seeks to, a video key frame
    // before -ss; without the audio before -ss it starts at the first frame.
    if (settings.audio && !settings.seek_seconds.empty()) {
      arguments.insert(arguments.end(), {"-copypriorss:a", "0"});
    }
    if (settings.subtitles) arguments.insert(arguments.end(), {"-map", "1:s?", "-c:s", "copy"});
  }
  if (kind == OutputKind::video) {
    if (!choices.codec.empty()) arguments.insert(arguments.end(), {"-c:v", choices.codec});
    if (!choices.crf.empty()) arguments.insert(arguments.end(), {"-crf", choices.crf});
    if (!choices.preset.empty()) arguments.insert(arguments.end(), {"-preset", choices.preset});
  }
  const std::string pixel_format = !choices.pix_fmt.empty()
                                       ? choices.pix_fmt
                                       : DefaultPixelFormat(kind, file, width, height, choices.codec);
  if (!pixel_format.empty()) arguments.insert(arguments.end(), {"-pix_fmt", pixel_format});
  if (kind == OutputKind::video) {
    // The clip's colour tags, and the matrix they name for the conversion
    // to Y'CbCr (ffmpeg's own is BT.601 whatever the tag says).
    const bool bt709 = settings.colour_space == "bt709";
    arguments.insert(arguments.end(), {"-vf", std::string("scale=out_color_matrix=") +
                                                  (bt709 ? "bt709" : "bt601") + ":out_range=tv",
                                       "-colorspace", bt709 ? "bt709" : "smpte170m",
                                       "-color_range", "tv"});
    if (!settings.colour_primaries.empty()) {
      arguments.insert(arguments.end(), {"-color_primaries", settings.colour_primaries});
    }
    if (!settings.colour_transfer.empty()) {
      arguments.insert(arguments.end(), {"-color_trc", settings.colour_transfer});
    }
  }
  switch (kind) {
    case OutputKind::video:
      break;
    case OutputKind::png_pattern:
    case OutputKind::png_folder:
      arguments.insert(arguments.end(),
                       {"-f", "image2", "-start_number", std::to_string(first_number)});
      break;
    case OutputKind::png_single:
      arguments.insert(arguments.end(), {"-f", "image2", "-update", "1", "-frames:v", "1"});
      break;
  }
  arguments.insert(arguments.end(), choices.extra.begin(), choices.extra.end());
  arguments.insert(arguments.end(), {"-y", file});
  return arguments;
}

bool StreamsFit(const std::string& clip, const std::string& type, const std::string& extension,
                const std::string& check_file, std::string* codecs) {
  std::string out;
  std::string err;
  std::string error;
  int status = 0;
  codecs->clear();
  if (!RunAndCapture({"ffprobe", "-v", "error", "-select_streams", type, "-show_entries",
                      "stream=codec_name", "-of", "csv=p=0", "-i", clip},
                     &out, &err, &status, &error) ||
      status != 0) {
    return false;
  }
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == ',' || line.back() == '\r')) line.pop_back();
    if (!line.empty()) *codecs += (codecs->empty() ? "" : ", ") + line;
  }
  if (codecs->empty()) return true;
  const bool fits = RunAndCapture({"ffmpeg", "-nostdin", "-v", "error", "-i", clip, "-map",
                                   "0:" + type, "-c", "copy", "-t", "0.1", "-y",
                                   check_file + extension},
                                  &out, &err, &status, &error) &&
                    status == 0;
  std::remove((check_file + extension).c_str());
  return fits;
}

bool ClipDecoder::Start(const std::string& clip, int width, int height, const std::string& format,
                        const std::string& seek_seconds, const std::string& log_path,
                        std::string* error) {
  frame_bytes_ =
      static_cast<size_t>(width) * static_cast<size_t>(height) * (format == "rgb24" ? 3 : 6);
  log_path_ = log_path;
  log_read_ = 0;
  seek_seconds_ = seek_seconds.empty() ? 0.0 : std::atof(seek_seconds.c_str());
  if (!process_.Start(DecoderArguments(clip, format, seek_seconds), Stdio::Null(), Stdio::Pipe(),
                      Stdio::File(log_path), error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  return true;
}

int ClipDecoder::ReadFrame(std::vector<uint8_t>* rgb) {
  rgb->resize(frame_bytes_);
  const int got = ReadExactly(process_.stdout_fd(), rgb->data(), frame_bytes_);
  // ffmpeg logs a frame of another size before it writes that frame, so a
  // frame read with no such line in the log is one of the first size.
  return got == 1 && SizeChanged() ? -2 : got;
}

bool ClipDecoder::SizeChanged() {
  struct stat info;
  if (stat(log_path_.c_str(), &info) != 0 || info.st_size <= log_read_) return false;
  std::ifstream log(log_path_, std::ios::binary);
  log.seekg(log_read_);
  std::string line;
  // ffmpeg's buffer source: "filter context - w: 64 h: 48 fmt: 0, incoming
  // frame - w: 80 h: 48 fmt: 0 pts_time: 0.4".
  static const std::regex kChange(
      R"(w: (\d+) h: (\d+) fmt: \d+, incoming frame - w: (\d+) h: (\d+) fmt: \d+ pts_time: ([-0-9.]+))");
  while (std::getline(log, line)) {
    std::smatch match;
    if (!std::regex_search(line, match, kChange)) continue;
    char text[160];
    std::snprintf(text, sizeof text, "from %sx%s to %sx%s at %.3g s", match[1].str().c_str(),
                  match[2].str().c_str(), match[3].str().c_str(), match[4].str().c_str(),
                  seek_seconds_ + std::atof(match[5].str().c_str()));
    size_change_ = text;
    return true;
  }
  log_read_ = info.st_size;
  return false;
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
                         const std::string& rate, long first_number,
                         const EncodeSettings& settings, const std::string& log_path,
                         std::string* error) {
  log_path_ = log_path;
  if (!process_.Start(EncoderArguments(kind, file, width, height, rate, first_number, settings),
                      Stdio::Pipe(), Stdio::Null(), Stdio::File(log_path), error)) {
    *error += " (Debian: ffmpeg)";
    return false;
  }
  return true;
}

bool FrameEncoder::WriteFrame(const std::vector<uint8_t>& rgb48le) {
  return WriteAll(process_.stdin_fd(), rgb48le.data(), rgb48le.size());
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
    // ffmpeg's "    Last message repeated N times" says nothing new.
    if (line.empty() || line.find("Last message repeated") != std::string::npos) continue;
    before = last;
    last = line;
  }
  if (before.empty()) return last;
  return before + "\n" + last;
}

}  // namespace texloom_run
