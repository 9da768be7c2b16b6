// The built-in firmware's own labels, from its source (64tass's symbols, built into the
// runner beside the images): they name the firmware's routines wherever the runner
// shows an address that the user's labels leave unnamed, while the firmware running is
// ours (no --dir, no test file's dir).
#pragma once

#include <string>

#include "app/runner/source_map/labels.h"

// The firmware's labels: each symbol of kernal.asm whose value lies in the KERNAL's window
// ($E000-$FFFF) and of basic.asm in the BASIC image's ($A000-$BFFF), each naming the
// addresses up to the next one or its window's end. Read once.
const LabelTable& firmwareLabels();

// The labels a run shows addresses by: `labels`, and, when `romDir` is empty (the built-in
// firmware runs), the firmware's where they take neither a name nor an address of
// `labels`.
LabelTable shownLabels(const LabelTable& labels, const std::string& romDir);
