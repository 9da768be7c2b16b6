// The pixel lock's state, which both hosts read (host.h).
#include "host/host.h"

PixelLock pixelLock;
