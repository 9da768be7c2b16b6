// Runs our self-checking 6502 program (test/programs/cpu_selfcheck.asm) on the bare core
// and reads its verdict from memory; and runs the build of it with one case's checks
// turned round, which must fail at exactly that case.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/interpreter.h"

namespace {

// The program's header, as offsets from its load address.
constexpr uint16_t kEndLoopOffset = 3;
constexpr uint16_t kVerdictOffset = 5;
constexpr uint16_t kCaseOffset = 6;
constexpr uint16_t kNameOffset = 8;
constexpr uint16_t kCasesRunOffset = 10;
constexpr uint16_t kCaseTotalOffset = 12;
constexpr uint16_t kInvertedCaseOffset = 14;
constexpr uint16_t kFailedCheckOffset = 16;  // the address a failing check's JSR pushed

constexpr uint8_t kPassed = 'P';
constexpr uint8_t kFailed = 'F';
constexpr uint8_t kAllRam = 0x04;
constexpr uint64_t kChunk = 10'000;
constexpr uint64_t kInstructionLimit = 10'000'000;
constexpr std::size_t kLongestName = 200;
constexpr const char* kInvertedCaseName =
    "LDA (zp),Y with the pointer at $FF takes its high byte from $00";

struct Verdict {
    bool reachedEnd = false;
    uint8_t verdict = 0;
    unsigned caseNumber = 0;
    std::string caseName;
    unsigned casesRun = 0;
    unsigned caseTotal = 0;
    unsigned invertedCase = 0;
    uint16_t failedCheck = 0;  // where the failing check calls `fail`
};

uint16_t ramWord(uint16_t address) {
    return static_cast<uint16_t>(memory.ram[address] |
                                 memory.ram[static_cast<uint16_t>(address + 1)] << 8);
}

std::string ramString(uint16_t address) {
    std::string text;
    while (memory.ram[address] != 0 && text.size() < kLongestName)
        text += static_cast<char>(memory.ram[address++]);
    return text;
}

// Loads a program file (a two-byte load address, then the bytes from it) into an
// otherwise empty machine and returns the load address.
uint16_t loadProgram(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    std::memset(&memory, 0, sizeof memory);
    cpu = CpuState{};
    if (image.size() < 2) {
        ADD_FAILURE() << "cannot read " << path;
        return 0;
    }
    auto at = static_cast<uint16_t>(image[0] | image[1] << 8);
    EXPECT_LE(at + image.size() - 2, kRamSize) << path << " does not fit in memory";
    for (std::size_t i = 2; i < image.size() && at + i - 2 < kRamSize; ++i)
        memory.ram[at + i - 2] = image[i];
    return at;
}

// Runs the program from its load address, in chunks, until it sits in its end loop or
// the instruction limit is spent, and reads the verdict from its header.
Verdict runSelfCheck(const char* path) {
    uint16_t at = loadProgram(path);
    memory.ram[0x0001] = kAllRam;
    cpu.regPC = at;
    uint16_t endLoop = ramWord(at + kEndLoopOffset);
    Verdict v;
    for (uint64_t done = 0; done < kInstructionLimit && !v.reachedEnd; done += kChunk) {
        runInstructions(kChunk);
        v.reachedEnd = cpu.regPC == endLoop;
    }
    v.verdict = memory.ram[at + kVerdictOffset];
    v.caseNumber = ramWord(at + kCaseOffset);
    v.caseName = ramString(ramWord(at + kNameOffset));
    v.casesRun = ramWord(at + kCasesRunOffset);
    v.caseTotal = ramWord(at + kCaseTotalOffset);
    v.invertedCase = ramWord(at + kInvertedCaseOffset);
    v.failedCheck = static_cast<uint16_t>(ramWord(at + kFailedCheckOffset) - 2);
    return v;
}

TEST(SelfCheckProgram, PassesEveryCase) {
    Verdict v = runSelfCheck(CPU_SELFCHECK_IMAGE);
    ASSERT_TRUE(v.reachedEnd) << "no end within " << kInstructionLimit << " instructions; case "
                              << v.caseNumber << " (" << v.caseName << ") was running at $"
                              << std::hex << cpu.regPC;
    EXPECT_EQ(v.verdict, kPassed) << "case " << v.caseNumber << " failed: " << v.caseName
                                  << " (the check at $" << std::hex << v.failedCheck << ")";
    EXPECT_EQ(v.casesRun, v.caseTotal) << "cases were skipped";
    EXPECT_GT(v.caseTotal, 40u);
}

TEST(SelfCheckProgram, ReportsTheCaseWhoseCheckIsInverted) {
    Verdict v = runSelfCheck(CPU_SELFCHECK_INVERTED_IMAGE);
    ASSERT_TRUE(v.reachedEnd) << "no end within " << kInstructionLimit << " instructions";
    EXPECT_EQ(v.verdict, kFailed);
    EXPECT_GT(v.invertedCase, 1u) << "the inverted case should follow cases that pass";
    EXPECT_EQ(v.caseNumber, v.invertedCase);
    EXPECT_EQ(v.caseName, kInvertedCaseName);
    EXPECT_EQ(v.casesRun, v.invertedCase) << "the run must stop at the first failure";
}

}  // namespace
