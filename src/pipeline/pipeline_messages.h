// Every text the frame pipeline shows the user, in one place so that the
// code and the tests cannot drift apart.
#pragma once

// Source upload.
constexpr const wchar_t kMsgTextureSetFailed[] = L"テクスチャのセットに失敗しました";
constexpr const wchar_t kMsgNoTextureLeft[] = L"セット可能なテクスチャが残っていません";
constexpr const wchar_t kMsgNoUploadTarget[] = L"転送先のテクスチャを取得できませんでした";
constexpr const wchar_t kMsgTextureNotCreated[] = L"テクスチャが作成されていません";
constexpr const wchar_t kMsgFrameCopyFailed[] = L"フレームのコピーに失敗しました";
// A frame the effect reads has another size than the frame being processed.
constexpr const wchar_t kMsgSourceSizeDiffers[] =
    L"参照するフレームの大きさが処理中のフレームと異なるため、処理できません";

// Read-back.
constexpr const wchar_t kMsgReadBackFailed[] = L"処理済データをコピーできませんでした";
