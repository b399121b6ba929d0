// The plan's message texts and the composition of the two that carry a value.
#include "plan/plan_messages.h"

#include <gtest/gtest.h>

#include <string>

#include "support/leak_checked_test.h"

namespace {

class PlanMessagesTest : public support::LeakCheckedTest {};

TEST_F(PlanMessagesTest, TextsAsTheUserReadsThem) {
  struct TextCase {
    const wchar_t* constant;
    const wchar_t* expected;
  };
  const TextCase cases[] = {
      {kMsgNoUsableFormat, L"利用可能なフォーマットがありません"},
      {kMsgMissingRenderTarget, L"存在しないレンダーターゲットが出力に指定されています。"},
      {kMsgDuplicateRenderTarget, L"同じレンダーターゲットが同時に出力先として指定されています。"},
      {kMsgPassWithoutTarget,
       L"レンダーターゲット指定を利用しているテクニックでは、\nすべてのパスで出力先を指定して"
       L"おく必要があります。"},
      {kMsgTooManyOutputs,
       L"現在利用中のGPUでは同時に出力できるターゲット数が不足しています。\n正常な出力が得られ"
       L"ない可能性があります。"},
      {kMsgOnlyTxRT0,
       L"\"TxSrc#\"と\"TxTmp\"が存在せず\"TxRT0\"のみが有効です。\n\"TxRT0\"を参照して出力する"
       L"と自分自身を書き換えることになり、\n正常な結果は保証されません。"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.expected)));
    EXPECT_EQ(std::wstring(c.expected), std::wstring(c.constant));
  }
}

TEST_F(PlanMessagesTest, UnsupportedFormatNamesTheWordAsWritten) {
  struct WordCase {
    const char* word;
    const wchar_t* expected;
  };
  const WordCase cases[] = {
      {"S16",
       L"\"S16\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理します"
       L"が、正しく動作しない可能性があります。"},
      {"F16",
       L"\"F16\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理します"
       L"が、正しく動作しない可能性があります。"},
      // Annotation strings are in the ANSI code page (Shift-JIS).
      {"\x83\x65\x83\x58\x83\x67",
       L"\"テスト\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理し"
       L"ますが、正しく動作しない可能性があります。"},
      {"",
       L"\"\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理します"
       L"が、正しく動作しない可能性があります。"},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.word);
    MessageText message = FormatUnsupportedMessage(c.word);
    EXPECT_EQ(std::wstring(c.expected), std::wstring(message.text));
    EXPECT_EQ(std::wstring(c.expected).size(), message.length);
  }
}

TEST_F(PlanMessagesTest, FailedConversionLeavesTheWordOut) {
  native_platform::FailWin32Call("MultiByteToWideChar", 1);
  MessageText message = FormatUnsupportedMessage("S16");
  EXPECT_EQ(std::wstring(kMsgFormatUnsupportedBefore) + kMsgFormatUnsupportedAfter,
            std::wstring(message.text));
}

TEST_F(PlanMessagesTest, PixelShaderMessageCarriesTheVersion) {
  struct VersionCase {
    int32_t major;
    int32_t minor;
    const wchar_t* expected;
  };
  const VersionCase cases[] = {
      {3, 0,
       L"このフィルタの動作には ps_3_0 以降をサポートするGPUが必要です。\n現在利用中のGPUでは正常"
       L"に動作しない可能性があります。"},
      {2, 10,
       L"このフィルタの動作には ps_2_a 以降をサポートするGPUが必要です。\n現在利用中のGPUでは正常"
       L"に動作しない可能性があります。"},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(std::wstring(c.expected),
              std::wstring(PixelShaderVersionMessage(c.major, c.minor).text));
  }
}

TEST_F(PlanMessagesTest, ComposedTextIsCutAt255Characters) {
  std::string long_word(400, 'W');
  MessageText message = FormatUnsupportedMessage(long_word.c_str());
  EXPECT_EQ(255u, message.length);
  EXPECT_EQ(L'\0', message.text[255]);
  std::wstring expected = L"\"" + std::wstring(254, L'W');
  EXPECT_EQ(expected, std::wstring(message.text));

  // A word that leaves a little room keeps the start of the rest.
  std::string word(250, 'A');
  message = FormatUnsupportedMessage(word.c_str());
  EXPECT_EQ(255u, message.length);
  EXPECT_EQ(std::wstring(L"\"") + std::wstring(250, L'A') + L"\"フォー",
            std::wstring(message.text));
}

}  // namespace
