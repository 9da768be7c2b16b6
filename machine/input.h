// What a person does to the C64 from outside: the keys of the keyboard matrix, the two
// joysticks and RESTORE, held and released on a schedule (an input script) that the
// machine follows cycle by cycle.
//
// The matrix sits between CIA 1's two ports: port A's lines are the columns, port B's the
// rows, and a key down joins its column to its row, so that a line driven low on one side
// reads low on the other (either way round). A joystick pulls the lines of its port low
// directly: port 2 on port A, port 1 on port B, beside the keyboard's lines. RESTORE is not
// in the matrix: it pulls the NMI line low for a moment, beside CIA 2's output.
//
// Modelled: every key of the matrix, SHIFT LOCK as LEFT SHIFT, a line low on one side
// pulling the lines of every key down on it low on the other (so a column driven low reads
// its keys on the rows, and rows driven low read on the columns); both joysticks' four
// directions and fire; RESTORE's edge on NMI (none while CIA 2 holds the line low). Left out:
// the ghost keys that three keys at the corners of a rectangle make (one level of the matrix
// is looked at), the light pen that joystick 1's fire triggers, paddles.
//
// Time by events: the script is a list of events in cycle order; the state at a cycle is
// the script applied up to it (advanceInput), which a read of CIA 1's ports first brings up
// to date, and the loop ends a leg at the next event, so that RESTORE's edge is seen at its
// cycle.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

// The keys of the matrix, one row each: name, column (the port A line), row (the port B
// line), and the character the machine's keyboard gives for it plain, with SHIFT, with C=
// and with CTRL (kNoCharacter: none; the firmware's decoding tables are written from
// these columns, firmware/tools/make_chips_inc.cpp).
// clang-format off
#define BREADBIN_KEYS(X)                                                  \
    X(Delete,      0, 0, 0x14, 0x94, 0x94, 0xFF) /* INST/DEL */           \
    X(Return,      0, 1, 0x0D, 0x8D, 0x8D, 0xFF)                          \
    X(Right,       0, 2, 0x1D, 0x9D, 0x9D, 0xFF) /* CRSR right/left */    \
    X(F7,          0, 3, 0x88, 0x8C, 0x8C, 0xFF)                          \
    X(F1,          0, 4, 0x85, 0x89, 0x89, 0xFF)                          \
    X(F3,          0, 5, 0x86, 0x8A, 0x8A, 0xFF)                          \
    X(F5,          0, 6, 0x87, 0x8B, 0x8B, 0xFF)                          \
    X(Down,        0, 7, 0x11, 0x91, 0x91, 0xFF) /* CRSR down/up */       \
    X(3,           1, 0, 0x33, 0x23, 0x96, 0x1C)                          \
    X(W,           1, 1, 0x57, 0xD7, 0xB3, 0x17)                          \
    X(A,           1, 2, 0x41, 0xC1, 0xB0, 0x01)                          \
    X(4,           1, 3, 0x34, 0x24, 0x97, 0x9F)                          \
    X(Z,           1, 4, 0x5A, 0xDA, 0xAD, 0x1A)                          \
    X(S,           1, 5, 0x53, 0xD3, 0xAE, 0x13)                          \
    X(E,           1, 6, 0x45, 0xC5, 0xB1, 0x05)                          \
    X(LeftShift,   1, 7, 0xFF, 0xFF, 0xFF, 0xFF)                          \
    X(5,           2, 0, 0x35, 0x25, 0x98, 0x9C)                          \
    X(R,           2, 1, 0x52, 0xD2, 0xB2, 0x12)                          \
    X(D,           2, 2, 0x44, 0xC4, 0xAC, 0x04)                          \
    X(6,           2, 3, 0x36, 0x26, 0x99, 0x1E)                          \
    X(C,           2, 4, 0x43, 0xC3, 0xBC, 0x03)                          \
    X(F,           2, 5, 0x46, 0xC6, 0xBB, 0x06)                          \
    X(T,           2, 6, 0x54, 0xD4, 0xA3, 0x14)                          \
    X(X,           2, 7, 0x58, 0xD8, 0xBD, 0x18)                          \
    X(7,           3, 0, 0x37, 0x27, 0x9A, 0x1F)                          \
    X(Y,           3, 1, 0x59, 0xD9, 0xB7, 0x19)                          \
    X(G,           3, 2, 0x47, 0xC7, 0xA5, 0x07)                          \
    X(8,           3, 3, 0x38, 0x28, 0x9B, 0x9E)                          \
    X(B,           3, 4, 0x42, 0xC2, 0xBF, 0x02)                          \
    X(H,           3, 5, 0x48, 0xC8, 0xB4, 0x08)                          \
    X(U,           3, 6, 0x55, 0xD5, 0xB8, 0x15)                          \
    X(V,           3, 7, 0x56, 0xD6, 0xBE, 0x16)                          \
    X(9,           4, 0, 0x39, 0x29, 0x29, 0x12) /* CTRL: reverse on */   \
    X(I,           4, 1, 0x49, 0xC9, 0xA2, 0x09)                          \
    X(J,           4, 2, 0x4A, 0xCA, 0xB5, 0x0A)                          \
    X(0,           4, 3, 0x30, 0x30, 0x30, 0x92) /* CTRL: reverse off */  \
    X(M,           4, 4, 0x4D, 0xCD, 0xA7, 0x0D)                          \
    X(K,           4, 5, 0x4B, 0xCB, 0xA1, 0x0B)                          \
    X(O,           4, 6, 0x4F, 0xCF, 0xB9, 0x0F)                          \
    X(N,           4, 7, 0x4E, 0xCE, 0xAA, 0x0E)                          \
    X(Plus,        5, 0, 0x2B, 0xDB, 0xA6, 0xFF)                          \
    X(P,           5, 1, 0x50, 0xD0, 0xAF, 0x10)                          \
    X(L,           5, 2, 0x4C, 0xCC, 0xB6, 0x0C)                          \
    X(Minus,       5, 3, 0x2D, 0xDD, 0xDC, 0xFF)                          \
    X(Period,      5, 4, 0x2E, 0x3E, 0x3E, 0xFF)                          \
    X(Colon,       5, 5, 0x3A, 0x5B, 0x5B, 0x1B)                          \
    X(At,          5, 6, 0x40, 0xBA, 0xA4, 0xFF)                          \
    X(Comma,       5, 7, 0x2C, 0x3C, 0x3C, 0xFF)                          \
    X(Pound,       6, 0, 0x5C, 0xA9, 0xA8, 0x1C)                          \
    X(Asterisk,    6, 1, 0x2A, 0xC0, 0xDF, 0xFF)                          \
    X(Semicolon,   6, 2, 0x3B, 0x5D, 0x5D, 0x1D)                          \
    X(Home,        6, 3, 0x13, 0x93, 0x93, 0xFF) /* CLR/HOME */           \
    X(RightShift,  6, 4, 0xFF, 0xFF, 0xFF, 0xFF)                          \
    X(Equals,      6, 5, 0x3D, 0x3D, 0x3D, 0x1F)                          \
    X(UpArrow,     6, 6, 0x5E, 0xDE, 0xDE, 0x1E)                          \
    X(Slash,       6, 7, 0x2F, 0x3F, 0x3F, 0xFF)                          \
    X(1,           7, 0, 0x31, 0x21, 0x81, 0x90)                          \
    X(LeftArrow,   7, 1, 0x5F, 0x5F, 0x5F, 0xFF)                          \
    X(Ctrl,        7, 2, 0xFF, 0xFF, 0xFF, 0xFF)                          \
    X(2,           7, 3, 0x32, 0x22, 0x95, 0x05)                          \
    X(Space,       7, 4, 0x20, 0xA0, 0xA0, 0x20)                          \
    X(Commodore,   7, 5, 0xFF, 0xFF, 0xFF, 0xFF) /* C= */                 \
    X(Q,           7, 6, 0x51, 0xD1, 0xAB, 0x11)                          \
    X(Stop,        7, 7, 0x03, 0x83, 0x83, 0xFF) /* RUN/STOP */
// clang-format on

inline constexpr uint8_t kNoCharacter = 0xFF;
inline constexpr int kMatrixColumns = 8;
inline constexpr int kMatrixKeys = 64;
// A key's code as the machine's firmware numbers it: column * 8 + row.
inline constexpr uint8_t keyCode(int column, int row) {
    return static_cast<uint8_t>(column * 8 + row);
}

struct MatrixKey {
    std::string_view name;
    uint8_t column, row;
    uint8_t plain, shifted, commodore, control;
};
inline constexpr MatrixKey kMatrixKeyTable[] = {
#define BREADBIN_KEY_ROW(name, column, row, plain, shifted, commodore, control) \
    {#name, column, row, plain, shifted, commodore, control},
    BREADBIN_KEYS(BREADBIN_KEY_ROW)
#undef BREADBIN_KEY_ROW
};
static_assert(std::size(kMatrixKeyTable) == kMatrixKeys);

// A key by its name in the table (case ignored), or none.
std::optional<uint8_t> keyByName(std::string_view name);

// A joystick's lines, as its port reads them low.
inline constexpr uint8_t kJoystickUp = 0x01;
inline constexpr uint8_t kJoystickDown = 0x02;
inline constexpr uint8_t kJoystickLeft = 0x04;
inline constexpr uint8_t kJoystickRight = 0x08;
inline constexpr uint8_t kJoystickFire = 0x10;
inline constexpr int kJoystickPorts = 2;

// What happens at a cycle: a key goes down or up, a joystick's lines change, RESTORE is
// pressed (its pulse is short: the moment is all that matters).
enum class InputAction : uint8_t { KeyDown, KeyUp, Joystick, Restore };
struct InputEvent {
    uint64_t cycle;
    InputAction action;
    uint8_t key;       // KeyDown, KeyUp: the key code
    uint8_t port;      // Joystick: 1 or 2
    uint8_t joystick;  // Joystick: the lines held, kJoystick* bits
};
// A run's script, in cycle order (events of one cycle in the order given).
using InputScript = std::vector<InputEvent>;

// The machine's side of input: what is held now, and how far the script has been applied.
struct InputState {
    uint8_t columns[kMatrixColumns];    // per column, the rows of the keys down (1 = down)
    uint8_t joysticks[kJoystickPorts];  // port 1, port 2: the lines held (1 = held)
    uint32_t nextEvent;                 // the script's first event not yet applied
    uint64_t restoreAt;                 // the cycle of the last RESTORE press (kNever: none)
};

// How long RESTORE holds the NMI line low: a monostable's pulse of a few milliseconds
// (taken as 2 ms; a fall of CIA 2's output within it makes no edge).
inline constexpr uint64_t kRestorePulseCycles = 2000;

// The script the machine follows (none: nothing is ever pressed). It is the caller's and
// must outlive the run; a snapshot keeps the place in it, not the script.
extern const InputScript* inputScript;

// Nothing held, the script from its start.
InputState resetInput();
// Applies the script's events up to and including cycle `cycle` (a RESTORE press leaves
// its cycle in restoreAt).
void advanceInput(InputState& input, uint64_t cycle);
// The cycle of the script's next event not yet applied (kNever: none).
uint64_t nextInputEvent(const InputState& input);
// What the keyboard and the joysticks pull low on CIA 1's two ports (0 = pulled low),
// given what the ports drive themselves (their pins before the outside pulls them).
struct PortPulls {
    uint8_t a, b;
};
PortPulls inputPulls(const InputState& input, uint8_t drivenA, uint8_t drivenB);
