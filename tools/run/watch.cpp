#include "run/watch.h"

#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/child_process.h"
#include "run/effect_compiler.h"
#include "run/interruption.h"
#include "run/staged_output.h"

namespace texloom_run {
namespace {

// The effect's modification time in nanoseconds; 0 while it is missing
// (an editor may replace the file when saving).
long long ModifiedAt(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return 0;
  return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

// Frame `frame` through the effect, then beside its source in
// folder/frame_NNNNNN.png. False when the render failed.
bool RenderFrame(const RunOptions& options, const RunEnvironment& environment, long frame) {
  const std::string folder = options.outputs[0].path;
  char name[64];
  std::snprintf(name, sizeof name, "/frame_%06ld.png", frame);
  // A hidden name beside the side-by-side image, removed once it is joined.
  const std::string result = folder + "/.result-" + (name + 1);
  RunOptions one = options;
  one.watch = false;
  // Its targets too, with --dump-targets, replaced at every render.
  one.frames = {frame};
  one.from = frame;
  one.to = frame;
  one.overwrite = Overwrite::replace;
  one.outputs = {OutputTarget{OutputKind::png_single, result}};
  const int status = RunTexloom(one, environment);
  if (status != kExitDone) return false;
  std::string out, err, error;
  int ffmpeg_status = 0;
  const bool joined =
      RunAndCapture({"ffmpeg", "-nostdin", "-v", "error", "-i", options.input, "-i", result,
                     "-filter_complex",
                     "[0:v]select=eq(n\\," + std::to_string(frame) + ")[a];[a][1:v]hstack",
                     "-frames:v", "1", "-update", "1", "-y", folder + name},
                    &out, &err, &ffmpeg_status, &error) &&
      ffmpeg_status == 0;
  std::remove(result.c_str());
  if (!joined) std::fprintf(environment.messages, "texloom-run: cannot join frame %ld: %s%s\n",
                            frame, error.c_str(), err.c_str());
  return joined;
}

std::vector<long long> ModifiedTimes(const std::vector<std::string>& files) {
  std::vector<long long> times;
  for (const std::string& file : files) times.push_back(ModifiedAt(file));
  return times;
}

// The chosen frames through the effect as saved now: an HLSL effect is
// compiled first (into `scratch`), its messages shown, and *watched set to
// the files it reads. The number of frames rendered.
long RenderAll(const RunOptions& options, const RunEnvironment& environment,
               const std::string& scratch, std::vector<std::string>* watched) {
  RunOptions compiled = options;
  *watched = {options.effect};
  if (IsHlslSource(options.effect) && !environment.effect_compiler.empty()) {
    compiled.effect = scratch + "/" + BaseNameOf(options.effect) + "o";
    std::string error;
    if (!CompileHlslEffect(environment.effect_compiler, options.effect, compiled.effect,
                           environment.messages, watched, &error)) {
      std::fprintf(environment.messages, "texloom-run: %s\n", error.c_str());
      return 0;
    }
  }
  long rendered = 0;
  for (long frame : options.frames) {
    if (Interrupted() || !RenderFrame(compiled, environment, frame)) break;
    ++rendered;
  }
  return rendered;
}

// Under Wine: one prefix, display and wineserver for every render
// (tools/run_wine.sh --warm-up), so that a render after the first does not
// wait for Wine to start. Without it each render starts Wine anew.
class WarmWine {
 public:
  WarmWine(const RunEnvironment& environment, const std::string& folder)
      : script_(environment.launch.uses_wine() ? environment.launch.wine_script : "") {
    if (script_.empty()) return;
    setenv("TEXLOOM_WINE_WARM", folder.c_str(), 1);
    std::string out, err, error;
    int status = 0;
    if (!RunAndCapture({script_, "--warm-up"}, &out, &err, &status, &error) || status != 0) {
      if (Interrupted()) return;
      // Each render says what stops Wine, if anything does.
      std::fprintf(environment.messages,
                   "texloom-run: Wine is started for each render (it could not be kept "
                   "running: %s%s%s)\n",
                   error.c_str(), out.c_str(), err.c_str());
      RunAndCapture({script_, "--cool-down"}, &out, &err, &status, &error);
      unsetenv("TEXLOOM_WINE_WARM");
      script_.clear();
    }
  }
  ~WarmWine() {
    if (script_.empty()) return;
    std::string out, err, error;
    int status = 0;
    RunAndCapture({script_, "--cool-down"}, &out, &err, &status, &error);
    unsetenv("TEXLOOM_WINE_WARM");
  }

 private:
  std::string script_;
};

}  // namespace

int WatchEffect(const RunOptions& options, const RunEnvironment& environment) {
  const std::string folder = options.outputs[0].path;
  mkdir(folder.c_str(), 0777);
  TempDir scratch;
  std::string error;
  if (!scratch.Create("texloom-watch", &error)) {
    std::fprintf(environment.messages, "texloom-run: %s\n", error.c_str());
    return kExitToolFailed;
  }
  WarmWine wine(environment, scratch.path() + "/wine");
  std::vector<std::string> watched = {options.effect};
  std::vector<long long> seen;
  while (!Interrupted()) {
    const std::vector<long long> modified = ModifiedTimes(watched);
    // The effect itself may be missing for a moment while an editor saves.
    if (modified[0] != 0 && modified != seen) {
      const std::vector<std::string> before = watched;
      const long rendered = RenderAll(options, environment, scratch.path(), &watched);
      // The times from before the render, so that a save during it renders
      // again; a new set of files is taken as it is now.
      seen = watched == before ? modified : ModifiedTimes(watched);
      if (Interrupted()) break;
      const std::string what =
          watched.size() > 1 ? options.effect + " and the files it includes" : options.effect;
      std::fprintf(environment.messages,
                   rendered == static_cast<long>(options.frames.size())
                       ? "texloom-run: rendered %ld frames into %s/; watching %s (Ctrl-C ends)\n"
                       : "texloom-run: %ld frames rendered into %s/; waiting for %s to be saved "
                         "again (Ctrl-C ends)\n",
                   rendered, folder.c_str(), what.c_str());
      std::fflush(environment.messages);
    }
    const timespec pause = {0, 300000000};
    nanosleep(&pause, nullptr);
  }
  return 128 + InterruptSignal();
}

}  // namespace texloom_run
