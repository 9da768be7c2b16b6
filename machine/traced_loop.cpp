// The default model's legs of the main loop that keep the trace (see step_loop.h),
// compiled apart from the others so that the files build side by side; the loop itself
// and its state are in main_loop.cpp.
#include "machine/step_loop.h"

#define BREADBIN_COMPILE_LEG(i) \
    template uint64_t runLeg<StepFeatures::fromIndex(i)>(uint64_t, uint64_t, int32_t);
BREADBIN_COMPILE_LEG(6)
BREADBIN_COMPILE_LEG(7)
#undef BREADBIN_COMPILE_LEG
