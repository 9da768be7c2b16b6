// The 6510 model's legs of the main loop that keep the trace (see step_loop.h), compiled
// apart from the others so that the files build side by side.
#include "machine/step_loop.h"

#define BREADBIN_COMPILE_LEG(i) \
    template uint64_t runLeg<StepFeatures::fromIndex(i)>(uint64_t, uint64_t, int32_t);
BREADBIN_COMPILE_LEG(14)
BREADBIN_COMPILE_LEG(15)
#undef BREADBIN_COMPILE_LEG
