// The status text area both hosts share: an 80 x 60 grid of 8 x 8 cells over the window,
// of which a band of rows takes the text. It keeps what was printed as text lines and
// draws each cell it writes, light on dark, into the page it is attached to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kTextColumns = 80;
inline constexpr int kTextRows = 60;
inline constexpr int kTextCellSize = 8;
inline constexpr uint32_t kTextForeground = 0xFFD8DEE9;
inline constexpr uint32_t kTextBackground = 0xFF1C2029;

// Forgets everything: the whole grid is the band, the cursor at row 1, column 1, no
// lines kept, no page attached.
void textAreaReset();
// Draws into `page` (width x height pixels) from now on; a band chosen earlier is drawn.
void textAreaAttach(uint32_t* page, int width, int height);
// Confines the text to rows first..last (from 1), clears them and puts the cursor at
// the start of `first`. Rows outside the grid are pulled into it.
void textAreaSetRows(int first, int last);
// Writes characters at the cursor; '\n' ends the line. Characters past the last column
// are kept in the line's text but not drawn.
void textAreaPrint(std::string_view text);
// Writes a number as "% d" does.
void textAreaPrintNumber(int value);
// Ends the line: the cursor goes to the next row of the band, or the band scrolls up
// by one row when the cursor is on its last row.
void textAreaLineEnd();
// The lines ended so far, oldest first, and the line being written.
const std::vector<std::string>& textAreaFinishedLines();
const std::string& textAreaCurrentLine();
// What a grid row (from 1) shows, without trailing blanks.
std::string textAreaRowText(int row);
// The first and last pixel rows of the band.
int textAreaFirstPixelRow();
int textAreaLastPixelRow();
