#include "app/runner/cli/input_script.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "app/runner/io/text.h"

namespace {

// Names for keys that the key table names otherwise, or that are a key with SHIFT: the
// names on the keys' caps for their shifted meaning.
struct KeyAlias {
    std::string_view name;
    std::string_view key;
    bool shifted;
};
constexpr KeyAlias kInputKeyAliases[] = {
    {"SHIFT", "LeftShift", false},
    {"C=", "Commodore", false},
    {"CBM", "Commodore", false},
    {"DEL", "Delete", false},
    {"INST", "Delete", true},
    {"CLR", "Home", true},
    {"UP", "Down", true},
    {"LEFT", "Right", true},
    {"RUN", "Stop", true},
    {"F2", "F1", true},
    {"F4", "F3", true},
    {"F6", "F5", true},
    {"F8", "F7", true},
};

uint8_t keyNamed(std::string_view name) { return *keyByName(name); }

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool sameWord(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

// The keys that type character `c` on the machine's keyboard: its key, with SHIFT where the
// character is the key's shifted one; letters of either case unshifted.
std::optional<std::vector<uint8_t>> keysForCharacter(char c) {
    if (c == '\n') return std::vector<uint8_t>{keyNamed("Return")};
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code >= 0x60) return std::nullopt;
    for (const MatrixKey& key : kMatrixKeyTable) {
        if (key.plain == code) return std::vector<uint8_t>{keyCode(key.column, key.row)};
    }
    for (const MatrixKey& key : kMatrixKeyTable) {
        if (key.shifted == code)
            return std::vector<uint8_t>{keyNamed("LeftShift"), keyCode(key.column, key.row)};
    }
    return std::nullopt;
}

// The keys of one name: the key table's, an alias's, or a character's.
std::optional<std::vector<uint8_t>> keysForName(std::string_view name) {
    for (const KeyAlias& alias : kInputKeyAliases) {
        if (!sameWord(alias.name, name)) continue;
        std::vector<uint8_t> keys{keyNamed(alias.key)};
        if (alias.shifted) keys.insert(keys.begin(), keyNamed("LeftShift"));
        return keys;
    }
    if (std::optional<uint8_t> key = keyByName(name)) return std::vector<uint8_t>{*key};
    if (name.size() == 1) return keysForCharacter(name[0]);
    return std::nullopt;
}

// Reads KEY+KEY... into `stroke` (the '+' key is written Plus); RESTORE alone.
bool parseChord(std::string_view text, Stroke& stroke, std::string& error) {
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t plus = text.find('+', at);
        std::string_view name =
            text.substr(at, plus == std::string_view::npos ? text.npos : plus - at);
        if (sameWord(name, "RESTORE")) {
            stroke.restore = true;
        } else if (std::optional<std::vector<uint8_t>> keys = keysForName(name)) {
            for (uint8_t key : *keys) {
                if (std::find(stroke.keys.begin(), stroke.keys.end(), key) == stroke.keys.end())
                    stroke.keys.push_back(key);
            }
        } else {
            error = "unknown key " + quotedValue(name);
            return false;
        }
        if (plus == std::string_view::npos) break;
        at = plus + 1;
    }
    if (stroke.restore && !stroke.keys.empty()) {
        error = "RESTORE is not in the keyboard matrix: it takes no other key with it";
        return false;
    }
    return true;
}

// The words of a line, split at blanks.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        std::size_t end = at;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
        if (end > at) out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

// "frame"/"frames" or "cycle"/"cycles" with a count before it.
bool parseTime(std::string_view count, std::string_view unit, InputTime& time, std::string& error) {
    std::string u = lower(unit);
    if (u == "frame" || u == "frames") {
        time.frames = true;
    } else if (u == "cycle" || u == "cycles") {
        time.frames = false;
    } else {
        error = "expected frames or cycles, not " + quotedValue(unit);
        return false;
    }
    if (!parseNumber(count, kMaxInputTime, time.count)) {
        error = quotedValue(count) + " is not a number of " + u;
        return false;
    }
    return true;
}

bool parseJoystick(std::string_view text, uint8_t& lines, std::string& error) {
    static constexpr std::pair<std::string_view, uint8_t> kLines[] = {
        {"up", kJoystickUp},       {"down", kJoystickDown}, {"left", kJoystickLeft},
        {"right", kJoystickRight}, {"fire", kJoystickFire}, {"none", 0}};
    lines = 0;
    std::size_t at = 0;
    for (;;) {
        std::size_t plus = text.find('+', at);
        std::string_view name = text.substr(at, plus == text.npos ? text.npos : plus - at);
        auto line = std::find_if(std::begin(kLines), std::end(kLines),
                                 [&](const auto& row) { return sameWord(row.first, name); });
        if (line == std::end(kLines)) {
            error = "unknown joystick line " + quotedValue(name) +
                    " (up, down, left, right, fire, none)";
            return false;
        }
        lines |= line->second;
        if (plus == text.npos) return true;
        at = plus + 1;
    }
}

// The action of a line after its time: `rest` its words, `line` the whole for type's text.
bool parseAction(std::string_view line, const std::vector<std::string_view>& rest, InputStep& step,
                 std::string& error) {
    std::string verb = lower(rest[0]);
    auto holdFrom = [&](std::size_t at) {
        if (rest.size() == at) return true;
        if (rest.size() != at + 3 || lower(rest[at]) != "for") {
            error = "expected 'for N frames' or 'for N cycles' after " + quotedValue(rest[at - 1]);
            return false;
        }
        return parseTime(rest[at + 1], rest[at + 2], step.hold, error);
    };
    if (verb == "type") {
        std::size_t first = line.find('"');
        std::size_t last = line.rfind('"');
        if (first == line.npos || last == first) {
            error = "type takes its text between double quotes";
            return false;
        }
        return parseTypedText(line.substr(first + 1, last - first - 1), step.at, step, error);
    }
    if (verb == "press" || verb == "down" || verb == "up") {
        if (rest.size() < 2) {
            error = verb + " needs a key";
            return false;
        }
        Stroke stroke;
        if (!parseChord(rest[1], stroke, error)) return false;
        step.kind = verb == "press"
                        ? (stroke.restore ? InputStep::Kind::Restore : InputStep::Kind::Strokes)
                    : verb == "down" ? InputStep::Kind::Down
                                     : InputStep::Kind::Up;
        if (stroke.restore && step.kind != InputStep::Kind::Restore) {
            error = "RESTORE is pressed, never held: write 'restore'";
            return false;
        }
        step.strokes = {stroke};
        if (verb != "press") {
            if (rest.size() == 2) return true;
            error = "unexpected " + quotedValue(rest[2]);
            return false;
        }
        return holdFrom(2);
    }
    if (verb == "joy1" || verb == "joy2") {
        if (rest.size() < 2) {
            error = verb + " needs its lines (up+fire, none, ...)";
            return false;
        }
        step.kind = InputStep::Kind::Joystick;
        step.port = verb == "joy1" ? 1 : 2;
        if (!parseJoystick(rest[1], step.lines, error)) return false;
        step.releaseAfter = rest.size() > 2;
        return holdFrom(2);
    }
    if (verb == "restore" && rest.size() == 1) {
        step.kind = InputStep::Kind::Restore;
        return true;
    }
    error =
        "unknown action " + quotedValue(rest[0]) + " (type, press, down, up, joy1, joy2, restore)";
    return false;
}

bool parseLine(std::string_view line, InputStep& step, std::string& error) {
    std::vector<std::string_view> all = words(line);
    std::size_t at = !all.empty() && sameWord(all[0], "at") ? 1 : 0;
    if (all.size() < at + 3) {
        error = "expected 'frame N' or 'cycle N' and an action";
        return false;
    }
    if (!parseTime(all[at + 1], all[at], step.at, error)) return false;
    std::vector<std::string_view> rest(all.begin() + static_cast<std::ptrdiff_t>(at + 2),
                                       all.end());
    return parseAction(line, rest, step, error);
}

}  // namespace

bool parseTypedText(std::string_view text, InputTime at, InputStep& step, std::string& error) {
    step.kind = InputStep::Kind::Strokes;
    step.at = at;
    step.strokes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        Stroke stroke;
        if (text[i] == '{') {
            std::size_t close = text.find('}', i + 1);
            if (close == text.npos) {
                error = "a '{' without its '}' in " + quotedValue(text);
                return false;
            }
            if (!parseChord(text.substr(i + 1, close - i - 1), stroke, error)) return false;
            i = close;
        } else if (std::optional<std::vector<uint8_t>> keys = keysForCharacter(text[i])) {
            stroke.keys = *keys;
        } else {
            error = "the keyboard has no key for " + quotedValue(text.substr(i, 1)) +
                    ": name the key in braces, as {SHIFT+A}";
            return false;
        }
        step.strokes.push_back(stroke);
    }
    return true;
}

bool parseInputScript(std::string_view text, std::string_view origin, InputSteps& steps,
                      std::string& error) {
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        std::string_view line = text.substr(at, end == text.npos ? text.npos : end - at);
        at = end == text.npos ? text.size() : end + 1;
        ++lineNumber;
        std::size_t lastQuote = line.rfind('"');
        std::size_t hash = line.find('#', lastQuote == line.npos ? 0 : lastQuote);
        if (hash != line.npos) line = line.substr(0, hash);
        if (words(line).empty()) continue;
        InputStep step;
        if (!parseLine(line, step, error)) {
            error = std::string(origin) + " line " + std::to_string(lineNumber) + ": " + error;
            return false;
        }
        steps.push_back(std::move(step));
    }
    return true;
}

InputScript layOutInput(const InputSteps& steps, uint64_t start, uint64_t frameCycles) {
    auto cycles = [&](InputTime t) { return t.frames ? t.count * frameCycles : t.count; };
    InputScript script;
    auto add = [&](uint64_t cycle, InputAction action, uint8_t key, uint8_t port = 0,
                   uint8_t lines = 0) {
        script.push_back(
            {.cycle = cycle, .action = action, .key = key, .port = port, .joystick = lines});
    };
    for (const InputStep& step : steps) {
        uint64_t t = start + cycles(step.at);
        switch (step.kind) {
            case InputStep::Kind::Strokes:
                for (const Stroke& stroke : step.strokes) {
                    if (stroke.restore) add(t, InputAction::Restore, 0);
                    for (uint8_t key : stroke.keys) add(t, InputAction::KeyDown, key);
                    for (uint8_t key : stroke.keys)
                        add(t + cycles(step.hold), InputAction::KeyUp, key);
                    t += cycles(step.hold) + cycles(step.gap);
                }
                break;
            case InputStep::Kind::Down:
            case InputStep::Kind::Up: {
                InputAction action =
                    step.kind == InputStep::Kind::Down ? InputAction::KeyDown : InputAction::KeyUp;
                for (uint8_t key : step.strokes[0].keys) add(t, action, key);
                break;
            }
            case InputStep::Kind::Joystick:
                add(t, InputAction::Joystick, 0, step.port, step.lines);
                if (step.releaseAfter)
                    add(t + cycles(step.hold), InputAction::Joystick, 0, step.port, 0);
                break;
            case InputStep::Kind::Restore: add(t, InputAction::Restore, 0); break;
        }
    }
    std::stable_sort(script.begin(), script.end(),
                     [](const InputEvent& a, const InputEvent& b) { return a.cycle < b.cycle; });
    return script;
}
