// Progress on stderr: one line rewritten in place on a terminal, plain lines
// now and then otherwise (a log file should not fill with updates).
#pragma once

#include <cstdio>
#include <string>

namespace texloom_run {

// "filtering: frame 12/100 (12%), 3.4 fps, 0:25 left"; rate <= 0 means not
// known yet; total < 0 means unknown. Once finished, the time taken instead
// of the time left: "filtering: frame 100/100 (100%), 3.4 fps, took 0:30".
std::string FormatProgress(const std::string& label, long done, long total, double rate,
                           bool finished = false, double elapsed = 0.0);

// "0:25", "12:05", "1:02:03".
std::string FormatDuration(double seconds);

class Progress {
 public:
  // enabled false: prints nothing.
  Progress(FILE* out, bool terminal, bool enabled);

  void Begin(const std::string& label, long total, double now);
  void Update(long done, double now);
  // Ends the line (terminal) or prints the last count (plain).
  void End(long done, double now);
  // Before other output: clears a line being rewritten.
  void Interrupt();
  // Appended to the line from the next update on ("; decode 5% ...").
  void SetDetail(const std::string& detail) { detail_ = detail; }

  // Frames a second since the first frame, 0 while unknown.
  double rate() const { return rate_; }

 private:
  void Measure(long done, double now);
  void Show(long done, double now, bool finished);

  FILE* out_;
  bool terminal_;
  bool enabled_;
  bool active_ = false;
  bool line_shown_ = false;
  std::string label_;
  std::string last_text_;
  std::string detail_;
  long total_ = -1;
  long first_done_ = -1;
  long last_done_measured_ = 0;
  double first_time_ = 0.0;
  double begin_time_ = 0.0;
  double last_shown_ = -1e9;
  long last_done_shown_ = 0;
  double rate_ = 0.0;
};

// Seconds on a monotonic clock.
double MonotonicSeconds();

}  // namespace texloom_run
