#include "host/text_area.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "host/font.h"

namespace {

struct TextArea {
    std::array<std::array<char, kTextColumns>, kTextRows> grid;  // ' ' where nothing shows
    int firstRow = 1;
    int lastRow = kTextRows;
    bool rowsChosen = false;  // only a chosen band is painted before text reaches it
    int cursorRow = 1;
    int cursorColumn = 1;
    std::vector<std::string> finishedLines;
    std::string currentLine;
    uint32_t* page = nullptr;
    int pageWidth = 0;
    int pageHeight = 0;
};

TextArea area = [] {
    TextArea fresh;
    for (auto& row : fresh.grid) row.fill(' ');
    return fresh;
}();

void drawCell(int row, int column) {
    int left = (column - 1) * kTextCellSize;
    int top = (row - 1) * kTextCellSize;
    if (!area.page || left + kTextCellSize > area.pageWidth ||
        top + kTextCellSize > area.pageHeight) {
        return;
    }
    const uint8_t* rows = glyphRows(screenCodeForAscii(area.grid[row - 1][column - 1]));
    for (int y = 0; y < kTextCellSize; ++y) {
        uint32_t* pixel = area.page + static_cast<std::size_t>(top + y) * area.pageWidth + left;
        for (int x = 0; x < kTextCellSize; ++x) {
            pixel[x] = (rows[y] << x) & 0x80 ? kTextForeground : kTextBackground;
        }
    }
}

void drawRow(int row) {
    for (int column = 1; column <= kTextColumns; ++column) drawCell(row, column);
}

void putCharacter(char character) {
    area.currentLine.push_back(character);
    if (area.cursorColumn <= kTextColumns) {
        area.grid[area.cursorRow - 1][area.cursorColumn - 1] = character;
        drawCell(area.cursorRow, area.cursorColumn);
    }
    ++area.cursorColumn;
}

}  // namespace

void textAreaReset() {
    area = TextArea{};
    for (auto& row : area.grid) row.fill(' ');
}

void textAreaAttach(uint32_t* page, int width, int height) {
    area.page = page;
    area.pageWidth = width;
    area.pageHeight = height;
    if (area.rowsChosen) {
        for (int row = area.firstRow; row <= area.lastRow; ++row) drawRow(row);
    }
}

void textAreaSetRows(int first, int last) {
    first = std::clamp(first, 1, kTextRows);
    last = std::clamp(last, first, kTextRows);
    area.firstRow = first;
    area.lastRow = last;
    area.rowsChosen = true;
    for (int row = first; row <= last; ++row) {
        area.grid[row - 1].fill(' ');
        drawRow(row);
    }
    area.cursorRow = first;
    area.cursorColumn = 1;
}

void textAreaPrint(std::string_view text) {
    for (char character : text) {
        if (character == '\n') {
            textAreaLineEnd();
        } else {
            putCharacter(character);
        }
    }
}

void textAreaPrintNumber(int value) {
    char digits[16];
    int length = std::snprintf(digits, sizeof digits, "% d", value);
    textAreaPrint(std::string_view(digits, static_cast<std::size_t>(length)));
}

void textAreaLineEnd() {
    area.finishedLines.push_back(std::move(area.currentLine));
    area.currentLine.clear();
    area.cursorColumn = 1;
    if (area.cursorRow < area.lastRow) {
        ++area.cursorRow;
        return;
    }
    for (int row = area.firstRow; row < area.lastRow; ++row) area.grid[row - 1] = area.grid[row];
    area.grid[area.lastRow - 1].fill(' ');
    for (int row = area.firstRow; row <= area.lastRow; ++row) drawRow(row);
}

const std::vector<std::string>& textAreaFinishedLines() { return area.finishedLines; }

const std::string& textAreaCurrentLine() { return area.currentLine; }

std::string textAreaRowText(int row) {
    if (row < 1 || row > kTextRows) return {};
    const auto& cells = area.grid[row - 1];
    std::string text(cells.begin(), cells.end());
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

int textAreaFirstPixelRow() { return (area.firstRow - 1) * kTextCellSize; }

int textAreaLastPixelRow() { return area.lastRow * kTextCellSize - 1; }
