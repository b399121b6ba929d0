// Decoding and encoding through Debian's ffmpeg and ffprobe: frames cross
// pipes as raw rgb24, or rgb48le from clips stored in 16-bit RGB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/child_process.h"
#include "run/run_options.h"

namespace texloom_run {

struct ClipInfo {
  int width = 0;
  int height = 0;
  std::string rate;          // "25/1"; the clip's frame rate as ffprobe gives it
  long frame_count = -1;     // as the container states it; -1 when unknown
  std::string pixel_format;  // ffmpeg's name of the stored format
  // Decode as rgb48le rather than rgb24. Only for 16-bit RGB sources:
  // ffmpeg 5.1's conversions into rgb48le from anything else scale by 256
  // instead of 257 (white becomes 0xff03), worse than 8 bits exactly.
  bool deep = false;
  // Stored as Y'CbCr: decoded as yuv444p16le, at the decoder's full depth,
  // and taken to the host's Y'CbCr without a detour through RGB.
  bool ycbcr = false;
  // Colour tags, ffmpeg's names; empty when "unknown" or absent.
  std::string colour_space, colour_primaries, colour_transfer, colour_range;
};

bool IsSixteenBitRgb(const std::string& pixel_format);
bool IsYCbCr(const std::string& pixel_format);

// What the decoder gives for this clip: yuv444p16le, rgb48le or rgb24.
std::string DecodeFormatOf(const ClipInfo& clip);

// The clip's video frames counted by ffprobe from its packets, for
// containers that do not state the count.
bool CountFrames(const std::string& clip, long* count, std::string* error);

std::vector<std::string> ProbeArguments(const std::string& clip);

// ffprobe's "key=value" lines. A rotation of 90 or 270 degrees swaps width
// and height, as ffmpeg turns such frames upright when decoding.
bool ParseProbeOutput(const std::string& text, ClipInfo* info, std::string* error);

// Runs ffprobe on the clip. The error names the reason ffprobe gave.
bool ProbeClip(const std::string& clip, ClipInfo* info, std::string* error);

// "30000/1001" or "25" as a number (25 when it is not one).
double FramesPerSecond(const std::string& rate);

// Where ffmpeg must seek (-ss) for the decoding to begin at `frame` of a
// clip of that rate; empty for frame 0.
std::string SeekSeconds(long frame, const std::string& rate);
// The same from the times the container stores (ffprobe reads packets up to
// the frame, without decoding): halfway between frames n-1 and n in
// presentation order, so a clip of variable frame rate starts at the right
// frame too. By the rate when the container stores no times.
std::string FrameSeekSeconds(const std::string& clip, long frame, const std::string& rate);
// Where frames first..last lie in the clip, by the same stored times: the
// start of `first` (-ss, seconds; empty for frame 0) and the time until the
// frame after `last` begins (-t). By the rate when no times are stored.
void FramesSpan(const std::string& clip, long first, long last, const std::string& rate,
                std::string* seek_seconds, std::string* duration_seconds);

std::vector<std::string> DecoderArguments(const std::string& clip, const std::string& format,
                                          const std::string& seek_seconds = "");

// What an encoder writes besides the frames it is given.
struct EncodeSettings {
  EncoderChoices choices;
  // Video outputs: the clip's streams to copy (empty: none), from where
  // (-ss, seconds) for how long (-t, seconds).
  std::string streams_from;
  bool audio = false;
  bool subtitles = false;
  std::string seek_seconds;
  std::string duration_seconds;
  // The clip's colour tags, ffmpeg's names; empty when untagged.
  std::string colour_space, colour_primaries, colour_transfer;
};

// The pixel format an output gets when -pix_fmt is not given: as many bits
// as the container's usual codec keeps (16-bit PNG, 10-bit H.264 and VP9),
// or empty: ffmpeg's choice for that codec.
std::string DefaultPixelFormat(OutputKind kind, const std::string& file, int width, int height,
                               const std::string& codec);

// Frames go in as rgb48le. final_name: the file ffmpeg writes (for PNG
// frames, the pattern in the staging folder); first_number: the number of
// the first frame written.
std::vector<std::string> EncoderArguments(OutputKind kind, const std::string& final_name, int width,
                                          int height, const std::string& rate, long first_number,
                                          const EncodeSettings& settings = EncodeSettings());

// Whether ffmpeg can copy the clip's streams of a type ("a" audio, "s"
// subtitles) unchanged into a file of that extension; *codecs: their codec
// names ("" when the clip has none). check_file: a scratch file to try.
bool StreamsFit(const std::string& clip, const std::string& type, const std::string& extension,
                const std::string& check_file, std::string* codecs);

// Reads the clip's frames as rgb24 or rgb48le.
class ClipDecoder {
 public:
  // ffmpeg's own messages go to log_path.
  // format: DecodeFormatOf's.
  bool Start(const std::string& clip, int width, int height, const std::string& format,
             const std::string& seek_seconds, const std::string& log_path, std::string* error);
  // 1: a frame in *rgb; 0: end of clip; -1: a short frame or error; -2:
  // the clip's picture size changed (size_change() says how and when).
  int ReadFrame(std::vector<uint8_t>* rgb);
  const std::string& size_change() const { return size_change_; }
  // After the last frame: false with ffmpeg's message when it failed.
  bool Finish(std::string* error);
  // Asks ffmpeg to end, without waiting (a reader blocked on it returns).
  void Signal();
  void Abort();

 private:
  bool SizeChanged();

  ChildProcess process_;
  size_t frame_bytes_ = 0;
  std::string log_path_;
  long long log_read_ = 0;  // how far the log was searched
  double seek_seconds_ = 0.0;
  std::string size_change_;
};

// Writes rgb48le frames to one output.
class FrameEncoder {
 public:
  bool Start(OutputKind kind, const std::string& file, int width, int height,
             const std::string& rate, long first_number, const EncodeSettings& settings,
             const std::string& log_path, std::string* error);
  bool WriteFrame(const std::vector<uint8_t>& rgb48le);
  bool Finish(std::string* error);
  void Abort();

 private:
  ChildProcess process_;
  std::string log_path_;
};

// The last lines of an ffmpeg log, for an error message.
std::string LogTail(const std::string& path);

}  // namespace texloom_run
