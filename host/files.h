// The file side that both hosts share: files on disk, read-only.
#pragma once

#include <string_view>

#include "host/host.h"

// Opens a file on disk for reading, without waiting; a missing or unreadable file, or one
// that is not a regular file (a folder, a FIFO, a device), gives a handle that is not open.
// openFile of each host comes here (the headless host looks at the files provided from memory
// first).
FileHandle openDiskFile(std::string_view name);
