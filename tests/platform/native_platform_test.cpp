// The native stand-in must behave like Windows where the logic relies on it.
#include <gtest/gtest.h>

#include "platform/native/test_control.h"
#include "platform/win32_api.h"

namespace {

class NativePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { native_platform::ResetPlatform(); }
};

TEST_F(NativePlatformTest, PathRemoveFileSpecKeepsTheDirectory) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {{L"C:\\dir\\sub\\file.auf", L"C:\\dir\\sub"},
               {L"C:\\file.auf", L"C:\\"},
               {L"texloom.auf", L""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    wchar_t buffer[64];
    wcscpy(buffer, c.in);
    PathRemoveFileSpecW(buffer);
    EXPECT_STREQ(c.out, buffer);
  }
}

TEST_F(NativePlatformTest, PathRenameExtensionReplacesOrAppendsAndRefusesOverflow) {
  wchar_t buffer[MAX_PATH] = L"C:\\a.b\\texloom.auf";
  EXPECT_TRUE(PathRenameExtensionW(buffer, L".fxo"));
  EXPECT_STREQ(L"C:\\a.b\\texloom.fxo", buffer);
  wcscpy(buffer, L"C:\\a.b\\texloom");
  EXPECT_TRUE(PathRenameExtensionW(buffer, L".fx"));
  EXPECT_STREQ(L"C:\\a.b\\texloom.fx", buffer);
  std::wstring longest(MAX_PATH - 2, L'x');
  wcscpy(buffer, longest.c_str());
  EXPECT_FALSE(PathRenameExtensionW(buffer, L".fx"));
  EXPECT_EQ(longest, buffer);
}

TEST_F(NativePlatformTest, MultiByteToWideCharDecodesShiftJis) {
  const char title[] = "Texloom(\x83\x47\x83\x89\x81\x5b)";
  int needed = MultiByteToWideChar(CP_ACP, 0, title, -1, nullptr, 0);
  ASSERT_EQ(13, needed);
  wchar_t wide[13];
  ASSERT_EQ(13, MultiByteToWideChar(CP_ACP, 0, title, -1, wide, 13));
  EXPECT_STREQ(L"Texloom(エラー)", wide);
}

TEST_F(NativePlatformTest, AutoResetEventWakesOneWaitOnly) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  SetEvent(event);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, INFINITE));
  native_platform::FailWin32Call("WaitForSingleObject", 1);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(event, INFINITE));
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
}

}  // namespace
