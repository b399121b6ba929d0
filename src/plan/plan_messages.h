// Every text the effect plan shows to the user, and the composition of the
// two that carry a value. Tests compare against these, so the texts live
// nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>

// The requested image format is not supported; the annotation word goes
// between the two halves.
constexpr const wchar_t kMsgFormatUnsupportedBefore[] = L"\"";
constexpr const wchar_t kMsgFormatUnsupportedAfter[] =
    L"\"フォーマットは現在利用中のGPUではサポートされていません。\n"
    L"\"F32\"として処理しますが、正しく動作しない可能性があります。";
constexpr const wchar_t kMsgNoUsableFormat[] = L"利用可能なフォーマットがありません";
// The device's pixel shader is older than "min_ps_ver"; "ps_%x_%x" goes
// between the two halves.
constexpr const wchar_t kMsgPixelShaderBefore[] = L"このフィルタの動作には ";
constexpr const wchar_t kMsgPixelShaderAfter[] =
    L" 以降をサポートするGPUが必要です。\n"
    L"現在利用中のGPUでは正常に動作しない可能性があります。";
constexpr const wchar_t kMsgMissingRenderTarget[] =
    L"存在しないレンダーターゲットが出力に指定されています。";
constexpr const wchar_t kMsgDuplicateRenderTarget[] =
    L"同じレンダーターゲットが同時に出力先として指定されています。";
constexpr const wchar_t kMsgPassWithoutTarget[] =
    L"レンダーターゲット指定を利用しているテクニックでは、\n"
    L"すべてのパスで出力先を指定しておく必要があります。";
constexpr const wchar_t kMsgTooManyOutputs[] =
    L"現在利用中のGPUでは同時に出力できるターゲット数が不足しています。\n"
    L"正常な出力が得られない可能性があります。";
constexpr const wchar_t kMsgOnlyTxRT0[] =
    L"\"TxSrc#\"と\"TxTmp\"が存在せず\"TxRT0\"のみが有効です。\n"
    L"\"TxRT0\"を参照して出力すると自分自身を書き換えることになり、\n"
    L"正常な結果は保証されません。";

// Where a render-target finding is: "テクニック"ProcessImage<n>"" and, for a
// pass, "のパス<l>", then the finding's own text.
constexpr const wchar_t kMsgTechniqueBefore[] = L"テクニック\"ProcessImage";
constexpr const wchar_t kMsgTechniqueAfter[] = L"\"";
constexpr const wchar_t kMsgPassBefore[] = L"のパス";
constexpr const wchar_t kMsgTechniqueWithoutPasses[] = L"にパスがひとつもありません。";
constexpr const wchar_t kMsgNegativeTarget[] =
    L"に、負のレンダーターゲット番号が指定されています。";
constexpr const wchar_t kMsgTargetGap[] =
    L"では、出力先が\"RenderTarget0\"から順に隙間なく指定されていません。";

// A composed message, cut at 255 characters plus the terminating NUL.
struct MessageText {
  static constexpr size_t kCapacity = 256;
  wchar_t text[kCapacity] = {};
  size_t length = 0;

  void Append(const wchar_t* part);
  // Appends text in the ANSI code page, as annotation strings are written.
  void AppendAnsi(const char* part);
  void AppendDecimal(uint32_t value);
};

// The warning for an unsupported "img_format", naming the word as written.
MessageText FormatUnsupportedMessage(const char* word);
struct TargetTableCheck;
// The error for a finding that names its technique (and pass); an empty
// text for the findings whose texts name neither.
MessageText TargetTableMessage(const TargetTableCheck& check);

// The warning for a device below "min_ps_ver" {major, minor}.
MessageText PixelShaderVersionMessage(int32_t major, int32_t minor);
