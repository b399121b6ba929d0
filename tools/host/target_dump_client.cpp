#include "tools/host/target_dump_client.h"

#include <cstdio>

#include "src/plugin/target_dump_abi.h"
#include "tools/host/text_codec.h"

namespace texloom_host {
namespace {

unsigned DumpMessage() { return RegisterWindowMessageW(kTargetDumpMessageName); }

std::string Problem(const TargetDumpImage& image) {
  char text[160];
  if (static_cast<uint32_t>(image.status) == 0x80004001u) {  // E_NOTIMPL
    std::snprintf(text, sizeof text, "its texture format (D3DFORMAT %u) cannot be dumped",
                  static_cast<unsigned>(image.format));
  } else {
    std::snprintf(text, sizeof text, "it could not be read back (HRESULT 0x%08X)",
                  static_cast<unsigned>(image.status));
  }
  return text;
}

}  // namespace

void ArmTargetDump(Host& host) { host.WindowMessage(DumpMessage(), kTargetDumpArm, 0); }

std::vector<DumpedTarget> TakeTargetDump(Host& host) {
  TargetDumpResult result = {sizeof(TargetDumpResult), 0, nullptr};
  host.WindowMessage(DumpMessage(), kTargetDumpTake, reinterpret_cast<uintptr_t>(&result));
  std::vector<DumpedTarget> targets;
  for (uint32_t i = 0; i < result.count && result.images; ++i) {
    const TargetDumpImage& image = result.images[i];
    DumpedTarget target;
    char name[sizeof image.name + 32];
    std::snprintf(name, sizeof name, "pass%d_out%d_%.*s", static_cast<int>(image.pass),
                  static_cast<int>(image.output), static_cast<int>(sizeof image.name),
                  image.name);
    target.name = name;
    if (image.status != 0 || !image.pixels || image.width <= 0 || image.height <= 0) {
      target.problem = Problem(image);
    } else {
      target.width = image.width;
      target.height = image.height;
      target.rgba.assign(image.pixels,
                         image.pixels + static_cast<size_t>(image.width) * image.height * 4);
    }
    targets.push_back(std::move(target));
  }
  return targets;
}

std::wstring TargetFileName(int frame, const std::string& name) {
  char text[96];
  std::snprintf(text, sizeof text, "frame_%06d_", frame);
  return Utf8ToWide(text + name + ".rgba64");
}

}  // namespace texloom_host
