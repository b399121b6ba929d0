// Every text the engine shows the user, in one place so that the code and
// the tests cannot drift apart.
#pragma once

// Caption when the effect gave no display name.
constexpr const wchar_t kDefaultCaption[] = L"Texloom";

// Device lifecycle.
constexpr const wchar_t kMsgDirect3DCreateFailed[] = L"Direct3DCreate9()が失敗しました";
constexpr const wchar_t kMsgDeviceCreateFailed[] = L"D3Dデバイスの作成に失敗しました";
constexpr const wchar_t kMsgThreadStartFailed[] = L"スレッド初期化に失敗しました";
constexpr const wchar_t kMsgEffectCreateFailed[] = L"エフェクトの作成に失敗しました";
constexpr const wchar_t kMsgDeviceResetFailed[] = L"デバイスリセットに失敗しました";
constexpr const wchar_t kMsgCooperativeLevelError[] = L"TestCooperativeLevel()がエラーを返しました";

// Capability probe.
constexpr const wchar_t kMsgSquareTexturesOnly[] = L"非正方テクスチャを利用できません";
constexpr const wchar_t kMsgPowerOfTwoTexturesOnly[] =
    L"2の累乗サイズ以外のテクスチャは利用できません";
constexpr const wchar_t kMsgNoPixelFormat[] = L"利用可能なピクセルフォーマットがひとつもありません";

// Frame-size resources.
constexpr const wchar_t kMsgMmxRequired[] = L"画像コピーにはMMXが必要です";
constexpr const wchar_t kMsgVertexDeclarationFailed[] = L"頂点宣言の作成に失敗しました";
constexpr const wchar_t kMsgSystemTextureFailed[] = L"システムテクスチャの作成に失敗しました";
constexpr const wchar_t kMsgQuadFailed[] = L"頂点のセットに失敗しました";
constexpr const wchar_t kMsgTextureFailed[] = L"テクスチャの作成に失敗しました";
constexpr const wchar_t kMsgRenderTargetFailed[] = L"RTテクスチャの作成に失敗しました";
