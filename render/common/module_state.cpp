#include "common/module_state.h"

HMODULE moduleHandle = nullptr;
HMODULE siblingLibrary = nullptr;
