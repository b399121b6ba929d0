// Base fixture of every test that touches the platform stand-in or fakes:
// starts from a clean platform and fails the test if it leaves a fake COM
// object, a file handle or a kernel handle behind.
#pragma once

#include <gtest/gtest.h>

#include "fakes/fake_com.h"
#include "platform/native/test_control.h"
#include "support/allocation_failure.h"

namespace support {

class LeakCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    native_platform::ResetPlatform();
    fakes::ResetFaults();
    FailNothrowAllocation(0);
    live_at_start_ = fakes::LiveObjects();
  }
  void TearDown() override {
    FailNothrowAllocation(0);
    EXPECT_EQ(live_at_start_, fakes::LiveObjects()) << "fake COM objects leaked";
    EXPECT_EQ(0, native_platform::OpenFileHandles()) << "file handles leaked";
    EXPECT_EQ(0, native_platform::OpenKernelHandles()) << "event or thread handles leaked";
  }

 private:
  int live_at_start_ = 0;
};

}  // namespace support
