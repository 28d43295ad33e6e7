// Empty stub for mingw-w64's winddi.h, which includes <d3dnthal.h> that Debian's
// mingw-w64 does not ship. On the include path of Windows builds only.
#pragma once
