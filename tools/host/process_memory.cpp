#include "tools/host/process_memory.h"

#include <windows.h>
// After windows.h: psapi.h needs its types.
#include <psapi.h>

namespace texloom_host {

ProcessMemory QueryProcessMemory() {
  ProcessMemory memory;
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters))) {
    memory.working_set = counters.WorkingSetSize;
    memory.private_bytes = counters.PrivateUsage;
    memory.valid = true;
  }
  return memory;
}

}  // namespace texloom_host
