// <windows.h> and the common controls, for our sources. The system's headers define
// PARITY_NONE .. PARITY_SPACE as macros (for COMMPROP), which would clash with our line-frame
// constants (serial/LineFrame.h); we never use the macros, so they go.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#undef PARITY_NONE
#undef PARITY_ODD
#undef PARITY_EVEN
#undef PARITY_MARK
#undef PARITY_SPACE
