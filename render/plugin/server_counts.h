// Process-wide counters of the COM server, changed only by interlocked
// increment and decrement so objects may come and go on any thread.
#pragma once

#include "platform/platform.h"

// Live RenderPlugin objects: raised by construction, lowered by destruction.
extern LONG volatile liveObjects;

// Outstanding IClassFactory::LockServer(TRUE) calls.
extern LONG volatile lockCount;
