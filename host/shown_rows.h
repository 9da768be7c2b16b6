// What the window showed at its last presentation, kept beside the page so that the next
// presentation sends only the rows whose pixels changed since: a frame that redraws the
// same picture sends nothing, a blinking cursor one band of rows.
#pragma once

#include <cstdint>

// Rows first..last of a page; none when first > last.
struct RowBand {
    int first;
    int last;
};

// Narrows rows first..last of `page` (rows of `width` pixels, no gap between them) to the
// band from the first to the last row that differs from `shown`, copies that band into
// `shown` and returns it: no rows when every one of them is the same.
RowBand takeChangedRows(const uint32_t* page, uint32_t* shown, int width, int first, int last);
