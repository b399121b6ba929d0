#include "tools/host/message_recorder.h"

#include <cstdio>
#include <cstring>

#include "tools/host/text_codec.h"

namespace texloom_host {

namespace {

// The import address table entry through which `module` calls `function` of
// `library`, or null. Names are looked up through the import name table;
// where a module has none, the entry is recognised by the address it holds.
void** FindImportEntry(HMODULE module, const char* library, const char* function, void* resolved) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!directory.VirtualAddress) return nullptr;
  auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (; import->Name; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), library) != 0) continue;
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->FirstThunk);
    auto* names = import->OriginalFirstThunk
                      ? reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->OriginalFirstThunk)
                      : nullptr;
    for (size_t i = 0; addresses[i].u1.Function; ++i) {
      bool match = false;
      if (names && !IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal)) {
        auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
        match = std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0;
      } else {
        match = reinterpret_cast<void*>(addresses[i].u1.Function) == resolved;
      }
      if (match) return reinterpret_cast<void**>(&addresses[i].u1.Function);
    }
  }
  return nullptr;
}

}  // namespace

MessageRecorder& MessageRecorder::Instance() {
  static MessageRecorder recorder;
  return recorder;
}

bool MessageRecorder::Patch(HMODULE module, std::string* error) {
  void* original =
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxW"));
  void** entry = FindImportEntry(module, "user32.dll", "MessageBoxW", original);
  if (!entry) {
    *error = "the module does not import MessageBoxW from user32.dll";
    return false;
  }
  DWORD protection = 0;
  if (!VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &protection)) {
    *error = "the import entry of MessageBoxW cannot be written";
    return false;
  }
  *entry = reinterpret_cast<void*>(&MessageRecorder::Replacement);
  DWORD ignored = 0;
  VirtualProtect(entry, sizeof(void*), protection, &ignored);
  FlushInstructionCache(GetCurrentProcess(), entry, sizeof(void*));
  return true;
}

// The plug-in may call with a stack aligned to 4 bytes only.
__attribute__((force_align_arg_pointer)) int WINAPI MessageRecorder::Replacement(HWND owner,
                                                                                 LPCWSTR text,
                                                                                 LPCWSTR caption,
                                                                                 UINT style) {
  RecordedMessage message;
  message.text = text ? text : L"";
  message.caption = caption ? caption : L"";
  message.style = style;
  message.had_owner = owner != nullptr;
  Instance().Record(std::move(message));
  return IDOK;
}

void MessageRecorder::Record(RecordedMessage message) {
  Listener listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
    listener = listener_;
  }
  if (listener) listener(message);
}

std::vector<RecordedMessage> MessageRecorder::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<RecordedMessage> MessageRecorder::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedMessage> taken;
  taken.swap(messages_);
  return taken;
}

void MessageRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

void MessageRecorder::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

std::string MessageRecorder::Describe(const std::vector<RecordedMessage>& messages) {
  std::string text;
  for (const RecordedMessage& message : messages) {
    char style[16];
    std::snprintf(style, sizeof(style), "0x%04x", message.style);
    text += std::string("[") + style + "] " + WideToUtf8(message.caption) + ": " +
            EscapeField(WideToUtf8(message.text)) + "\n";
  }
  return text.empty() ? "(no message)" : text;
}

}  // namespace texloom_host
