// Runs texloom-host in run mode (under Wine through tools/run_wine.sh, or a
// native stand-in for tests) with the clip streamed through its standard
// input and output: answers its requests for frames, reads its events as
// they come and hands over each output frame as it arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/host_protocol.h"

namespace texloom_run {

struct HostLaunch {
  // Set: this program speaks the protocol natively and gets Unix paths.
  std::string native_program;
  // Otherwise: texloom-host.exe, run by tools/run_wine.sh, with Windows paths.
  std::string wine_script;
  std::string host_exe;

  bool uses_wine() const { return native_program.empty(); }
  // An absolute Unix path as the host must be given it.
  std::string PathForHost(const std::string& unix_absolute) const;
  std::vector<std::string> Command(const HostRequest& request) const;
};

class HostObserver {
 public:
  virtual ~HostObserver() = default;
  virtual void OnEvent(const HostEvent& event) = 0;
  virtual void OnMalformedLine(const std::string& line, const std::string& problem) = 0;
  virtual void OnHostStderr(const std::string& line) = 0;
  // The host asks for clip frame n: *bytes gets its host pixel bytes;
  // false stops the host.
  virtual bool OnNeed(long n, std::vector<uint8_t>* bytes) = 0;
  // One output frame (host pixel bytes); false stops the host.
  virtual bool OnFrame(long frame_number, const uint8_t* bytes, size_t size) = 0;
  // Called now and then while waiting, for progress.
  virtual void OnIdle() {}
};

struct HostOutcome {
  bool started = false;
  std::string start_error;
  int status = -1;         // the host's exit status; 128 + signal when killed
  bool stopped = false;    // ended by us: interrupted, or the observer said stop
  std::string stop_reason;  // why, when it was not an interruption
  long frames_ok = 0;      // "frame n ok" lines
  long frames_read = 0;    // frames handed to OnFrame
  long held = -1;          // the most input frames the host held at once
  long failed_frame = -1;  // "frame n failed"
  long done = -1;          // the count of the "done" line
  std::string skipped;     // tools/run_wine.sh: why Wine cannot run here
  std::string read_error;  // the host's output broke off
};

// The request's input and output are "-"; frame_bytes: one frame's size.
HostOutcome RunHost(const HostLaunch& launch, const HostRequest& request, size_t frame_bytes,
                    HostObserver* observer);

}  // namespace texloom_run
