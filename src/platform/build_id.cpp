// Version of the plug-in as the code knows it; the module's version resource
// states the same numbers.
#include "platform/build_id.h"

const char kTexloomVersionText[] = "1.0.1.10";
