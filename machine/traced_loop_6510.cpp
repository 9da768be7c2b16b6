// The 6510 model's legs of the main loop that keep the trace (see step_loop.h), compiled
// apart from the others so that the files build side by side.
#include "machine/step_loop.h"

BREADBIN_COMPILE_LEG(6)
BREADBIN_COMPILE_LEG(7)
