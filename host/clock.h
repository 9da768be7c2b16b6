// The clock that both hosts share.
#pragma once

// Seconds on the monotonic steady clock since the process started.
double steadySeconds();
