#include "plan/plan_messages.h"

#include <algorithm>
#include <cstring>

#include "plan/plan_decisions.h"
#include "platform/win32_api.h"

void MessageText::Append(const wchar_t* part) {
  for (; *part != L'\0' && length + 1 < kCapacity; ++part) text[length++] = *part;
  text[length] = L'\0';
}

void MessageText::AppendAnsi(const char* part) {
  if (part == nullptr) return;
  size_t room = kCapacity - 1 - length;
  // No code page yields more wide characters than bytes, so cutting the
  // bytes to the room left can never overflow the buffer.
  size_t bytes = std::min(std::strlen(part), room);
  if (bytes == 0) return;
  int written = MultiByteToWideChar(CP_ACP, 0, part, static_cast<int>(bytes), text + length,
                                    static_cast<int>(room));
  if (written > 0) length += static_cast<size_t>(written);
  text[length] = L'\0';
}

MessageText FormatUnsupportedMessage(const char* word) {
  MessageText message;
  message.Append(kMsgFormatUnsupportedBefore);
  message.AppendAnsi(word);
  message.Append(kMsgFormatUnsupportedAfter);
  return message;
}

MessageText PixelShaderVersionMessage(int32_t major, int32_t minor) {
  wchar_t version[32];
  FormatPixelShaderVersion(major, minor, version, sizeof(version) / sizeof(version[0]));
  MessageText message;
  message.Append(kMsgPixelShaderBefore);
  message.Append(version);
  message.Append(kMsgPixelShaderAfter);
  return message;
}
