// Calls a routine the way the host's parallel-run service does. The 32-bit
// Windows build calls through a stack aligned to 4 bytes but not to 16, as a
// host built with another compiler may; the native build has no such host
// and calls directly. One source file per build implements it
// (host_call_i386.cpp, host_call_direct.cpp).
#pragma once

#include <vector>

#include "host/host_interface.h"

// The values of esp % 16 at the call that this build exercises: 4, 8 and 12
// in the 32-bit build, only the native ABI's 0 in the native one.
std::vector<int> HostStackMisalignments();

void CallAsHost(ParallelRoutine routine, int thread_index, int thread_count, void* first,
                void* second, int misalignment);

// esp % 16 as a routine called like CallAsHost sees it at the call, so tests
// can tell that the misalignment is real.
int StackMisalignmentAtCall(int misalignment);
