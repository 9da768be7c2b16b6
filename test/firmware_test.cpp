// Our open firmware and the demo, end to end: the real main loop on the headless host,
// with the images the build made and a virtual clock driven by the emulated cycles, so
// that every run takes the same steps, frames and random key bits. The test programs
// under programs/firmware/ are assembled at build time against kernal.inc.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "machine/counting.h"
#include "machine/screen.h"
#include "machine/trace.h"
#include "machine_fixture.h"

namespace {

const fs::path kFirmwareDir = BREADBIN_BUILD_DIR "/firmware";
const fs::path kDemoProgram = BREADBIN_BUILD_DIR "/demo/tests/start";
const fs::path kProgramDir = FIRMWARE_TEST_PROGRAM_DIR;

constexpr uint64_t kStepsPerRun = 100;  // a frame can come only at the end of so few

// Where the firmware keeps things (kernal.inc).
constexpr uint16_t kJiffyClock = 0xA0;  // 3 bytes, most significant first
constexpr uint16_t kKeyRow = 0xA3;
constexpr uint16_t kCursorColumn = 0xD3;
constexpr uint16_t kCursorRow = 0xD6;
constexpr uint16_t kCursorBlinkSwitch = 0xCC;  // zero: the cursor blinks
constexpr uint16_t kBrkAddress = 0xB0;
constexpr uint16_t kBrkCount = 0xB2;
constexpr uint16_t kInputLoop = 0xE600;
constexpr uint16_t kInputLoopEnd = 0xE604;
constexpr uint8_t kStackAfterStart = 0xFD;  // reset's S = $FF, less the return address
constexpr uint8_t kReverseSpace = 0xA0;
constexpr uint8_t kSpace = 0x20;
constexpr uint8_t kBlinkPhase = 0x10;

// The test programs write their results from here on.
constexpr uint16_t kResults = 0xC800;

// The demo's zero page and screen layout (demo.asm).
constexpr uint16_t kDemoTickMs = 0x033D;  // 2 bytes: milliseconds towards the next second
constexpr uint16_t kDemoSeconds = 0x033F;
constexpr int kDemoHistoryRow = 10;
constexpr int kDemoFirstBarRow = 13;
constexpr int kDemoBars = 9;
constexpr int kDemoBarColumn = 8;
constexpr int kDemoBarWidth = 30;

const std::string kTitle = "  Breadbin open firmware 0.1";
const std::string kFreeMemory = "  38912 bytes free at $0800-$9FFF";
const std::string kHint = "  Programs start from tests/start";
const std::string kNoBasic = "  No BASIC image: numbers shown in hex";

uint32_t frameCount() {
    return memory.ram[kJiffyClock + 2] | memory.ram[kJiffyClock + 1] << 8 |
           memory.ram[kJiffyClock] << 16;
}
uint16_t wordAt(uint16_t address) {
    return static_cast<uint16_t>(memory.ram[address] | memory.ram[address + 1] << 8);
}
// A screen row's text: `text`, then spaces to the row's end.
std::string padded(std::string text) {
    text.resize(kScreenColumns, ' ');
    return text;
}
bool rowStartsWith(int row, const std::string& text) {
    return screenRowText(row).starts_with(text);
}
bool inInputLoop() { return cpu.regPC >= kInputLoop && cpu.regPC < kInputLoopEnd; }
uint8_t screenCode(int row, int column) {
    return memory.ram[kScreenMatrix + row * kScreenColumns + column];
}
uint8_t cellColour(int row, int column) {
    return memory.ram[kColourMemory + row * kScreenColumns + column] & 0x0F;
}

// The clock the machine reads: the emulated cycles since start-up at the machine's rate.
double emulatedSeconds() {
    return static_cast<double>(cyclesSinceStart()) / static_cast<double>(kCyclesPerSecond);
}

class Firmware : public testing::Test {
protected:
    // Lays out the working folder (the firmware images, basic.rom only when asked for,
    // `program` as tests/start when given) and starts the machine on the emulated clock.
    void boot(const fs::path& program = {}, bool withBasic = true) {
        // The folder may hold an earlier boot's files.
        for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom", "tests/start"})
            fs::remove(name);
        for (const char* name : {"kernal.rom", "basic.rom", "chargen.rom"}) {
            ASSERT_TRUE(fs::exists(kFirmwareDir / name))
                << kFirmwareDir / name << " has not been built";
            if (withBasic || std::string(name) != "basic.rom")
                writeFile(name, readFileBytes(kFirmwareDir / name));
        }
        if (!program.empty()) {
            ASSERT_TRUE(fs::exists(program)) << program << " has not been built";
            writeFile("tests/start", readFileBytes(program));
        }
        startHeadless(0.0);
        headlessFollowClock(emulatedSeconds);
        frameHashes.clear();
    }

    // Runs until the clock has moved on by `seconds`, keeping a hash of the page after
    // every frame. A run of a few steps draws at most one frame, at its end.
    void runSeconds(double seconds) {
        uint64_t until = cyclesSinceStart() +
                         static_cast<uint64_t>(seconds * static_cast<double>(kCyclesPerSecond));
        while (cyclesSinceStart() < until) {
            uint64_t frames = machine.loop.framesDrawn;
            runSteps(kStepsPerRun);
            if (machine.loop.framesDrawn != frames) frameHashes.push_back(pageHash());
        }
    }

    // Runs until `frames` more frames have been drawn; the last one's interrupt has just
    // been raised.
    static void runFrames(uint64_t frames) {
        uint64_t until = machine.loop.framesDrawn + frames;
        while (machine.loop.framesDrawn < until) runSteps(kStepsPerRun);
    }

    // Single steps until `done` holds; false when it did not within `limit` steps.
    static bool runUntil(const std::function<bool()>& done, uint64_t limit = 2'000'000) {
        for (uint64_t step = 0; step < limit && !done(); ++step) runSteps(1);
        return done();
    }

    // Single steps until the test hook has fired; returns regPC before the step that fired it.
    static uint16_t runUntilHook() {
        uint16_t pcBefore = 0;
        bool fired = runUntil([&] {
            if (!machine.loop.testProgramLoaded) pcBefore = cpu.regPC;
            return machine.loop.testProgramLoaded;
        });
        EXPECT_TRUE(fired) << "the test hook never fired";
        return pcBefore;
    }

    // Until the processor waits in the input loop outside the interrupt handler.
    static void runUntilIdle() {
        EXPECT_TRUE(runUntil([] { return inInputLoop() && cpu.regS >= kStackAfterStart; }))
            << "never came back to the input loop, PC " << std::hex << cpu.regPC;
    }

    // FNV-1a over the page's pixels.
    static uint64_t pageHash() {
        constexpr uint64_t kFnvOffset = 14695981039346656037u;
        constexpr uint64_t kFnvPrime = 1099511628211u;
        uint64_t hash = kFnvOffset;
        for (std::size_t i = 0; i < std::size_t{kWindowWidth} * kWindowHeight; ++i) {
            hash = (hash ^ framebuffer[i]) * kFnvPrime;
        }
        return hash;
    }

    TemporaryFolder folder;
    std::vector<uint64_t> frameHashes;  // the page after every frame of runSeconds
};

// ---- start-up and the test hook

TEST_F(Firmware, BannerIsOnScreenWhenTheHookFiresInTheInputLoop) {
    boot(kProgramDir / "brk.prg");
    uint16_t pcBefore = runUntilHook();
    EXPECT_GE(pcBefore, kInputLoop);
    EXPECT_LT(pcBefore, kInputLoopEnd);
    EXPECT_EQ(cpu.regS, kStackAfterStart);
    EXPECT_EQ(wordAt(0x0100 + kStackAfterStart + 1), kInputLoop - 1)
        << "RTS leads back into the loop";
    EXPECT_EQ(cpu.regP & kFlagI, 0);
    EXPECT_EQ(screenRowText(1).substr(0, kTitle.size()), kTitle);
    EXPECT_EQ(cellColour(1, 2), 7) << "the title is yellow";
    EXPECT_EQ(cellColour(3, 2), 13) << "the rest light green";
    EXPECT_EQ(memory.ram[kBackgroundColour] & 0x0F, 0);
    EXPECT_EQ(memory.ram[kCursorBlinkSwitch], 0) << "the cursor blinks";
    EXPECT_EQ(memory.ram[kKeyboardColumnSelect], 0xFF) << "no keyboard column selected";
    EXPECT_EQ(memory.ram[0xC000], 0xA9) << "the program is in RAM";
}

TEST_F(Firmware, BannerShowsWhetherTheBasicImageIsBankedIn) {
    struct Row {
        const char* what;
        bool withBasic;
        uint8_t port;  // the processor port the firmware starts with
        std::string line3;
        std::string line4;
    };
    // clang-format off
    const Row rows[] = {
        {"BASIC image present", true, kPortAtPowerUp, kFreeMemory, kHint},
        {"no basic.rom", false, kPortAtPowerUp, kNoBasic, ""},
        {"image present but banked out", true, kPortAtPowerUp & ~kPortBasic, kNoBasic, ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        boot({}, row.withBasic);
        memory.ram[0x0001] = row.port;
        runUntilHook();
        EXPECT_EQ(screenRowText(1).substr(0, kTitle.size()), kTitle);
        EXPECT_EQ(screenRowText(3), padded(row.line3));
        EXPECT_EQ(screenRowText(4), padded(row.line4));
    }
}

TEST_F(Firmware, MissingTestProgramLeavesTheFirmwareInItsInputLoop) {
    boot();
    runUntilHook();
    // Nothing is loaded and execution carries on in the input loop; a status line says why.
    EXPECT_TRUE(inInputLoop()) << std::hex << cpu.regPC;
    EXPECT_EQ(headlessStatusLines().back(), "tests/start: program file not found, nothing loaded");
    runFrames(5);
    runUntilIdle();
    EXPECT_TRUE(rowStartsWith(1, kTitle)) << "the banner stays";
}

TEST_F(Firmware, DemoShowsItsScreenAfterTheBanner) {
    boot(kDemoProgram);
    runUntilHook();
    EXPECT_TRUE(rowStartsWith(1, kTitle));
    EXPECT_EQ(cpu.regPC, 0x0801) << "the demo's first instruction ran in the hook's step";
    runFrames(10);
    EXPECT_EQ(screenRowText(1), padded("      Breadbin open firmware demo"));
    EXPECT_TRUE(rowStartsWith(4, " Frames $"));
    EXPECT_TRUE(rowStartsWith(24, " Escape ends the run."));
    EXPECT_EQ(screenCode(0, 0), kReverseSpace) << "the rainbow bars";
}

// ---- the frame interrupt

TEST_F(Firmware, InterruptRunsALittleUnderFiftyTimesAnEmulatedSecond) {
    boot(kProgramDir / "brk.prg");
    runUntilHook();
    // Start-up runs with I set, so a frame drawn before it ends is not counted.
    EXPECT_EQ(frameCount(), 0u);
    uint64_t framesBefore = machine.loop.framesDrawn;
    constexpr double kSeconds = 10;
    runSeconds(kSeconds);
    // A frame comes when the clock, in whole ms, passes the deadline set 20 ms after the
    // last frame: 20 to 22 ms apart, 21 on average.
    EXPECT_GT(frameCount(), kSeconds * 1000 / 22);
    EXPECT_LT(frameCount(), kSeconds * 1000 / 20);
    EXPECT_NEAR(frameCount(), kSeconds * 1000 / 21, 5);
    EXPECT_EQ(frameCount(), machine.loop.framesDrawn - framesBefore)
        << "every later frame was taken";
}

TEST_F(Firmware, FrameCounterCarriesAcrossItsBytes) {
    struct Row {
        uint32_t before;
        uint32_t after;
    };
    const Row rows[] = {
        {0x0000FF, 0x000100}, {0x00FFFF, 0x010000}, {0xFFFFFF, 0x000000}, {0x12345, 0x12346}};
    boot(kProgramDir / "brk.prg");
    runUntilHook();
    runUntilIdle();
    for (const Row& row : rows) {
        memory.ram[kJiffyClock + 2] = static_cast<uint8_t>(row.before);
        memory.ram[kJiffyClock + 1] = static_cast<uint8_t>(row.before >> 8);
        memory.ram[kJiffyClock] = static_cast<uint8_t>(row.before >> 16);
        runFrames(1);
        runUntilIdle();
        EXPECT_EQ(frameCount(), row.after) << std::hex << row.before;
    }
}

// The scan selects column 0 for one instruction, keeps the stub's row byte and
// deselects again; over many frames every value the stub can give turns up. The
// program meanwhile runs with the character ROM banked in, and the interrupt gives
// back its registers and its port untouched.
TEST_F(Firmware, KeyboardScanKeepsTheStubsRowBytes) {
    boot(kProgramDir / "irqregs.prg");
    runUntilHook();
    std::set<uint8_t> rows;
    for (int frame = 0; frame < 400; ++frame) {
        runFrames(1);
        EXPECT_TRUE(runUntil([] { return cpu.regPC >= 0xC000 && cpu.regS >= kStackAfterStart; }))
            << "the interrupt handler did not return to the program";
        rows.insert(memory.ram[kKeyRow]);
        EXPECT_EQ(memory.ram[kKeyboardColumnSelect], 0xFF);
    }
    EXPECT_EQ(rows, (std::set<uint8_t>{0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}));
    EXPECT_EQ(memory.ram[0x0001], 0xE3) << "the program's port, put back after the scan";
    EXPECT_EQ(memory.ram[kResults], 0) << "a register changed under the program";
}

TEST_F(Firmware, CursorBlinksSixteenFramesOnSixteenOffAndFollowsTheCursor) {
    boot(kProgramDir / "brk.prg");
    runUntilHook();
    runUntilIdle();
    ASSERT_EQ(memory.ram[kCursorRow], 6) << "the banner leaves the cursor on row 6";
    ASSERT_EQ(memory.ram[kCursorColumn], 0);
    const uint16_t home = kScreenMatrix + 6 * kScreenColumns;
    int shown = 0;
    for (int frame = 0; frame < 64; ++frame) {
        runFrames(1);
        runUntilIdle();
        bool phaseOn = (frameCount() & kBlinkPhase) != 0;
        EXPECT_EQ(memory.ram[home], phaseOn ? kReverseSpace : kSpace) << "frame " << frameCount();
        shown += phaseOn;
    }
    EXPECT_EQ(shown, 32);

    while ((frameCount() & kBlinkPhase) == 0) runFrames(1);
    runUntilIdle();
    ASSERT_EQ(memory.ram[home], kReverseSpace);
    memory.ram[kCursorColumn] = 5;  // a program moves the cursor
    runFrames(1);
    runUntilIdle();
    EXPECT_EQ(memory.ram[home], kSpace) << "the old cell is put back";
    EXPECT_EQ(memory.ram[home + 5], kReverseSpace);
    memory.ram[home + 5] = 1;  // and writes into the reversed cell
    memory.ram[kCursorBlinkSwitch] = 1;
    runFrames(1);
    runUntilIdle();
    EXPECT_EQ(memory.ram[home + 5], 1) << "a cell written while reversed stays as written";
}

// ---- BRK, RTS and the jump table

TEST_F(Firmware, BrkIsReportedOnTheBottomRowAndTheProgramCarriesOn) {
    boot(kProgramDir / "brk.prg");
    runUntilHook();
    runUntilIdle();
    EXPECT_EQ(memory.ram[kResults], 0x11);
    EXPECT_EQ(memory.ram[kResults + 1], 0x22);
    EXPECT_EQ(memory.ram[kResults + 2], 0x33);
    EXPECT_EQ(wordAt(kBrkAddress), 0xC006);
    EXPECT_EQ(memory.ram[kBrkCount], 1);
    EXPECT_TRUE(rowStartsWith(24, "BRK at $C006 "));
    EXPECT_EQ(cellColour(24, 0), 10) << "in light red";
}

// After its RTS the program is not run again: the processor stays in the KERNAL (the
// input loop and the interrupt handler) while the frames go on.
TEST_F(Firmware, ProgramEndingWithRtsReturnsIntoTheInputLoopForGood) {
    boot(kProgramDir / "brk.prg");
    runUntilHook();
    runUntilIdle();
    EXPECT_EQ(cpu.regS, 0xFF) << "the return address has been used";
    uint32_t framesBefore = frameCount();
    memory.ram[kResults] = 0;
    bool left = false;
    for (int step = 0; step < 200000 && !left; ++step) {
        runSteps(1);
        left = cpu.regPC < 0xE000;
    }
    EXPECT_FALSE(left) << "PC " << std::hex << cpu.regPC;
    EXPECT_EQ(memory.ram[kResults], 0) << "the program ran again";
    EXPECT_GT(frameCount(), framesBefore + 5);
}

TEST_F(Firmware, JumpTableRoutinesPrintAndKeepXAndY) {
    boot(kProgramDir / "routines.prg");
    runUntilHook();
    runUntilIdle();
    EXPECT_EQ(memory.ram[kResults], 0) << "X or Y changed by a routine";
    EXPECT_EQ(screenRowText(0), padded("Hello, world"));
    EXPECT_TRUE(rowStartsWith(1, "3C@ "));
    EXPECT_TRUE(rowStartsWith(2, "0 9 10 65535 38912 1000 "));
    EXPECT_EQ(screenRowText(3).substr(36), "abcd") << "printing wraps after column 39";
    EXPECT_TRUE(rowStartsWith(4, "efg "));
    EXPECT_TRUE(rowStartsWith(5, "next "));
    int wrongColours = 0;
    for (int cell = 0; cell < kScreenCells; ++cell) {
        wrongColours += (memory.ram[kColourMemory + cell] & 0x0F) != 7;
    }
    EXPECT_EQ(wrongColours, 0) << "clearScreen and every print use textColour";
}

TEST_F(Firmware, PrintingPastTheLastRowScrollsTheScreenAndItsColours) {
    boot(kProgramDir / "scroll.prg");
    runUntilHook();
    runUntilIdle();
    // Two scrolls: rows C-Y moved up to 0-22, "12" ends row 22, "3" then "4" below it.
    for (int row = 0; row < 23; ++row) {
        EXPECT_EQ(screenRowText(row).substr(0, 38), std::string(38, static_cast<char>('C' + row)))
            << row;
    }
    EXPECT_EQ(screenRowText(22).substr(38), "12");
    EXPECT_EQ(screenRowText(23), padded("3"));
    EXPECT_TRUE(rowStartsWith(24, "4 "));
    EXPECT_EQ(cellColour(22, 38), 3) << "the cyan 1 moved with its colour";
    EXPECT_EQ(cellColour(22, 37), 13);
}

TEST_F(Firmware, PrintDecimalBanksBasicInForTheCallOnly) {
    struct Row {
        const char* what;
        bool withBasic;
        std::string printed;
    };
    // clang-format off
    const Row rows[] = {
        {"with the BASIC image", true, "1234 "},
        {"without it, in hex", false, "$04D2 "},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        boot(kProgramDir / "hidden.prg", row.withBasic);
        runUntilHook();
        runUntilIdle();
        EXPECT_TRUE(rowStartsWith(0, row.printed)) << screenRowText(0);
        EXPECT_EQ(memory.ram[kResults], 0xE6) << "the program's port, BASIC out, is back";
    }
}

// ---- the screen editor behind CHROUT

constexpr uint16_t kChroutDone = 0xC0FE;
constexpr uint16_t kChroutCount = 0xC0FF;
constexpr uint16_t kChroutText = 0xC100;
constexpr uint8_t kStartColour = 13;

Bytes times(int count, uint8_t code) { return Bytes(static_cast<std::size_t>(count), code); }
Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Cells {
    int row;
    int column;
    Bytes codes;  // screen codes from there on
};
struct CellColour {
    int row;
    int column;
    uint8_t colour;
};
struct EditorCase {
    const char* what;
    Bytes printed;  // PETSCII, after a clear screen
    std::vector<Cells> cells;
    std::vector<CellColour> colours;
    int cursorRow;
    int cursorColumn;
    std::vector<std::pair<uint16_t, uint8_t>> memory = {};
};

TEST_F(Firmware, ChroutDrivesTheScreenEditor) {
    constexpr uint8_t kReturn = 13, kShiftReturn = 141, kClear = 147, kHome = 19, kDown = 17,
                      kUp = 145, kRight = 29, kLeft = 157, kDelete = 20, kInsert = 148,
                      kReverseOn = 18, kReverseOff = 146, kRed = 28, kQuote = 34;
    const Bytes colourCodes = {144, 5,   28,  159, 156, 30,  31,  158,
                               129, 149, 150, 151, 152, 153, 154, 155};
    Bytes everyColour;
    for (uint8_t code : colourCodes) everyColour.insert(everyColour.end(), {code, 'X'});
    std::vector<CellColour> colourPerCell;
    for (int colour = 0; colour < 16; ++colour)
        colourPerCell.push_back({0, colour, static_cast<uint8_t>(colour)});
    const Bytes fortyA = times(40, 'A');

    // clang-format off
    const std::vector<EditorCase> cases = {
        {"every printable range to its screen codes",
         {0x20, 0x3F, 0x40, 0x5F, 0x60, 0x7F, 0xA0, 0xBF, 0xC0, 0xDF, 0xE0, 0xFE, 0xFF},
         {{0, 0, {0x20, 0x3F, 0x00, 0x1F, 0x40, 0x5F, 0x60, 0x7F, 0x40, 0x5F, 0x60, 0x7E, 0x5E}}},
         {{0, 0, kStartColour}, {0, 12, kStartColour}}, 0, 13},
        {"reverse on and off", {kReverseOn, 'A', kReverseOff, 'B'}, {{0, 0, {0x81, 0x02}}}, {}, 0, 2},
        {"RETURN ends reverse video", {kReverseOn, 'A', kReturn, 'B'}, {{0, 0, {0x81}}, {1, 0, {0x02}}}, {}, 1, 1},
        {"shifted RETURN", {'A', kShiftReturn, 'B'}, {{1, 0, {0x02}}}, {}, 1, 1},
        {"the sixteen colour codes", everyColour, {{0, 0, times(16, 24)}}, colourPerCell, 0, 16},
        {"wrap after column 39", join({fortyA, {'B'}}), {{0, 0, times(40, 1)}, {1, 0, {2, 32}}}, {}, 1, 1},
        {"home", {'A', 'B', kHome, 'C'}, {{0, 0, {3, 2}}}, {}, 0, 1},
        {"right and down", {kRight, kRight, kDown, 'A'}, {{1, 0, {32, 32, 1}}}, {}, 1, 3},
        {"up stays on row 0", {kUp, 'A'}, {{0, 0, {1}}}, {}, 0, 1},
        {"left from column 0 to the row above", {kDown, kLeft, 'A'}, {{0, 39, {1}}}, {}, 1, 0},
        {"left stays in the top left corner", {kLeft, 'A'}, {{0, 0, {1}}}, {}, 0, 1},
        {"right from column 39 to the next row", join({times(40, kRight), {'A'}}), {{1, 0, {1}}}, {}, 1, 1},
        {"delete closes the row up with its colours",
         {'A', 'B', kRed, 'C', kLeft, kLeft, kDelete},
         {{0, 0, {2, 3, 32}}}, {{0, 0, kStartColour}, {0, 1, 2}, {0, 39, 2}}, 0, 0},
        {"delete in column 0 blanks the end of the row above",
         join({fortyA, {kDelete}}), {{0, 37, {1, 1, 32}}}, {}, 0, 39},
        {"delete in the top left corner does nothing", {kDelete, 'A'}, {{0, 0, {1, 32}}}, {}, 0, 1},
        {"insert opens a cell at the cursor", {'A', 'C', kLeft, kInsert, 'B'}, {{0, 0, {1, 2, 3}}}, {}, 0, 2},
        {"insert in a full row moves nothing",
         join({fortyA, {kUp, kInsert, 'B'}}), {{0, 0, {2, 1}}, {0, 39, {1}}}, {}, 0, 1},
        {"an opened cell takes a control code as a symbol",
         {'X', kLeft, kInsert, kClear}, {{0, 0, {0xD3, 24}}}, {}, 0, 1},
        {"inside quotes control codes print as symbols",
         {kQuote, kClear, kDown, kQuote, kDown, 'A'},
         {{0, 0, {34, 0xD3, 0x91, 34}}, {1, 4, {1}}}, {}, 1, 5},
        {"delete still deletes inside quotes", {kQuote, 'A', kDelete}, {{0, 0, {34, 32}}}, {}, 0, 1},
        {"clear blanks the screen in the current colour",
         {'A', kRed, kClear}, {{0, 0, {32}}, {24, 39, {32}}}, {{0, 0, 2}, {24, 39, 2}}, 0, 0},
        {"RETURN on the last row scrolls screen and colours",
         join({{'T'}, times(24, kDown), {kRed, 'A', kReturn}}),
         {{23, 0, {32, 1}}, {24, 0, {32, 32}}, {0, 0, {32}}}, {{23, 1, 2}, {24, 1, 2}}, 24, 0},
        // Start-up sets $D018 to $14 (the screen at $0400, the upper-case glyphs); the
        // case codes set and clear its bit 1.
        {"lower case, then upper case again", {14}, {}, {}, 0, 0, {{0xD018, 0x16}}},
        {"upper case", {14, 142}, {}, {}, 0, 0, {{0xD018, 0x14}}},
        {"case switch locked and unlocked", {8}, {}, {}, 0, 0, {{0x0291, 0x80}}},
        {"case switch unlocked", {8, 9}, {}, {}, 0, 0, {{0x0291, 0x00}}},
        {"other control codes do nothing", {1, 2, 3, 7, 10, 'A'}, {{0, 0, {1, 32}}}, {}, 0, 1},
    };
    // clang-format on
    for (const EditorCase& c : cases) {
        SCOPED_TRACE(c.what);
        boot(kProgramDir / "chrout.prg");
        Bytes printed = join({{kClear}, c.printed});
        ASSERT_LE(printed.size(), 255u);
        memory.ram[kChroutCount] = static_cast<uint8_t>(printed.size());
        std::copy(printed.begin(), printed.end(), memory.ram + kChroutText);
        ASSERT_TRUE(runUntil([] { return memory.ram[kChroutDone] != 0; }));
        for (const Cells& cells : c.cells) {
            for (std::size_t i = 0; i < cells.codes.size(); ++i) {
                EXPECT_EQ(screenCode(cells.row, cells.column + static_cast<int>(i)), cells.codes[i])
                    << "row " << cells.row << " column " << cells.column + i;
            }
        }
        for (const CellColour& cell : c.colours) {
            EXPECT_EQ(cellColour(cell.row, cell.column), cell.colour)
                << "colour of row " << cell.row << " column " << cell.column;
        }
        EXPECT_EQ(memory.ram[kCursorRow], c.cursorRow);
        EXPECT_EQ(memory.ram[kCursorColumn], c.cursorColumn);
        for (auto [address, value] : c.memory) {
            EXPECT_EQ(memory.ram[address], value) << std::hex << address;
        }
    }
}

// Printing into the cell the blink has reversed, here a reversed space onto a space
// shown reversed: the blink must not put the old cell back when it moves on.
TEST_F(Firmware, ACellPrintedUnderTheBlinkingCursorKeepsWhatWasPrinted) {
    constexpr uint16_t kKeepBlink = 0xC0FD;
    const Bytes printed = {18, ' ', 146};  // reverse on, space, reverse off
    boot(kProgramDir / "chrout.prg");
    memory.ram[kKeepBlink] = 1;
    memory.ram[kChroutCount] = static_cast<uint8_t>(printed.size());
    std::copy(printed.begin(), printed.end(), memory.ram + kChroutText);
    ASSERT_TRUE(runUntil([] { return memory.ram[kChroutDone] != 0; }));
    // The banner leaves the cursor at row 6, column 0, where the space went.
    EXPECT_EQ(screenCode(6, 0), kReverseSpace);
    runFrames(40);  // the blink shows and hides the cursor at column 1 meanwhile
    EXPECT_EQ(screenCode(6, 0), kReverseSpace) << "the printed cell was put back as a space";
}

// ---- the demo over a longer run, and the same run twice

TEST_F(Firmware, DemoKeepsItsUptimeHistoryAndTallyForTwentySeconds) {
    boot(kDemoProgram);
    runSeconds(20);
    EXPECT_TRUE(machine.loop.testProgramLoaded);
    EXPECT_GT(frameCount(), 900u);
    // The uptime counts the frame interval for every frame from the demo's start, a frame
    // or two after reset, in whole seconds and the milliseconds towards the next one.
    int framesCounted =
        (wordAt(kDemoSeconds) * 1000 + wordAt(kDemoTickMs)) / static_cast<int>(kFrameIntervalMs);
    EXPECT_LE(framesCounted, static_cast<int>(frameCount()));
    EXPECT_GE(framesCounted, static_cast<int>(frameCount()) - 3);
    for (char c : screenRowText(kDemoHistoryRow)) {
        EXPECT_NE(std::string("01234567-").find(c), std::string::npos)
            << "history cell '" << c << "'";
    }
    for (int bar = 0; bar < kDemoBars; ++bar) {
        for (int column = kDemoBarColumn; column < kDemoBarColumn + kDemoBarWidth; ++column) {
            uint8_t code = screenCode(kDemoFirstBarRow + bar, column);
            EXPECT_TRUE(code == kReverseSpace || code == '.')
                << "bar " << bar << " column " << column;
        }
    }
    EXPECT_TRUE(rowStartsWith(24, " Escape ends the run."));
}

TEST_F(Firmware, SameRunTwiceGivesTheSameFramesAndMemory) {
    boot(kDemoProgram);
    runSeconds(3);
    std::vector<uint64_t> firstFrames = frameHashes;
    auto firstMemory = std::make_unique<MemoryMap>(memory);
    CpuState firstCpu = cpu;
    uint64_t firstCycles = cyclesSinceStart();

    boot(kDemoProgram);
    runSeconds(3);
    EXPECT_GT(firstFrames.size(), 100u);
    EXPECT_EQ(frameHashes, firstFrames);
    EXPECT_EQ(std::memcmp(memory.ram, firstMemory->ram, sizeof memory.ram), 0);
    EXPECT_EQ(cpu.regPC, firstCpu.regPC);
    EXPECT_EQ(cpu.regA, firstCpu.regA);
    EXPECT_EQ(cpu.regS, firstCpu.regS);
    EXPECT_EQ(cyclesSinceStart(), firstCycles);
}

}  // namespace
