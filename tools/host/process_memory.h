// The memory the host process uses, as Windows reports it.
#pragma once

#include <cstdint>

namespace texloom_host {

struct ProcessMemory {
  uint64_t working_set = 0;    // bytes resident
  uint64_t private_bytes = 0;  // bytes committed privately
  bool valid = false;
};

ProcessMemory QueryProcessMemory();

}  // namespace texloom_host
