// Module-wide state of the host boundary.
#include "host/module_state.h"

HMODULE module_handle = nullptr;
BYTE parameters_changed = 1;
BYTE size_changed = 1;
DeferredHandlerWork deferred_work;
