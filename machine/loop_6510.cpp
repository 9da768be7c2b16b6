// The 6510 model's legs of the main loop without the trace (see step_loop.h), compiled
// apart from the default model's so that the files build side by side.
#include "machine/step_loop.h"

BREADBIN_COMPILE_LEG(4)
BREADBIN_COMPILE_LEG(5)
