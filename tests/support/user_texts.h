// Every text the user can see, written out once here as the characters the
// user reads. Tests compare shown messages with these, never with the code's
// own constants, so that a typo in a constant cannot pass.
#pragma once

namespace user_text {

// Effect discovery: caption and messages.
inline constexpr const wchar_t* kDiscoveryCaption = L"エフェクトファイルのエラー";
inline constexpr const wchar_t* kD3DXNotFound =
    L"D3DXライブラリがロードできません。最新のDirectXエンドユーザーランタイムを導入してください。";
inline constexpr const wchar_t* kPreDirect3DFailed = L"D3D(pre)の作成に失敗しました";
inline constexpr const wchar_t* kPreDeviceFailed = L"D3D(pre)デバイスの作成に失敗しました";
inline constexpr const wchar_t* kPreEffectFailed = L"エフェクト(pre)の作成に失敗しました";

// The engine: caption without a display name, device lifecycle.
inline constexpr const wchar_t* kEngineCaption = L"Texloom";
inline constexpr const wchar_t* kDirect3DCreateFailed = L"Direct3DCreate9()が失敗しました";
inline constexpr const wchar_t* kDeviceCreateFailed = L"D3Dデバイスの作成に失敗しました";
inline constexpr const wchar_t* kThreadStartFailed = L"スレッド初期化に失敗しました";
inline constexpr const wchar_t* kEffectCreateFailed = L"エフェクトの作成に失敗しました";
inline constexpr const wchar_t* kDeviceResetFailed = L"デバイスリセットに失敗しました";
inline constexpr const wchar_t* kCooperativeLevelError =
    L"TestCooperativeLevel()がエラーを返しました";

// Capability probe.
inline constexpr const wchar_t* kSquareTexturesOnly = L"非正方テクスチャを利用できません";
inline constexpr const wchar_t* kPowerOfTwoTexturesOnly =
    L"2の累乗サイズ以外のテクスチャは利用できません";
inline constexpr const wchar_t* kNoPixelFormat =
    L"利用可能なピクセルフォーマットがひとつもありません";

// Frame-size resources.
inline constexpr const wchar_t* kMmxRequired = L"画像コピーにはMMXが必要です";
inline constexpr const wchar_t* kVertexDeclarationFailed = L"頂点宣言の作成に失敗しました";
inline constexpr const wchar_t* kSystemTextureFailed = L"システムテクスチャの作成に失敗しました";
inline constexpr const wchar_t* kQuadFailed = L"頂点のセットに失敗しました";
inline constexpr const wchar_t* kTextureFailed = L"テクスチャの作成に失敗しました";
inline constexpr const wchar_t* kRenderTargetFailed = L"RTテクスチャの作成に失敗しました";

// Plan validation.
inline constexpr const wchar_t* kNoUsableFormat = L"利用可能なフォーマットがありません";
inline constexpr const wchar_t* kMissingRenderTarget =
    L"存在しないレンダーターゲットが出力に指定されています。";
inline constexpr const wchar_t* kDuplicateRenderTarget =
    L"同じレンダーターゲットが同時に出力先として指定されています。";

// Source upload.
inline constexpr const wchar_t* kTextureSetFailed = L"テクスチャのセットに失敗しました";
inline constexpr const wchar_t* kNoTextureLeft = L"セット可能なテクスチャが残っていません";
inline constexpr const wchar_t* kNoUploadTarget = L"転送先のテクスチャを取得できませんでした";
inline constexpr const wchar_t* kTextureNotCreated = L"テクスチャが作成されていません";
inline constexpr const wchar_t* kFrameCopyFailed = L"フレームのコピーに失敗しました";
inline constexpr const wchar_t* kSourceSizeDiffers =
    L"参照するフレームの大きさが処理中のフレームと異なるため、処理できません";

// Read-back.
inline constexpr const wchar_t* kReadBackFailed = L"処理済データをコピーできませんでした";

}  // namespace user_text
