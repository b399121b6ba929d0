// Runs a pass program for one draw of the fake device: the PassContext a
// program sees, with snapshots of the outputs it may also sample.
#pragma once

#include <string>
#include <vector>

#include "fakes/pass_program.h"

namespace fakes {

class FakeSurface;

struct PassOutcome {
  // A sampled texture was bound as an output.
  bool feedback = false;
  // Reads and writes that could not be served, each text once.
  std::vector<std::string> errors;
};

// targets: render targets 0..3 (null when unbound); target 0 is a fake
// surface, the others of its size, which the quad check has ensured.
PassOutcome RunPassProgram(const ActivePass& pass, FakeSurface* const targets[4]);

}  // namespace fakes
