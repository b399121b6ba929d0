// The engine record's construction and the one way it reports to the user.
#include "engine/engine.h"

#include "engine/engine_messages.h"

Engine* engine = nullptr;

Engine::Engine() : description(&effect_discovery) { InitializeCriticalSection(&worker.lock); }

const wchar_t* Engine::MessageCaption() const {
  if (description && description->display_name) return description->display_name;
  return kDefaultCaption;
}

int Engine::ShowError(const wchar_t* text) const {
  MessageBoxW(nullptr, text, MessageCaption(), MB_ICONERROR | MB_SYSTEMMODAL);
  return 0;
}

int Engine::ShowWarning(const wchar_t* text) const {
  MessageBoxW(nullptr, text, MessageCaption(), MB_ICONWARNING | MB_SYSTEMMODAL);
  return 0;
}
