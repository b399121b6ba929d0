// texloom.fxh: helpers for Texloom effects. Put it beside your effect and
//   #include "texloom.fxh"
// It declares PixScale and SrcSize, which the plug-in writes; an effect that
// includes it does not declare them again.
//
// Units: the host's pixels are Y' in 0..4096 and Cb, Cr in -2048..2048
// (BT.601, full range). On the GPU they are stored in the image format the
// effect chose with FilterVersion's img_format; PixScale says how.

#ifndef TEXLOOM_FXH
#define TEXLOOM_FXH

float4 PixScale;  // x: host units per texture unit; y: the format's bias
float4 SrcSize;   // the frame's width and height in pixels

// A texture value of any image format to host units, and back.
float4 TexelToHost(float4 texel) { return texel * PixScale.x + PixScale.y; }
float4 HostToTexel(float4 host) { return (host - PixScale.y) / PixScale.x; }

// Host Y'CbCr (host units) to R'G'B' in 0..1, and back.
float3 HostToRgb(float3 ycc) {
  float3 v = ycc / 4096;
  return float3(v.x + 1.402 * v.z, v.x - 0.344136286 * v.y - 0.714136286 * v.z,
                v.x + 1.772 * v.y);
}
float3 RgbToHost(float3 rgb) {
  float y = dot(rgb, float3(0.299, 0.587, 0.114));
  return float3(y, (rgb.b - y) / 1.772, (rgb.r - y) / 1.402) * 4096;
}

// Pixel (x, y), counted from 0 at the top left, to the texture coordinate
// of its centre, and back; one pixel as a texture-coordinate step.
float2 PixelToTexel(float2 pixel) { return (pixel + 0.5) / SrcSize.xy; }
float2 TexelToPixel(float2 uv) { return uv * SrcSize.xy - 0.5; }
float2 PixelStep() { return 1 / SrcSize.xy; }

#endif
