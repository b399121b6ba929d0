// Message boxes that never block: the loaded plug-in's import of
// MessageBoxW (user32) is redirected to a recorder that keeps the text,
// caption and style of every box, answers IDOK at once and can hand each box
// to a listener as it is raised (the run mode prints it).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace texloom_host {

struct RecordedMessage {
  std::wstring text;
  std::wstring caption;
  uint32_t style = 0;
  bool had_owner = false;
};

class MessageRecorder {
 public:
  using Listener = std::function<void(const RecordedMessage&)>;

  // The process-wide recorder: the redirected import has no context.
  static MessageRecorder& Instance();

  // Redirects the module's MessageBoxW import. False with *error when the
  // module does not import it from user32 or the entry cannot be written.
  bool Patch(HMODULE module, std::string* error);

  std::vector<RecordedMessage> Messages() const;
  // The messages recorded so far, removed from the recorder.
  std::vector<RecordedMessage> Take();
  void Clear();
  void SetListener(Listener listener);

  // The text of every recorded box, one per line, for test failures.
  static std::string Describe(const std::vector<RecordedMessage>& messages);

 private:
  static int WINAPI Replacement(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);
  void Record(RecordedMessage message);

  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  Listener listener_;
};

}  // namespace texloom_host
