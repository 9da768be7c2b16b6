#include "host/shown_rows.h"

#include <cstddef>
#include <cstring>

RowBand takeChangedRows(const uint32_t* page, uint32_t* shown, int width, int first, int last) {
    auto offset = [width](int row) { return static_cast<std::size_t>(row) * width; };
    std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof(uint32_t);
    auto same = [&](int row) {
        return std::memcmp(page + offset(row), shown + offset(row), rowBytes) == 0;
    };
    while (first <= last && same(first)) ++first;
    while (last > first && same(last)) --last;
    if (first <= last) {
        std::memcpy(shown + offset(first), page + offset(first),
                    rowBytes * static_cast<std::size_t>(last - first + 1));
    }
    return {first, last};
}
