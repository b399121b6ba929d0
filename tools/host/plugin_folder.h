// The plug-in placed the way a user places it: the module copied into a
// folder of its own under a name, with its effect beside it under the same
// name and the extension ".fxo" (a compiled effect) or ".fx" (source).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace texloom_host {

class PluginFolder {
 public:
  // A new, empty folder under the process's temporary folder.
  PluginFolder();
  // Removes the folder's files and the folder (the module must be unloaded
  // first).
  ~PluginFolder();
  PluginFolder(const PluginFolder&) = delete;
  PluginFolder& operator=(const PluginFolder&) = delete;

  const std::wstring& path() const { return path_; }
  bool ok() const { return !path_.empty(); }

  // Copies `module` to <folder>\<name>.auf; returns that path, or empty.
  std::wstring PlaceModule(const std::wstring& module, const std::wstring& name);
  // Writes <folder>\<name><extension> (extension with its dot).
  bool WriteFile(const std::wstring& name, const std::wstring& extension,
                 const std::vector<uint8_t>& bytes);
  bool WriteFile(const std::wstring& name, const std::wstring& extension, const std::string& text);

 private:
  std::wstring path_;
};

}  // namespace texloom_host
