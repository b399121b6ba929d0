// The guarded images of the conversion tests: the page after the image must
// really fault, and a sealed input must really be read-only, or the
// over-read and over-write checks of those tests would prove nothing.
#include <gtest/gtest.h>

#include "pipeline/conversion_test_support.h"
#include "support/guarded_memory.h"

namespace {

using conversion_test::GuardedBuffer;

TEST(GuardedBuffer, ImageEndsRightBeforeAnInaccessiblePage) {
  for (size_t size : {1u, 6u, 4095u, 4096u, 4097u, 100000u}) {
    SCOPED_TRACE(testing::Message() << size << " bytes");
    GuardedBuffer buffer(size);
    const GuardedPages& pages = buffer.pages();
    EXPECT_EQ(pages.end(), buffer.data() + size);
    EXPECT_GE(buffer.DataOffset(), 64u);  // the lead of guard bytes before the image
    EXPECT_EQ(PageAccess::read_write, GuardedPages::AccessAt(pages.begin()));
    EXPECT_EQ(PageAccess::read_write, GuardedPages::AccessAt(buffer.data() + size - 1));
    EXPECT_EQ(PageAccess::none, GuardedPages::AccessAt(buffer.data() + size));
  }
}

TEST(GuardedBuffer, SealMakesEveryAccessibleByteReadOnly) {
  GuardedBuffer buffer(10000);
  buffer.data()[0] = 0x5A;  // writable before the seal
  buffer.Seal();
  const GuardedPages& pages = buffer.pages();
  EXPECT_EQ(PageAccess::read_only, GuardedPages::AccessAt(pages.begin()));
  EXPECT_EQ(PageAccess::read_only, GuardedPages::AccessAt(pages.end() - 1));
  EXPECT_EQ(PageAccess::none, GuardedPages::AccessAt(pages.end()));
  EXPECT_EQ(0x5A, buffer.data()[0]);
}

TEST(GuardedBuffer, GuardBytesCarryThePatternAndTheSnapshotCoversThem) {
  GuardedBuffer buffer(100);
  const std::vector<uint8_t> snapshot = buffer.Snapshot();
  ASSERT_EQ(buffer.pages().size(), snapshot.size());
  ASSERT_EQ(buffer.DataOffset() + 100, snapshot.size());
  for (size_t i : {size_t{0}, size_t{1}, buffer.DataOffset() - 1, snapshot.size() - 1}) {
    SCOPED_TRACE(testing::Message() << "byte " << i);
    EXPECT_EQ(static_cast<uint8_t>(0xA7 ^ (i * 31)), snapshot[i]);
  }
  buffer.data()[99] ^= 0xFF;
  EXPECT_NE(snapshot, buffer.Snapshot());
}

}  // namespace
