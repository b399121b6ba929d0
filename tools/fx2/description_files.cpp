#include "fx2/description_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fx2 {

namespace {

bool IsAbsolute(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() > 1 && path[1] == ':';  // a drive letter
}

std::string Folder(const std::string& file) {
  size_t cut = file.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

}  // namespace

bool ReadTextFile(const std::string& path, std::string* contents, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *contents = text.str();
  return true;
}

FileReader DiskFileReader() {
  return [](const std::string& path, const std::string& from, std::string* resolved,
            std::string* contents, std::string* error) {
    *resolved = IsAbsolute(path) ? path : Folder(from) + path;
    return ReadTextFile(*resolved, contents, error);
  };
}

std::string CompiledEffectPath(const std::string& source) {
  const size_t slash = source.find_last_of("/\\");
  const size_t dot = source.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return source + ".fxo";
  return source.substr(0, dot) + ".fxo";
}

}  // namespace fx2
