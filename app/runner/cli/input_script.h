// Input scripts: what a person does to the C64 during a run (--type, --input FILE, a test's
// `input` key), read into steps whose times are counted from the program's start (or the
// routine's call), and laid out on the machine's cycles once its frame is known.
//
// The format, one step a line ('#' starts a comment; words in any case):
//   [at] frame N | cycle N   then one of:
//     type "TEXT"               types TEXT as a person would (see below)
//     press KEY[+KEY...] [for N frames|cycles]   holds the keys together, then lets go
//     down KEY[+KEY...]  /  up KEY[+KEY...]      holds or lets go, until told otherwise
//     joy1|joy2 DIRECTIONS [for N frames|cycles] up, down, left, right, fire joined by +,
//                                                or none; held until changed (or for N)
//     restore                   presses RESTORE (the NMI line)
// TEXT (and --type's value): letters of either case are their keys unshifted, as the
// machine's keyboard types them; digits and signs their keys, shifted where the sign is a
// shifted one ("!" is SHIFT+1); a line end is RETURN; {NAME} or {NAME+NAME} a key or keys
// by name (kInputKeyAliases and the key table's names: {RETURN}, {F1}-{F8}, {UP}, {DOWN},
// {LEFT}, {RIGHT}, {HOME}, {CLR}, {DEL}, {INST}, {STOP}, {SHIFT+A}, {C=+A}, {CTRL+9},
// {RESTORE}). Each key (or keys together) is held kTypeHoldFrames frames, then the keyboard
// is left kTypeGapFrames frames with none down before the next.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine/input.h"

inline constexpr uint64_t kTypeHoldFrames = 2;
inline constexpr uint64_t kTypeGapFrames = 2;
// The largest count of frames or cycles a script takes.
inline constexpr uint64_t kMaxInputTime = uint64_t{1} << 40;

// A time in frames or cycles; laid out on cycles when the frame's length is known.
struct InputTime {
    uint64_t count = 0;
    bool frames = true;
};

// One stroke of typing: keys down together (then up together), or RESTORE.
struct Stroke {
    std::vector<uint8_t> keys;
    bool restore = false;
};

// One scripted step from `at`: strokes one after another (each held `hold`, then `gap`
// with nothing down), keys held or let go, a joystick's lines, or RESTORE.
struct InputStep {
    enum class Kind : uint8_t { Strokes, Down, Up, Joystick, Restore } kind = Kind::Strokes;
    InputTime at;
    std::vector<Stroke> strokes;  // Strokes; Down and Up: the first stroke's keys
    InputTime hold{kTypeHoldFrames, true};
    InputTime gap{kTypeGapFrames, true};
    uint8_t port = 0;           // Joystick: 1 or 2
    uint8_t lines = 0;          // Joystick: kJoystick* bits held
    bool releaseAfter = false;  // Joystick: back to none after `hold`
};
using InputSteps = std::vector<InputStep>;

// Reads `text` typed from `at` (--type TEXT). False with the reason in `error`.
bool parseTypedText(std::string_view text, InputTime at, InputStep& step, std::string& error);
// Reads a script; `origin` names it in errors ("script.txt line 3: ..."). Appends to `steps`.
bool parseInputScript(std::string_view text, std::string_view origin, InputSteps& steps,
                      std::string& error);
// The steps as the machine's events: times from `start`, a frame `frameCycles` long; in
// cycle order, events of one cycle in the order of the steps.
InputScript layOutInput(const InputSteps& steps, uint64_t start, uint64_t frameCycles);
