// --sid-log: every write to the SID's registers with its cycle, as text.
#pragma once

#include <string>
#include <vector>

#include "machine/sid.h"

// The log's text: a first line naming the columns, then one line a write: the cycle
// counted from the machine's start (decimal), the register's address with the mirrors
// folded ($D400-$D41C, in hex without the $) and the byte (hex), as "1234567 D418 0F".
std::string sidLogText(const std::vector<SidWrite>& writes);
