// What the module offers other programs. Windows builds name it in qx.def; host builds
// compile the module with hidden symbols and name the same exports, and the engine data
// that the host runner reads, in qx.map.
#pragma once

#if defined(__ELF__)
#define QX_EXPORTED __attribute__((visibility("default")))
#else
#define QX_EXPORTED
#endif
