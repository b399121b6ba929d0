#include "run/progress.h"

#include <cmath>
#include <ctime>

namespace texloom_run {
namespace {

// A terminal line is redrawn at most this often; a log gets a line at most
// every few seconds.
constexpr double kTerminalInterval = 0.1;
constexpr double kPlainInterval = 5.0;
// A rate over less time than this is noise (a few frames decoded at once).
constexpr double kShortestMeasure = 0.25;

}  // namespace

std::string FormatDuration(double seconds) {
  long total = seconds < 0.0 ? 0 : static_cast<long>(std::lround(seconds));
  const long hours = total / 3600;
  const long minutes = total / 60 % 60;
  const long secs = total % 60;
  char text[48];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", hours, minutes, secs);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", minutes, secs);
  }
  return text;
}

std::string FormatProgress(const std::string& label, long done, long total, double rate,
                           bool finished, double elapsed) {
  std::string text = label + ": frame " + std::to_string(done);
  if (total >= 0) {
    text += "/" + std::to_string(total);
    if (total > 0) text += " (" + std::to_string(done * 100 / total) + "%)";
  }
  if (rate > 0.0) {
    char fps[32];
    std::snprintf(fps, sizeof fps, rate < 10.0 ? "%.2f fps" : "%.1f fps", rate);
    text += std::string(", ") + fps;
    if (total >= 0 && !finished) text += ", " + FormatDuration((total - done) / rate) + " left";
  }
  if (finished) text += ", took " + FormatDuration(elapsed);
  return text;
}

double MonotonicSeconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

Progress::Progress(FILE* out, bool terminal, bool enabled)
    : out_(out), terminal_(terminal), enabled_(enabled) {}

void Progress::Begin(const std::string& label, long total, double now) {
  label_ = label;
  total_ = total;
  first_done_ = -1;
  last_done_measured_ = 0;
  rate_ = 0.0;
  active_ = true;
  line_shown_ = false;
  begin_time_ = now;
  // A log gets its first line only if the work lasts.
  last_shown_ = terminal_ ? -1e9 : now;
  last_done_shown_ = 0;
  Show(0, now, false);
}

void Progress::Update(long done, double now) {
  if (!active_) return;
  Measure(done, now);
  Show(done, now, false);
}

void Progress::Measure(long done, double now) {
  // The rate counts from the first frame: start-up (Wine, the device)
  // would otherwise make the first estimates far too long. It changes
  // only with the count, so waiting for the host to end does not lower it.
  if (done <= last_done_measured_) return;
  last_done_measured_ = done;
  if (first_done_ < 0) {
    first_done_ = done;
    first_time_ = now;
  } else if (now - first_time_ >= kShortestMeasure) {
    rate_ = (done - first_done_) / (now - first_time_);
  }
}

void Progress::End(long done, double now) {
  if (!active_) return;
  Measure(done, now);
  Show(done, now, true);
  if (enabled_ && terminal_ && line_shown_) std::fputc('\n', out_);
  std::fflush(out_);
  active_ = false;
  line_shown_ = false;
}

void Progress::Interrupt() {
  if (enabled_ && terminal_ && line_shown_) {
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    line_shown_ = false;
    last_shown_ = -1e9;
  }
}

void Progress::Show(long done, double now, bool finished) {
  if (!enabled_) return;
  const double interval = terminal_ ? kTerminalInterval : kPlainInterval;
  if (!finished && now - last_shown_ < interval) return;
  // A log gets a line only when the count moved: a slow start would
  // otherwise repeat "frame 0" every few seconds.
  if (!finished && !terminal_ && (done == last_done_shown_ || (total_ >= 0 && done >= total_))) {
    return;  // the last count comes with End
  }
  last_shown_ = now;
  last_done_shown_ = done;
  const std::string text =
      FormatProgress(label_, done, total_, rate_, finished, now - begin_time_) + detail_;
  if (terminal_) {
    // The same text again would only make the terminal flicker.
    if (!finished && line_shown_ && text == last_text_) return;
    last_text_ = text;
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    line_shown_ = true;
  } else {
    std::fprintf(out_, "%s\n", text.c_str());
  }
  std::fflush(out_);
}

}  // namespace texloom_run
