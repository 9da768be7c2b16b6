#include "machine/input.h"

#include <cctype>

#include "machine/timeline.h"

const InputScript* inputScript = nullptr;

std::optional<uint8_t> keyByName(std::string_view name) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    for (const MatrixKey& key : kMatrixKeyTable) {
        if (same(key.name, name)) return keyCode(key.column, key.row);
    }
    return std::nullopt;
}

InputState resetInput() {
    InputState input{};
    input.restoreAt = kNever;
    return input;
}

void advanceInput(InputState& input, uint64_t cycle) {
    if (!inputScript) return;
    const InputScript& script = *inputScript;
    while (input.nextEvent < script.size() && script[input.nextEvent].cycle <= cycle) {
        const InputEvent& event = script[input.nextEvent++];
        auto rowBit = static_cast<uint8_t>(1u << (event.key & 7));
        uint8_t& column = input.columns[(event.key >> 3) & 7];
        switch (event.action) {
            case InputAction::KeyDown: column |= rowBit; break;
            case InputAction::KeyUp: column &= static_cast<uint8_t>(~rowBit); break;
            case InputAction::Joystick:
                input.joysticks[(event.port - 1) & 1] = event.joystick;
                break;
            case InputAction::Restore: input.restoreAt = event.cycle; break;
        }
    }
}

uint64_t nextInputEvent(const InputState& input) {
    if (!inputScript || input.nextEvent >= inputScript->size()) return kNever;
    return (*inputScript)[input.nextEvent].cycle;
}

PortPulls inputPulls(const InputState& input, uint8_t drivenA, uint8_t drivenB) {
    // The joysticks pull their lines whatever the ports drive; the keys join a column's
    // line and a row's line, so either side's low shows on the other.
    auto lowA = static_cast<uint8_t>(~drivenA | input.joysticks[1]);
    auto lowB = static_cast<uint8_t>(~drivenB | input.joysticks[0]);
    uint8_t pullA = input.joysticks[1];
    uint8_t pullB = input.joysticks[0];
    for (int column = 0; column < kMatrixColumns; ++column) {
        uint8_t rows = input.columns[column];
        if (rows == 0) continue;
        if (lowA & (1u << column)) pullB |= rows;
        if (lowB & rows) pullA |= static_cast<uint8_t>(1u << column);
    }
    return {static_cast<uint8_t>(~pullA), static_cast<uint8_t>(~pullB)};
}
