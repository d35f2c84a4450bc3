// Compiled as C11 with every build, so that a change making the real-time headers unusable
// from C breaks the build rather than a C caller.
#include "engine/rt/taudio_ring.h"
#include "engine/rt/tdsp.h"
