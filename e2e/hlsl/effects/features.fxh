// Included by features.fx: host units to texture values and back, through
// the PixScale the plug-in writes for the image format.
float4 PixScale;

float ToHost(float texel) { return texel * PixScale.x + PixScale.y; }
float FromHost(float host) { return (host - PixScale.y) / PixScale.x; }
