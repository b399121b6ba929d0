#include "run/run_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

#include "run/ffmpeg_io.h"
#include "run/frame_sink.h"
#include "run/effect_compiler.h"
#include "run/frame_source.h"
#include "run/host_colour.h"
#include "run/interruption.h"
#include "run/progress.h"
#include "run/staged_output.h"
#include "run/target_dump.h"

namespace texloom_run {
namespace {

constexpr const char* kFxHintUnderWine =
    "Wine's D3DX cannot compile effect source (.fx): run through tools/texloom-run, which "
    "compiles it with tools/texloom-fxo, or compile it yourself into a .fxo";

std::string LowerExtension(const std::string& path) {
  const std::string base = BaseNameOf(path);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string::npos) return "";
  std::string extension = base.substr(dot);
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return extension;
}

// A regular file that can be read; otherwise why not.
bool CheckReadableFile(const std::string& what, const std::string& path, std::string* error) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *error = what + " '" + path + "' " +
             (errno == ENOENT ? std::string("does not exist") : std::string(strerror(errno)));
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = what + " '" + path + "' is a folder";
    return false;
  }
  if (access(path.c_str(), R_OK) != 0) {
    *error = what + " '" + path + "' cannot be read: " + strerror(errno);
    return false;
  }
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, std::string* error) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(from.c_str(), "rb"), std::fclose);
  if (!in) {
    *error = "cannot read '" + from + "': " + strerror(errno);
    return false;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(to.c_str(), "wb"), std::fclose);
  if (!out) {
    *error = "cannot write '" + to + "': " + strerror(errno);
    return false;
  }
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
    if (std::fwrite(buffer, 1, got, out.get()) != got) {
      *error = "cannot write '" + to + "': " + strerror(errno);
      return false;
    }
  }
  if (std::ferror(in.get())) {
    *error = "cannot read '" + from + "'";
    return false;
  }
  if (std::fclose(out.release()) != 0) {
    *error = "cannot write '" + to + "': " + strerror(errno);
    return false;
  }
  return true;
}

// The first file an output target makes (PNG frames: the first frame's).
std::string FirstFileOf(const OutputTarget& target, long first_frame) {
  char name[4096];
  switch (target.kind) {
    case OutputKind::png_folder:
      std::snprintf(name, sizeof name, "%s/frame_%06ld.png", target.path.c_str(), first_frame);
      return name;
    case OutputKind::png_pattern: {
      std::string pattern = target.path;
      const size_t d = pattern.find_first_of('d', pattern.find('%'));
      pattern.insert(d, "l");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
      std::snprintf(name, sizeof name, pattern.c_str(), first_frame);
#pragma GCC diagnostic pop
      return name;
    }
    default:
      return target.path;
  }
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string Plural(long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

class Run : public HostObserver {
 public:
  Run(const RunOptions& options, const RunEnvironment& environment)
      : options_(options),
        env_(environment),
        out_(environment.messages),
        progress_(environment.messages, environment.messages_on_terminal, !options.quiet) {}

  int Execute() {
    const int status = Steps();
    if (status != kExitDone) Abandon();
    if (Interrupted()) {
      Say("interrupted; nothing was written");
      return 128 + InterruptSignal();
    }
    return status;
  }

 private:
  // ---- messages --------------------------------------------------------------

  void Say(const std::string& text) {
    progress_.Interrupt();
    std::fprintf(out_, "texloom-run: %s\n", text.c_str());
    std::fflush(out_);
  }

  void Note(const std::string& text) {
    if (options_.quiet) return;
    progress_.Interrupt();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
  }

  int Fail(int status, const std::string& text) {
    Say(text);
    return status;
  }

  // ---- the steps -------------------------------------------------------------

  int Steps() {
    std::string error;
    const std::string plugin = options_.plugin.empty() ? env_.default_plugin : options_.plugin;
    if (plugin.empty()) {
      return Fail(kExitBadInput,
                  "no texloom.auf: pass --plugin, or run through tools/texloom-run, which "
                  "builds it");
    }
    // A pattern or a URL is for ffmpeg to find; a file is checked here.
    const bool plain_file = options_.input.find('%') == std::string::npos &&
                            options_.input.find("://") == std::string::npos;
    if (plain_file && !CheckReadableFile("the clip", options_.input, &error)) {
      return Fail(kExitBadInput, error);
    }
    if (!CheckReadableFile("the effect", options_.effect, &error) ||
        !CheckReadableFile("the plug-in", plugin, &error)) {
      return Fail(kExitBadInput, error);
    }
    const bool single_png_only = OnlyOneFrameOutputs();
    if (single_png_only && options_.to >= 0 && options_.to != options_.from) {
      return Fail(kExitBadInput, SinglePngError());
    }
    for (const OutputTarget& target : options_.outputs) {
      const std::string existing = FirstFileOf(target, options_.from);
      if (options_.overwrite != Overwrite::replace && Exists(existing)) {
        return Fail(kExitBadInput, "'" + existing + "' exists; -y replaces it");
      }
    }
    if (!options_.dump_targets.empty() &&
        !PrepareDumpFolder(options_.dump_targets, options_.frames, options_.overwrite, &error)) {
      return Fail(kExitBadInput, error);
    }
    for (const OutputTarget& target : options_.outputs) {
      outputs_.emplace_back();
      if (!outputs_.back().Prepare(target, &error)) return Fail(kExitBadInput, error);
    }
    if (!scratch_.Create("texloom-run", &error)) return Fail(kExitToolFailed, error);
    if (Interrupted()) return kExitToolFailed;

    // The plug-in as a user installs it: the module, and the effect beside
    // it under the module's name.
    const std::string folder = scratch_.path() + "/plugin";
    if (mkdir(folder.c_str(), 0777) != 0) {
      return Fail(kExitToolFailed, "cannot make " + folder + ": " + strerror(errno));
    }
    // HLSL source is compiled here, as saved now, when the compiler is
    // known; otherwise the plug-in is given it as it is.
    effect_is_fx_ = IsHlslSource(options_.effect) && env_.effect_compiler.empty();
    plugin_path_ = folder + "/texloom.auf";
    if (!CopyFile(plugin, plugin_path_, &error)) return Fail(kExitBadInput, error);
    if (IsHlslSource(options_.effect) && !env_.effect_compiler.empty()) {
      std::vector<std::string> files;
      if (!CompileHlslEffect(env_.effect_compiler, options_.effect, folder + "/texloom.fxo",
                             env_.messages, &files, &error)) {
        return Fail(kExitBadInput, error);
      }
    } else if (!CopyFile(options_.effect,
                         folder + (effect_is_fx_ ? "/texloom.fx" : "/texloom.fxo"), &error)) {
      return Fail(kExitBadInput, error);
    }

    ClipInfo clip;
    if (!ProbeClip(options_.input, &clip, &error)) {
      return Fail(
          error.find("was not found") != std::string::npos ? kExitToolFailed : kExitBadInput,
          "the clip '" + options_.input + "': " + error);
    }
    // The host must know the clip's length before the first frame: where the
    // container does not state it, ffprobe counts the packets (no decoding).
    if (clip.frame_count < 0 && !CountFrames(options_.input, &clip.frame_count, &error)) {
      return Fail(kExitBadInput, "the clip '" + options_.input + "': " + error);
    }
    if (clip.frame_count <= 0) {
      return Fail(kExitBadInput, "the clip '" + options_.input + "' has no frames");
    }
    clip_ = clip;
    frames_ = clip.frame_count;
    Note("clip: " + std::to_string(clip.width) + "x" + std::to_string(clip.height) + " " +
         clip.pixel_format + ", " + Plural(frames_, "frame", "frames") + ", read as " +
         (clip.ycbcr ? std::string("Y'CbCr ") +
                           (clip.colour_space == "bt709" ? "BT.709 (its tag)"
                            : clip.colour_space.empty()
                                ? "BT.601 (untagged)"
                                : "BT.601 (tagged " + clip.colour_space + ")") +
                           " at 16 bits"
          : clip.deep ? "16-bit RGB"
                      : "8-bit RGB"));

    const long last = options_.to >= 0 ? options_.to : frames_ - 1;
    const std::string clip_frames = ", which has " + Plural(frames_, "frame", "frames") + " (0.." +
                                    std::to_string(frames_ - 1) + ")";
    if (options_.from >= frames_) {
      return Fail(kExitBadInput,
                  "--from " + std::to_string(options_.from) + " is outside the clip" + clip_frames);
    }
    if (last >= frames_) {
      return Fail(kExitBadInput,
                  "--to " + std::to_string(last) + " is outside the clip" + clip_frames);
    }
    if (single_png_only && last != options_.from) return Fail(kExitBadInput, SinglePngError());
    first_ = options_.from;
    last_ = last;
    for (long frame : options_.dump_targets.empty() ? std::vector<long>() : options_.frames) {
      if (frame < first_ || frame > last_) {
        return Fail(kExitBadInput, "--frames " + std::to_string(frame) +
                                       ": its targets cannot be dumped, it is outside the run (" +
                                       std::to_string(first_) + ".." + std::to_string(last_) +
                                       ")");
      }
    }
    for (const StagedOutput& output : outputs_) settings_.push_back(SettingsFor(output.target()));
    return Filter();
  }

  // What each output gets besides the frames, said once: its pixel format,
  // and the clip's audio and subtitles where its container takes them.
  EncodeSettings SettingsFor(const OutputTarget& target) {
    EncodeSettings settings;
    settings.choices = options_.encoder;
    settings.colour_space = clip_.colour_space;
    settings.colour_primaries = clip_.colour_primaries;
    settings.colour_transfer = clip_.colour_transfer;
    const std::string format =
        !options_.encoder.pix_fmt.empty()
            ? options_.encoder.pix_fmt
            : DefaultPixelFormat(target.kind, target.path, clip_.width, clip_.height,
                                 options_.encoder.codec);
    std::string line = target.path + ": " + (format.empty() ? "ffmpeg's pixel format" : format);
    if (target.kind == OutputKind::video) {
      line += settings.colour_space == "bt709" ? ", BT.709" : ", BT.601";
      line += std::string(clip_.colour_space.empty() ? " (the clip is untagged)" : "");
    }
    if (target.kind == OutputKind::video && options_.encoder.audio) {
      settings.streams_from = options_.input;
      // The clip's audio from the first frame's time to the end of the last:
      // for a part, by the times the video seek uses (a clip of variable
      // frame rate); for the whole clip, by its rate (no packets to read).
      if (first_ > 0 || last_ < frames_ - 1) {
        FramesSpan(options_.input, first_, last_, clip_.rate, &settings.seek_seconds,
                   &settings.duration_seconds);
      } else {
        settings.duration_seconds = std::to_string(frames_ / FramesPerSecond(clip_.rate));
      }
      const std::string extension = LowerExtension(target.path);
      const std::string check = scratch_.path() + "/fits";
      for (const char* type : {"a", "s"}) {
        std::string codecs;
        const bool fits = StreamsFit(options_.input, type, extension, check, &codecs);
        if (codecs.empty()) continue;
        const std::string what = std::string(*type == 'a' ? "audio" : "subtitles") + " (" +
                                 codecs + ")";
        (*type == 'a' ? settings.audio : settings.subtitles) = fits;
        line += fits ? "; " + what + " copied"
                     : "; " + what + " left out: a " + extension +
                           " file cannot take it unchanged (.mkv takes most)";
      }
    }
    Note("output " + line);
    return settings;
  }

  bool OnlyOneFrameOutputs() const {
    for (const OutputTarget& target : options_.outputs) {
      if (target.kind == OutputKind::png_single) return true;
    }
    return false;
  }

  std::string SinglePngError() const {
    for (const OutputTarget& target : options_.outputs) {
      if (target.kind == OutputKind::png_single) {
        return "'" + target.path +
               "' holds one frame, but the range has more: give a pattern such as "
               "frame_%04d.png, a folder, or --from N --to N";
      }
    }
    return "";
  }

  int Filter() {
    std::string error;
    const std::string rate = options_.fps.empty() ? clip_.rate : options_.fps;
    for (size_t i = 0; i < outputs_.size(); ++i) {
      encoders_.push_back(std::make_unique<FrameEncoder>());
      if (!encoders_.back()->Start(outputs_[i].target().kind, outputs_[i].staging_name(),
                                   clip_.width, clip_.height, rate, first_, settings_[i],
                                   scratch_.path() + "/encode" + std::to_string(i) + ".log",
                                   &error)) {
        return Fail(kExitToolFailed, error);
      }
    }
    pixels_ = static_cast<size_t>(clip_.width) * static_cast<size_t>(clip_.height);
    std::vector<FrameEncoder*> encoders;
    std::vector<std::string> names;
    for (size_t i = 0; i < encoders_.size(); ++i) {
      encoders.push_back(encoders_[i].get());
      names.push_back(outputs_[i].target().path);
    }
    sink_.reset(new FrameSink(encoders, names, pixels_));
    // Decoding starts with the host's first request for a frame, once the
    // effect has loaded and every setting was accepted.
    source_.reset(new FrameSource(options_.input, clip_, scratch_.path() + "/decode.log"));

    HostRequest request;
    request.plugin = env_.launch.PathForHost(AbsolutePath(plugin_path_));
    request.input = "-";
    request.output = "-";
    request.width = clip_.width;
    request.height = clip_.height;
    request.frames = frames_;
    request.first = first_;
    request.last = last_;
    request.tracks = options_.tracks;
    request.checks = options_.checks;
    request.disable_pp = options_.disable_pp;
    request.dev_set = options_.dev_set;
    request.dev = options_.dev;
    request.threads = options_.threads;
    if (!options_.dump_targets.empty()) {
      const std::string raw_targets = scratch_.path() + "/targets";
      if (mkdir(raw_targets.c_str(), 0777) != 0) {
        return Fail(kExitToolFailed, "cannot make " + raw_targets + ": " + strerror(errno));
      }
      request.dump_folder = env_.launch.PathForHost(AbsolutePath(raw_targets));
      request.dump_frames = options_.frames;
    }

    if (env_.launch.uses_wine()) Note("starting texloom.auf under Wine...");
    progress_.Begin("filtering", last_ - first_ + 1, MonotonicSeconds());
    const double began = MonotonicSeconds();
    began_ = began;
    const HostOutcome outcome = RunHost(env_.launch, request, pixels_ * kHostPixelBytes, this);
    source_->Stop();
    progress_.End(outcome.frames_read, MonotonicSeconds());
    const bool encoded = sink_->Drain();
    ReportShares(MonotonicSeconds() - began, outcome);
    if (!encoded && encoder_error_.empty()) encoder_error_ = sink_->error();
    return Conclude(outcome);
  }

  // Which stage held the run up: the time the driver waited for decoded
  // frames, for the encoders to take frames, and the rest, the plug-in's.
  void ReportShares(double seconds, const HostOutcome& outcome) {
    if (seconds <= 0.0 || outcome.frames_read == 0) return;
    Note("time: " + Shares(seconds) +
         (outcome.held >= 0 ? "; the host held at most " + Plural(outcome.held, "frame", "frames")
                            : ""));
  }

  std::string Shares(double seconds) const {
    const double decode = source_->wait_seconds();
    const double encode = sink_->wait_seconds();
    const double plugin = seconds - decode - encode > 0.0 ? seconds - decode - encode : 0.0;
    auto percent = [seconds](double part) {
      return std::to_string(static_cast<int>(100.0 * part / seconds + 0.5)) + "%";
    };
    return "decode " + percent(decode) + ", plug-in " + percent(plugin) + ", encode " +
           percent(encode);
  }

  int Conclude(const HostOutcome& outcome) {
    const long wanted = last_ - first_ + 1;
    if (Interrupted()) return kExitToolFailed;
    if (!outcome.started) {
      return Fail(kExitToolFailed, "cannot start the host: " + outcome.start_error);
    }
    if (!outcome.skipped.empty()) {
      return Fail(kExitCannotRunHere, "cannot run texloom.auf here: " + outcome.skipped);
    }
    if (!input_error_.empty()) return Fail(kExitBadInput, input_error_);
    if (!encoder_error_.empty()) return Fail(kExitToolFailed, encoder_error_);
    if (!outcome.read_error.empty()) return Fail(kExitToolFailed, outcome.read_error);
    if (outcome.status == kHostPluginUnusable) {
      std::string text = "the effect '" + options_.effect + "' could not be used";
      if (title_ == kErrorTitle) text += " (the filter is listed as " + title_ + ")";
      text += messages_ > 0 ? "; the plug-in's message is above" : "";
      if (effect_is_fx_ && env_.launch.uses_wine()) text += "\n  " + std::string(kFxHintUnderWine);
      return Fail(kExitEffectUnusable, text);
    }
    if (outcome.status == kHostBadArguments) {
      return Fail(kExitBadInput,
                  "the host refused the run" + (host_errors_.empty() ? std::string(" (status 2)")
                                                                     : ": " + host_errors_.back()));
    }
    if (outcome.failed_frame >= 0 || outcome.status == kHostFrameFailed) {
      if (outcome.failed_frame < 0) {
        return Fail(kExitFrameFailed, "the filter failed a frame after " +
                                          Plural(outcome.frames_ok, "frame", "frames"));
      }
      return Fail(kExitFrameFailed, "the filter failed frame " +
                                        std::to_string(outcome.failed_frame) + " (" +
                                        Plural(outcome.frames_ok, "frame", "frames") +
                                        " before it were filtered); nothing was written");
    }
    if (outcome.status != kHostDelivered) {
      std::string text = "the host ended with status " + std::to_string(outcome.status);
      if (outcome.status == 124) text += " (tools/run_wine.sh's time-out)";
      if (!host_errors_.empty()) text += ": " + host_errors_.back();
      if (!outcome.stop_reason.empty()) text += " (stopped: " + outcome.stop_reason + ")";
      return Fail(kExitToolFailed, text + " after " + Plural(outcome.frames_ok, "frame", "frames"));
    }
    if (outcome.frames_ok != wanted || outcome.frames_read != wanted ||
        (outcome.done >= 0 && outcome.done != wanted) || frame_order_error_) {
      return Fail(kExitToolFailed, "the host's output is incomplete: " + std::to_string(wanted) +
                                       " frames asked for, " + std::to_string(outcome.frames_ok) +
                                       " reported, " + std::to_string(outcome.frames_read) +
                                       " received" +
                                       (frame_order_error_ ? ", frames out of order" : ""));
    }
    std::string error;
    for (size_t i = 0; i < encoders_.size(); ++i) {
      if (!encoders_[i]->Finish(&error)) {
        return Fail(kExitToolFailed, "'" + outputs_[i].target().path + "': " + error);
      }
    }
    if (!WriteTargets(&error)) return Fail(kExitToolFailed, error);
    for (StagedOutput& output : outputs_) {
      int files = 0;
      if (!output.Commit(&error, &files)) return Fail(kExitToolFailed, error);
      const OutputTarget& target = output.target();
      if (target.kind == OutputKind::png_folder || target.kind == OutputKind::png_pattern) {
        Note("wrote " + Plural(files, "PNG file", "PNG files") + " to " +
             (target.kind == OutputKind::png_folder ? target.path + "/" : target.path));
      } else {
        Note("wrote " + target.path + " (" + Plural(wanted, "frame", "frames") + ")");
      }
    }
    return kExitDone;
  }

  // The dumped targets as PNGs in the --dump-targets folder; those the
  // plug-in could not read were reported as they came.
  bool WriteTargets(std::string* error) {
    int written = 0;
    for (const HostEvent& target : targets_) {
      const std::string png = options_.dump_targets + "/" + TargetPngName(target.frame, target.name);
      if (!RawTargetToPng(scratch_.path() + "/targets/" + TargetRawName(target.frame, target.name),
                          target.width, target.height, png, error)) {
        return false;
      }
      ++written;
    }
    if (!options_.dump_targets.empty()) {
      Note("wrote " + Plural(written, "render target", "render targets") + " as 16-bit PNG to " +
           options_.dump_targets + "/");
    }
    return true;
  }

  void Abandon() {
    if (source_) source_->Stop();
    for (auto& encoder : encoders_) encoder->Abort();
    if (sink_) sink_->Drain();
    for (StagedOutput& output : outputs_) output.Discard();
  }

  // ---- the host's events -----------------------------------------------------

  void OnEvent(const HostEvent& event) override {
    switch (event.kind) {
      case HostEventKind::table:
        title_ = event.title;
        Note("effect: " + event.title + (event.text.empty() ? "" : " (" + event.text + ")"));
        break;
      case HostEventKind::track:
        Note("  track " + std::to_string(event.index) + " " + event.name + " = " +
             std::to_string(event.value) + "  (default " + std::to_string(event.default_value) +
             ", " + std::to_string(event.min) + ".." + std::to_string(event.max) + ")");
        break;
      case HostEventKind::check:
        Note("  check " + std::to_string(event.index) + " " + event.name + " = " +
             std::to_string(event.value) + "  (default " + std::to_string(event.default_value) +
             ")");
        break;
      case HostEventKind::message: {
        ++messages_;
        progress_.Interrupt();
        std::string text = event.text;
        std::string indented;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) indented += "  | " + line + "\n";
        std::fprintf(out_, "message box from the plug-in: %s\n%s", event.title.c_str(),
                     indented.c_str());
        std::fflush(out_);
        break;
      }
      case HostEventKind::frame:
        if (event.ok) {
          if (event.frame != first_ + ok_seen_) frame_order_error_ = true;
          ++ok_seen_;
        }
        break;
      case HostEventKind::target:
        if (event.ok) {
          targets_.push_back(event);
        } else {
          Say("frame " + std::to_string(event.frame) + ": " +
              (event.name.empty() ? "" : "render target " + event.name + " not dumped: ") +
              event.text);
        }
        break;
      case HostEventKind::error:
        host_errors_.push_back(event.text);
        Say("host: " + event.text);
        break;
      case HostEventKind::other:
        if (!event.text.empty()) Say("host: " + event.text);
        break;
      case HostEventKind::need:
      case HostEventKind::held:
      case HostEventKind::done:
      case HostEventKind::skipped:
        break;
    }
  }

  void OnMalformedLine(const std::string& line, const std::string& problem) override {
    Say("host: unexpected line (" + problem + "): " + line);
  }

  void OnHostStderr(const std::string& line) override {
    if (line.empty() || line == "\r") return;
    Say("host: " + line);
  }

  bool OnNeed(long frame_number, std::vector<uint8_t>* bytes) override {
    if (Interrupted()) return false;
    std::string error;
    if (source_->Get(frame_number, bytes, &error)) return true;
    input_error_ = error;
    return false;
  }

  bool OnFrame(long /*frame_number*/, const uint8_t* bytes, size_t size) override {
    if (size != pixels_ * kHostPixelBytes) return false;
    if (!sink_->Push(bytes, size)) {
      encoder_error_ = sink_->error();
      return false;
    }
    ++delivered_;
    const double now = MonotonicSeconds();
    progress_.SetDetail("; " + Shares(now - began_));
    progress_.Update(delivered_, now);
    return true;
  }

  void OnIdle() override { progress_.Update(delivered_, MonotonicSeconds()); }

  const RunOptions& options_;
  const RunEnvironment& env_;
  FILE* out_;
  Progress progress_;
  TempDir scratch_;
  std::vector<StagedOutput> outputs_;
  std::vector<std::unique_ptr<FrameEncoder>> encoders_;
  std::vector<EncodeSettings> settings_;
  std::string plugin_path_;
  bool effect_is_fx_ = false;
  ClipInfo clip_;
  long frames_ = 0;
  long first_ = 0;
  long last_ = 0;
  size_t pixels_ = 0;
  std::unique_ptr<FrameSource> source_;
  std::unique_ptr<FrameSink> sink_;
  std::string input_error_;
  double began_ = 0.0;
  std::string title_;
  int messages_ = 0;
  long ok_seen_ = 0;
  long delivered_ = 0;
  bool frame_order_error_ = false;
  std::vector<std::string> host_errors_;
  std::string encoder_error_;
  std::vector<HostEvent> targets_;  // dumped by the host, to turn into PNGs
};

}  // namespace

bool EnvironmentFromVariables(RunEnvironment* environment, std::string* error) {
  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  environment->default_plugin = variable("TEXLOOM_RUN_PLUGIN");
  environment->effect_compiler = variable("TEXLOOM_FXO");
  environment->launch.native_program = variable("TEXLOOM_RUN_HOST");
  environment->launch.wine_script = variable("TEXLOOM_RUN_WINE");
  environment->launch.host_exe = variable("TEXLOOM_RUN_HOST_EXE");
  if (environment->launch.uses_wine() &&
      (environment->launch.wine_script.empty() || environment->launch.host_exe.empty())) {
    *error =
        "no host to run: start texloom-run through tools/texloom-run (which names "
        "texloom-host.exe and tools/run_wine.sh), or set TEXLOOM_RUN_HOST to a native host";
    return false;
  }
  return true;
}

int RunTexloom(const RunOptions& options, const RunEnvironment& environment) {
  Run run(options, environment);
  return run.Execute();
}

}  // namespace texloom_run
