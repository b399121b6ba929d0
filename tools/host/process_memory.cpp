#include "tools/host/process_memory.h"

#include <windows.h>
// After windows.h: psapi.h needs its types.
#include <psapi.h>

namespace texloom_host {

namespace {

uint64_t CommittedPrivateBytes() {
  uint64_t total = 0;
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  auto* address = static_cast<uint8_t*>(system.lpMinimumApplicationAddress);
  auto* end = static_cast<uint8_t*>(system.lpMaximumApplicationAddress);
  MEMORY_BASIC_INFORMATION region;
  while (address < end && VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    address = static_cast<uint8_t*>(region.BaseAddress) + region.RegionSize;
  }
  return total;
}

}  // namespace

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
  if (memory.valid && memory.private_bytes == 0) {
    memory.private_bytes = CommittedPrivateBytes();
    memory.private_bytes_counted = true;
  }
  return memory;
}

}  // namespace texloom_host
