// Makes the non-throwing allocations (new (std::nothrow)) fail on demand.
#pragma once

namespace support {

// The nth next non-throwing allocation (1 = the very next) returns null;
// 0 cancels the plan.
void FailNothrowAllocation(int nth);
// Non-throwing allocations since the last plan.
int NothrowAllocations();

}  // namespace support
