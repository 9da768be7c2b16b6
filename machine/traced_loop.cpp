// The default model's legs of the main loop that keep the trace (see step_loop.h),
// compiled apart from the others so that the files build side by side; the loop itself
// and its state are in main_loop.cpp.
#include "machine/step_loop.h"

BREADBIN_COMPILE_LEG(2)
BREADBIN_COMPILE_LEG(3)
