// The one header through which the logic reaches Windows, Direct3D 9 and
// D3DX 9. The Windows build uses the real SDK headers; the native build uses
// the project's stand-ins, which keep the same names and signatures.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#include <process.h>
#include <d3d9.h>
#include <d3dx9.h>
// The host and Windows guarantee only 4-byte stack alignment when they call
// into the module; every function they call realigns before it runs.
#define HOST_ENTRY __attribute__((force_align_arg_pointer))
#else
#include "native/win32.h"
#include "native/d3d9.h"
#include "native/d3dx9effect.h"
#define HOST_ENTRY
#endif
