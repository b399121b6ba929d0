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

void MessageText::AppendDecimal(uint32_t value) {
  wchar_t digits[11];
  size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  wchar_t part[12];
  for (size_t i = 0; i < count; ++i) part[i] = digits[count - 1 - i];
  part[count] = L'\0';
  Append(part);
}

MessageText TargetTableMessage(const TargetTableCheck& check) {
  const wchar_t* finding = nullptr;
  bool names_pass = true;
  switch (check.finding) {
    case TargetFinding::technique_without_passes:
      finding = kMsgTechniqueWithoutPasses;
      names_pass = false;
      break;
    case TargetFinding::negative_target:
      finding = kMsgNegativeTarget;
      break;
    case TargetFinding::target_gap:
      finding = kMsgTargetGap;
      break;
    default:
      return MessageText();
  }
  MessageText message;
  message.Append(kMsgTechniqueBefore);
  message.AppendDecimal(check.technique);
  message.Append(kMsgTechniqueAfter);
  if (names_pass) {
    message.Append(kMsgPassBefore);
    message.AppendDecimal(check.pass);
  }
  message.Append(finding);
  return message;
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
