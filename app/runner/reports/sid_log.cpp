#include "app/runner/reports/sid_log.h"

#include "app/runner/io/text.h"
#include "machine/c64.h"

std::string sidLogText(const std::vector<SidWrite>& writes) {
    std::string text = "# cycle register value\n";
    for (const SidWrite& write : writes) {
        text += formatted("%llu %04X %02X\n", static_cast<unsigned long long>(write.cycle),
                          unsigned{kSidFirst} + write.reg, unsigned{write.value});
    }
    return text;
}
