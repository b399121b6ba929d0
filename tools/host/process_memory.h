// The memory the host process uses, as Windows reports it.
#pragma once

#include <cstdint>

namespace texloom_host {

struct ProcessMemory {
  uint64_t working_set = 0;    // bytes resident
  uint64_t private_bytes = 0;  // bytes committed privately
  // Wine reports no private bytes (PrivateUsage is 0); they are then the sum
  // of the committed private regions that VirtualQuery shows, which covers
  // what the Windows side of the process allocated.
  bool private_bytes_counted = false;
  bool valid = false;
};

ProcessMemory QueryProcessMemory();

}  // namespace texloom_host
