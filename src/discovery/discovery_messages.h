// Every text the discovery shows the user, in one place so that the code and
// the tests cannot drift apart.
#pragma once

#include "platform/win32_api.h"

constexpr const wchar_t* kMsgCaption = L"エフェクトファイルのエラー";
constexpr const wchar_t* kMsgD3DXNotFound =
    L"D3DXライブラリがロードできません。最新のDirectXエンドユーザーランタイムを導入してください。";
constexpr const wchar_t* kMsgPreDirect3DFailed = L"D3D(pre)の作成に失敗しました";
constexpr const wchar_t* kMsgPreDeviceFailed = L"D3D(pre)デバイスの作成に失敗しました";
constexpr const wchar_t* kMsgPreEffectFailed = L"エフェクト(pre)の作成に失敗しました";
constexpr UINT kMsgStyle = MB_SYSTEMMODAL | MB_ICONERROR;

// A modal box without owner, as every discovery error is shown.
inline void ShowDiscoveryError(const wchar_t* text) {
  MessageBoxW(nullptr, text, kMsgCaption, kMsgStyle);
}
