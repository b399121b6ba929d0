#include "e2e/plugin/effect_text.h"

namespace plugin_e2e {

std::string FilterVersion(const std::string& title, const std::string& annotations) {
  return "int4 FilterVersion < string name = \"" + title + "\"; " + annotations +
         " > = {1, 0, 0, 0};\n";
}

std::string PointSampler(const std::string& name, const std::string& texture) {
  return "sampler2D " + name + " = sampler_state { Texture = <" + texture +
         ">; MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = CLAMP; "
         "AddressV = CLAMP; };\n";
}

std::string Pass(const std::string& name, const std::string& shader, const std::string& bind,
                 const std::string& pass_annotations) {
  std::string text = "  pass " + name;
  if (!pass_annotations.empty()) text += " < " + pass_annotations + " >";
  text += " {\n    PixelShader = asm {\n      ps_2_0\n" + shader + "\n    };\n";
  if (!bind.empty()) text += "    bind { " + bind + " }\n";
  return text + "  }\n";
}

std::string TemporalSources() {
  return "texture TxSrc0 < int frame_offset = -1; >;\n"
         "texture TxSrc1 < int frame_offset = 0; >;\n"
         "texture TxSrc2 < int frame_offset = 1; >;\n" +
         PointSampler("Prev", "TxSrc0") + PointSampler("Cur", "TxSrc1") +
         PointSampler("Next", "TxSrc2");
}

std::string MixThreeFramesPass(const std::string& name) {
  return Pass(name,
              "      dcl t0.xy\n"
              "      dcl_2d s0\n"
              "      dcl_2d s1\n"
              "      dcl_2d s2\n"
              "      texld r0, t0, s0\n"
              "      texld r1, t0, s1\n"
              "      texld r2, t0, s2\n"
              "      mov r3, r1\n"
              "      mov r3.x, r0.x\n"
              "      mov r3.z, r2.z\n"
              "      mov oC0, r3",
              "s0 = Prev; s1 = Cur; s2 = Next;");
}

std::string IdentityEffect(const std::string& annotations) {
  return FilterVersion("Identity", annotations) + IdentityTechnique();
}

std::string IdentityTechnique() {
  return "texture TxSrc0 < int frame_offset = 0; >;\n" + PointSampler("Source0", "TxSrc0") +
         "technique ProcessImage0 {\n" +
         Pass("P0",
              "      dcl t0.xy\n"
              "      dcl_2d s0\n"
              "      texld r0, t0, s0\n"
              "      mov oC0, r0",
              "s0 = Source0;") +
         "}\n";
}

}  // namespace plugin_e2e
