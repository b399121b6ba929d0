// include_check.fx in the B16 image format, whose PixScale has a bias.
#define IMG_FORMAT "B16"
#include "include_check.fx"
