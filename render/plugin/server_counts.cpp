#include "plugin/server_counts.h"

LONG volatile liveObjects = 0;
LONG volatile lockCount = 0;
