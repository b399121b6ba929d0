// Helpers of texloom-run's tests: a scratch folder, frames with known
// pixels written as PPM, ffmpeg to read results back (independently of the
// code under test), and the command run as a separate program.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace run_test {

// A fresh folder, removed with everything in it at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // rgb24, rows top to bottom
};

// Frame f of a test clip: every pixel differs from its neighbours and from
// the same pixel in other frames; pixel (0,0) is black and the last one
// white in every frame.
Image TestFrame(int width, int height, int frame);
Image SolidFrame(int width, int height, uint8_t r, uint8_t g, uint8_t b);

void WritePpm(const std::string& path, const Image& image);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);
// Names in a folder, sorted, "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& path);

bool HaveFfmpeg();

// Every frame of a clip, image or pattern, as rgb24 through ffmpeg.
std::vector<Image> ReadFrames(const std::string& path, int width, int height);

struct ProgramResult {
  int status = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs a program to its end, with extra environment variables (an empty
// value removes the variable).
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment);

// Starts a program in the background; its standard error goes to a file.
pid_t StartProgram(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& errors_file);
// Waits for it: the exit status, or 128 + signal.
int WaitProgram(pid_t pid);

// Makes a clip with ffmpeg from PPM frames: a lossless video (FFV1 in
// RGB), so the frames read back are the frames written.
bool MakeLosslessClip(const std::vector<Image>& frames, const std::string& folder,
                      const std::string& clip);

}  // namespace run_test
