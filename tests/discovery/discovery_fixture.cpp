#include "discovery/discovery_fixture.h"

// The plug-in's module handle is defined with the entry points; a build of
// the discovery alone needs one, and the real one wins where both exist.
__attribute__((weak)) HMODULE module_handle = nullptr;

namespace discovery_test {

fakes::EffectDescription SampleEffect(const std::string& title) {
  fakes::EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 2, 0, 0})
      .Annotate("name", title.c_str())
      .Annotate("ex_info", "Gaussian blur");
  effect.Int("Track0")
      .Annotate("name", "Radius")
      .Annotate("def", 3)
      .Annotate("max", 20)
      .Annotate("min", 0);
  effect.Float("Track1").Annotate("name", "Strength").Annotate("usage", "normalize");
  effect.Bool("Check0").Annotate("name", "Alpha").Annotate("def", true);
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

}  // namespace discovery_test
