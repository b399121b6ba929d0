// The tool's side of the plug-in's target dump (src/plugin/target_dump_abi.h):
// arm it before a frame, take copies of every pass's render targets after.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/host.h"

namespace texloom_host {

struct DumpedTarget {
  // "pass<i>_out<m>_<texture>": the pass (from 0), its colour output, and the
  // texture's name in the effect ("TxRT<k>"), or "slot<k>" without one.
  std::string name;
  int width = 0, height = 0;
  std::vector<uint16_t> rgba;  // width × height × R, G, B, A
  std::string problem;         // why it could not be read; rgba is then empty
};

void ArmTargetDump(Host& host);
// The targets of the frame processed since ArmTargetDump; empty when the
// plug-in drew no pass.
std::vector<DumpedTarget> TakeTargetDump(Host& host);

// The raw file of one target: "frame_NNNNNN_<name>.rgba64" (little-endian
// 16-bit R, G, B, A, rows top to bottom, no header).
std::wstring TargetFileName(int frame, const std::string& name);

}  // namespace texloom_host
