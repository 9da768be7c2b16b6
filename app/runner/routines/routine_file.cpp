#include "app/runner/routines/routine_file.h"

#include <fnmatch.h>
#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <span>

#include "app/runner/batch/sharding.h"
#include "app/runner/io/input_file.h"
#include "app/runner/io/text.h"
#include "cpu/state.h"
#include "machine/c64.h"

namespace {

constexpr std::string_view kRegisterKeys[kTestRegisterCount] = {
#define BREADBIN_REGISTER_KEY(key, shown, flag) #key,
    BREADBIN_TEST_REGISTERS(BREADBIN_REGISTER_KEY)
#undef BREADBIN_REGISTER_KEY
};
constexpr std::string_view kRegisterNames[kTestRegisterCount] = {
#define BREADBIN_REGISTER_NAME(key, shown, flag) shown,
    BREADBIN_TEST_REGISTERS(BREADBIN_REGISTER_NAME)
#undef BREADBIN_REGISTER_NAME
};
constexpr uint8_t kFlagMasks[kTestRegisterCount] = {
#define BREADBIN_REGISTER_FLAG(key, shown, flag) flag,
    BREADBIN_TEST_REGISTERS(BREADBIN_REGISTER_FLAG)
#undef BREADBIN_REGISTER_FLAG
};

// What a problem in the file is: its line, the key, and what is wrong. Thrown inside the
// reader and turned into one line of `error` at its edge.
struct Problem {
    uint32_t line;
    std::string key;
    std::string what;
};

enum class Encoding : uint8_t { Petscii, Screen, Ascii };

[[noreturn]] void fail(const toml::node& node, const std::string& key, std::string what) {
    throw Problem{node.source().begin.line, key, std::move(what)};
}

std::string joined(const std::string& table, std::string_view key) {
    return table.empty() ? std::string(key) : table + "." + std::string(key);
}

const toml::table& asTable(const toml::node& node, const std::string& key) {
    if (!node.is_table()) fail(node, key, "must be a table");
    return *node.as_table();
}

std::string asString(const toml::node& node, const std::string& key) {
    if (!node.is_string()) fail(node, key, "must be a string");
    return node.as_string()->get();
}

bool asBool(const toml::node& node, const std::string& key) {
    if (!node.is_boolean()) fail(node, key, "must be true or false");
    return node.as_boolean()->get();
}

uint64_t asNumber(const toml::node& node, const std::string& key, uint64_t min, uint64_t max) {
    if (!node.is_integer()) fail(node, key, "must be a whole number");
    int64_t value = node.as_integer()->get();
    if (value < 0 || static_cast<uint64_t>(value) < min || static_cast<uint64_t>(value) > max)
        fail(node, key,
             std::to_string(value) + " is out of range (" + std::to_string(min) + " to " +
                 std::to_string(max) + ")");
    return static_cast<uint64_t>(value);
}

uint16_t asAddress(const toml::node& node, const std::string& key, const LabelTable& labels) {
    if (node.is_integer()) return static_cast<uint16_t>(asNumber(node, key, 0, 0xFFFF));
    std::string problem;
    uint16_t address = 0;
    if (!parseAddress(asString(node, key), labels, address, problem)) fail(node, key, problem);
    return address;
}

// A character of a string in the file's encoding, or -1 where it has none.
int encodedByte(int32_t codePoint, Encoding encoding) {
    if (encoding == Encoding::Ascii) return codePoint < 0x80 ? codePoint : -1;
    int petscii = petsciiOf(codePoint);
    if (petscii < 0 || encoding == Encoding::Petscii) return petscii;
    return petscii >= 0x40 ? petscii - 0x40 : petscii;  // screen codes
}

std::vector<uint8_t> asBytes(const toml::node& node, const std::string& key, Encoding encoding) {
    std::vector<uint8_t> bytes;
    if (node.is_integer()) {
        bytes.push_back(static_cast<uint8_t>(asNumber(node, key, 0, 0xFF)));
    } else if (node.is_array()) {
        for (const toml::node& element : *node.as_array())
            bytes.push_back(static_cast<uint8_t>(asNumber(element, key, 0, 0xFF)));
        if (bytes.empty()) fail(node, key, "an empty array holds no bytes");
    } else if (node.is_string()) {
        std::string text = node.as_string()->get();
        for (std::size_t at = 0; at < text.size();) {
            int byte = encodedByte(nextCodePoint(text, at), encoding);
            if (byte < 0)
                fail(node, key,
                     quotedValue(text, '"') + " holds a character without a code in this encoding");
            bytes.push_back(static_cast<uint8_t>(byte));
        }
        if (bytes.empty()) fail(node, key, "an empty string holds no bytes");
    } else {
        fail(node, key, "must be a byte, an array of bytes or a string");
    }
    return bytes;
}

int registerIndex(std::string_view key) {
    auto found = std::find(std::begin(kRegisterKeys), std::end(kRegisterKeys), key);
    return found == std::end(kRegisterKeys) ? -1 : static_cast<int>(found - kRegisterKeys);
}

void readRegister(const toml::node& node, const std::string& key, int index,
                  const LabelTable& labels, RegisterValues& values) {
    if (kFlagMasks[index] != 0) {
        values[index] = asBool(node, key) ? 1 : 0;
    } else if (static_cast<TestRegister>(index) == TestRegister::pc) {
        values[index] = asAddress(node, key, labels);
    } else {
        values[index] = static_cast<uint16_t>(asNumber(node, key, 0, 0xFF));
    }
}

struct Context {
    const LabelTable& labels;
    Encoding encoding;
};

// The layers a test is read from: [defaults] first, then the test, whose keys win.
using Layers = std::vector<const toml::table*>;

const toml::node* lastOf(const Layers& layers, std::string_view key) {
    const toml::node* found = nullptr;
    for (const toml::table* layer : layers) {
        if (const toml::node* node = layer->get(key)) found = node;
    }
    return found;
}

// The entries of a table key over the layers, a later layer's entry replacing an
// earlier one of the same name; in the order of the keys' names.
std::map<std::string, std::pair<const toml::node*, std::string>> entriesOf(const Layers& layers,
                                                                           std::string_view key) {
    std::map<std::string, std::pair<const toml::node*, std::string>> entries;
    for (const toml::table* layer : layers) {
        const toml::node* node = layer->get(key);
        if (!node) continue;
        for (const auto& [name, value] : asTable(*node, std::string(key)))
            entries[std::string(name.str())] = {&value, joined(std::string(key), name.str())};
    }
    return entries;
}

// cc65's C calls: the stack pointer of its software stack (a zero-page word), and the
// symbols ld65 gives the end of the program's RAM, where cc65's start-up puts the stack.
constexpr std::string_view kCStackPointer = "sp";
constexpr std::string_view kCStackStart = "__MAIN_START__";
constexpr std::string_view kCStackSize = "__MAIN_SIZE__";
constexpr std::string_view kReturnKey = "return";
constexpr std::string_view kCharKey = "char";

// A C value of an argument or a return: an int (-32768 to 65535, two bytes), a label's
// address (a pointer, two bytes), or { char = N } (-128 to 255, one byte); low byte first.
struct CValue {
    std::vector<uint8_t> bytes;
};
CValue readCValue(const toml::node& node, const std::string& key, const Context& context) {
    auto signedValue = [&](const toml::node& number, int64_t min, int64_t max) {
        if (!number.is_integer()) fail(number, key, "must be a whole number");
        int64_t value = number.as_integer()->get();
        if (value < min || value > max)
            fail(number, key,
                 std::to_string(value) + " is out of range (" + std::to_string(min) + " to " +
                     std::to_string(max) + ")");
        return static_cast<uint16_t>(value);
    };
    if (node.is_table()) {
        const toml::table& table = *node.as_table();
        const toml::node* byte = table.get(kCharKey);
        if (!byte || table.size() != 1) fail(node, key, "a table here is { char = N }");
        return {{static_cast<uint8_t>(signedValue(*byte, -128, 0xFF))}};
    }
    uint16_t word =
        node.is_string() ? asAddress(node, key, context.labels) : signedValue(node, -32768, 0xFFFF);
    return {{static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)}};
}

// args = [...]: a C function's arguments as cc65 passes them. The last goes in A (and X,
// its high byte); the others are pushed in order onto the software stack, which grows
// down from the end of the program's RAM, the first at the top, each low byte first; sp
// then points at the last pushed. The callee pops them.
void readCArguments(const toml::node& node, const Context& context, TestCase& test) {
    if (!node.is_array()) fail(node, "args", "must be an array of the C function's arguments");
    std::vector<CValue> values;
    for (const toml::node& element : *node.as_array())
        values.push_back(readCValue(element, "args", context));
    if (values.empty()) return;
    auto label = [&](std::string_view name) -> uint16_t {
        auto found = context.labels.byName.find(name);
        if (found == context.labels.byName.end())
            fail(node, "args",
                 "no label " + quotedValue(name, '"') +
                     " for cc65's stack (give ld65's -Ln labels as debug-info)");
        return found->second;
    };
    uint16_t pointer = label(kCStackPointer);
    uint32_t top = uint32_t{label(kCStackStart)} + label(kCStackSize);
    std::vector<uint8_t> stack;  // from sp up
    for (std::size_t i = values.size() - 1; i-- > 0;)
        stack.insert(stack.end(), values[i].bytes.begin(), values[i].bytes.end());
    if (top > 0x10000 || stack.size() > top) fail(node, "args", "cc65's stack lies past $FFFF");
    auto stackPointer = static_cast<uint16_t>(top - stack.size());
    const CValue& last = values.back();
    test.setRegisters[static_cast<int>(TestRegister::a)] = last.bytes[0];
    if (last.bytes.size() > 1) test.setRegisters[static_cast<int>(TestRegister::x)] = last.bytes[1];
    test.setMemory.push_back(
        {std::string(kCStackPointer),
         pointer,
         {static_cast<uint8_t>(stackPointer & 0xFF), static_cast<uint8_t>(stackPointer >> 8)}});
    if (!stack.empty()) test.setMemory.push_back({"args", stackPointer, std::move(stack)});
}

// One of expect.sid's keys: a register's name (Volume, Control1, as chips.inc has them
// after "sid") or its address ($D418, or a mirror), and its byte.
SidExpectation sidExpectation(std::string_view reg, const toml::node& value,
                              const std::string& key) {
    SidExpectation expected{std::string(reg), 0, 0};
    constexpr std::pair<std::string_view, uint8_t> kNames[] = {
#define BREADBIN_SID_NAME(name, offset) {#name, offset},
        BREADBIN_SID_REGISTERS(BREADBIN_SID_NAME)
#undef BREADBIN_SID_NAME
    };
    auto named = std::find_if(std::begin(kNames), std::end(kNames),
                              [&](const auto& row) { return row.first == reg; });
    uint64_t address = 0;
    if (named != std::end(kNames)) {
        expected.reg = named->second;
    } else if (parseNumber(reg, 0xFFFF, address) && address >= kSidFirst &&
               address < kColourRamFirst) {
        expected.reg = static_cast<uint8_t>(address & kSidRegisterMask);
    } else {
        fail(value, key, "neither a SID register's name (Volume, Control1, ...) nor its address");
    }
    if (expected.reg >= kSidRegisterCount) fail(value, key, "no SID register there");
    expected.value = static_cast<uint8_t>(asNumber(value, key, 0, 0xFF));
    return expected;
}

void readValues(const Layers& layers, std::string_view table, const Context& context,
                RegisterValues& registers, std::vector<MemoryBytes>& memory, bool expecting,
                TestCase& test) {
    for (const auto& [name, entry] : entriesOf(layers, table)) {
        const auto& [node, key] = entry;
        int index = registerIndex(name);
        if (index >= 0) {
            if (!expecting && static_cast<TestRegister>(index) == TestRegister::pc)
                fail(*node, key, "the test starts where call or run says");
            readRegister(*node, key, index, context.labels, registers);
        } else if (expecting && name == "cycles") {
            if (node->is_integer()) {
                test.expectCycles = {CycleComparison::Equal,
                                     asNumber(*node, key, 0, kMaxTestCycles)};
                continue;
            }
            std::string text = asString(*node, key);
            constexpr std::pair<std::string_view, CycleComparison> kBounds[] = {
                {"<=", CycleComparison::AtMost},
                {">=", CycleComparison::AtLeast},
                {"<", CycleComparison::Below},
                {">", CycleComparison::Above},
                {"==", CycleComparison::Equal}};
            std::string_view rest = text;
            auto bound = std::find_if(std::begin(kBounds), std::end(kBounds),
                                      [&](const auto& b) { return rest.starts_with(b.first); });
            uint64_t cycles = 0;
            if (bound != std::end(kBounds)) rest.remove_prefix(bound->first.size());
            while (rest.starts_with(' ')) rest.remove_prefix(1);
            if (bound == std::end(kBounds) || !parseNumber(rest, kMaxTestCycles, cycles))
                fail(*node, key,
                     quotedValue(text, '"') + " is neither a number nor a bound such as \"<= 40\"");
            test.expectCycles = {bound->second, cycles};
        } else if (expecting && name == kReturnKey) {
            CValue value = readCValue(*node, key, context);
            bool word = value.bytes.size() > 1;
            test.expectReturn = {
                static_cast<uint16_t>(value.bytes[0] | (word ? value.bytes[1] << 8 : 0)), word};
        } else if (expecting && name == "sid") {
            for (const auto& [reg, value] : asTable(*node, key))
                test.expectSid.push_back(sidExpectation(reg.str(), value, joined(key, reg.str())));
        } else if (expecting && name == "calls") {
            for (const auto& [mock, count] : asTable(*node, key)) {
                std::string countKey = joined(key, mock.str());
                test.expectCalls.emplace_back(std::string(mock.str()),
                                              asNumber(count, countKey, 0, kMaxTestCycles));
            }
        } else {
            uint16_t address = 0;
            std::string problem;
            if (!parseAddress(name, context.labels, address, problem))
                fail(*node, key, "neither a register, a flag nor memory: " + problem);
            std::vector<uint8_t> bytes = asBytes(*node, key, context.encoding);
            if (address + bytes.size() > 0x10000) fail(*node, key, "the bytes run past $FFFF");
            memory.push_back({name, address, std::move(bytes)});
        }
    }
}

constexpr std::string_view kTestKeys[] = {"name", "call", "run",    "set",   "expect", "max-cycles",
                                          "irq",  "mock", "writes", "input", "args"};

void checkKeys(const toml::table& table, const std::string& where,
               std::span<const std::string_view> allowed) {
    for (const auto& [key, value] : table) {
        if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end())
            fail(value, joined(where, key.str()), "unknown key");
    }
}

TestCase readTest(const Layers& layers, const toml::table& own, const Context& context) {
    TestCase test;
    test.line = static_cast<int>(own.source().begin.line);
    const toml::node* name = own.get("name");
    if (!name) fail(own, "test", "has no name");
    test.name = asString(*name, "name");
    const toml::node* call = lastOf(layers, "call");
    const toml::node* run = lastOf(layers, "run");
    if (own.get("call") && own.get("run")) fail(own, "test", "has both call and run");
    if (own.get("run")) call = nullptr;
    if (own.get("call")) run = nullptr;
    if (!call && !run) fail(own, "test", quotedValue(test.name, '"') + " has neither call nor run");
    test.runToExit = run != nullptr;
    test.entry = asAddress(run ? *run : *call, run ? "run" : "call", context.labels);
    readValues(layers, "set", context, test.setRegisters, test.setMemory, false, test);
    if (const toml::node* args = lastOf(layers, "args")) readCArguments(*args, context, test);
    readValues(layers, "expect", context, test.expectRegisters, test.expectMemory, true, test);
    test.maxCycles = kDefaultTestCycles;
    if (const toml::node* limit = lastOf(layers, "max-cycles"))
        test.maxCycles = asNumber(*limit, "max-cycles", 1, kMaxTestCycles);
    if (const toml::node* irq = lastOf(layers, "irq")) test.irq = asBool(*irq, "irq");
    if (const toml::node* input = lastOf(layers, "input")) {
        std::string error;
        if (!parseInputScript(asString(*input, "input"), "input", test.input, error))
            fail(*input, "input", error);
    }
    for (const auto& [mockName, entry] : entriesOf(layers, "mock")) {
        const auto& [node, key] = entry;
        Mock mock;
        mock.name = mockName;
        std::string problem;
        if (!parseAddress(mockName, context.labels, mock.address, problem))
            fail(*node, key, problem);
        for (const auto& [reg, value] : asTable(*node, key)) {
            std::string regKey = joined(key, reg.str());
            int index = registerIndex(reg.str());
            if (index < 0 || static_cast<TestRegister>(index) == TestRegister::pc)
                fail(value, regKey, "a mock sets registers and flags only");
            readRegister(value, regKey, index, context.labels, mock.registers);
        }
        test.mocks.push_back(std::move(mock));
    }
    for (const auto& [mockName, count] : test.expectCalls) {
        if (std::none_of(test.mocks.begin(), test.mocks.end(),
                         [&, &wanted = mockName](const Mock& m) { return m.name == wanted; }))
            fail(*lastOf(layers, "expect"), "expect.calls." + mockName,
                 "no such mock in this test");
    }
    if (const toml::node* writes = lastOf(layers, "writes")) {
        if (!writes->is_array()) fail(*writes, "writes", "must be an array of ADDR or ADDR:LEN");
        test.writes.emplace();
        for (const toml::node& element : *writes->as_array()) {
            std::string text = asString(element, "writes");
            MemoryRange range{};
            std::string problem;
            bool ranged = text.find(':') != std::string::npos;
            if (!parseMemoryRange(ranged ? text : text + ":1", range, context.labels, &problem))
                fail(element, "writes", problem);
            test.writes->push_back(range);
        }
    }
    return test;
}

// The values of a key that takes one value or an array of them: none when it is absent.
std::vector<const toml::node*> oneOrMany(const toml::table& root, const char* key) {
    std::vector<const toml::node*> values;
    const toml::node* node = root.get(key);
    if (node && node->is_array()) {
        for (const toml::node& element : *node->as_array()) values.push_back(&element);
    } else if (node) {
        values.push_back(node);
    }
    return values;
}

// A key that names one of `rows` (`what` says what they are), as the option of its name.
// A name of digits may be written as a number (cpu = 6510, cia = 8521).
template <class Value, std::size_t N>
void readChoice(const toml::table& root, const char* key, const char* what,
                const NamedChoice<Value> (&rows)[N], std::optional<Value>& chosen) {
    const toml::node* node = root.get(key);
    if (!node) return;
    std::string name =
        node->is_integer() ? std::to_string(node->as_integer()->get()) : asString(*node, key);
    chosen = choiceNamed(rows, name);
    if (!chosen)
        fail(*node, key, quotedValue(name, '"') + " is not " + what + " (as --" + key + ")");
}

void readFileKeys(const toml::table& root, const std::string& path, TestFile& file,
                  const MapFileReader& readFile) {
    constexpr std::string_view kFileKeys[] = {
        "program",  "labels",   "debug-info", "dir",    "machine",        "cpu", "cia", "video",
        "encoding", "defaults", "test",       "drives", "drives-writable"};
    checkKeys(root, "", kFileKeys);
    const toml::node* program = root.get("program");
    if (!program) fail(root, "program", "missing: the program file the tests run against");
    file.program = relativeTo(path, asString(*program, "program"));
    if (const toml::node* dir = root.get("dir"))
        file.romDir = relativeTo(path, asString(*dir, "dir"));
    readChoice(root, "machine", "a machine", kMachineKinds, file.machine);
    readChoice(root, "cpu", "a processor model", kCpuModels, file.cpu);
    readChoice(root, "cia", "a CIA model", kCiaModels, file.cia);
    readChoice(root, "video", "a video standard", kVideoStandards, file.video);
    // Drives as the options give them, a relative path from the test file's folder.
    for (auto [key, writable] : {std::pair{"drives", false}, std::pair{"drives-writable", true}}) {
        for (const toml::node* drive : oneOrMany(root, key)) {
            DriveMount mount;
            std::string problem =
                readDriveMount(asString(*drive, key), writable, file.drives, mount, path);
            if (!problem.empty()) fail(*drive, key, problem);
            file.drives.push_back(mount);
        }
    }
    // Label files first, as on the command line: a file name or a list of them.
    for (const char* key : {"labels", "debug-info"}) {
        for (const toml::node* name : oneOrMany(root, key)) {
            std::string error;
            if (!readFile(key, relativeTo(path, asString(*name, key)), file.map, error))
                fail(*name, key, error);
        }
    }
    Encoding encoding = Encoding::Petscii;
    if (const toml::node* node = root.get("encoding")) {
        std::string name = asString(*node, "encoding");
        if (name == "petscii") {
            encoding = Encoding::Petscii;
        } else if (name == "screen") {
            encoding = Encoding::Screen;
        } else if (name == "ascii") {
            encoding = Encoding::Ascii;
        } else {
            fail(*node, "encoding", quotedValue(name, '"') + " is not petscii, screen or ascii");
        }
    }
    Context context{file.map.labels, encoding};
    Layers layers;
    if (const toml::node* defaults = root.get("defaults")) {
        const toml::table& table = asTable(*defaults, "defaults");
        checkKeys(table, "defaults", std::span(kTestKeys).subspan(1));
        layers.push_back(&table);
    }
    const toml::node* tests = root.get("test");
    if (!tests) fail(root, "test", "no [[test]] in the file");
    if (!tests->is_array_of_tables()) fail(*tests, "test", "must be [[test]] tables");
    for (const toml::node& element : *tests->as_array()) {
        const toml::table& table = *element.as_table();
        checkKeys(table, "test", kTestKeys);
        layers.push_back(&table);
        file.tests.push_back(readTest(layers, table, context));
        layers.pop_back();
    }
}

// The line on which the nesting of `text`, read as TOML, first goes deeper than
// kMaxTestFileNesting levels; 0 when it never does. Outside strings and comments each
// bracket or brace opens a level, and each dot between two parts of a key another, on top
// of the levels of the table header the key lies under. A dot in a number counts too: a
// value holds at most one, so the count errs by a level at most, far below the limit.
uint32_t tooDeeplyNestedLine(std::string_view text) {
    uint32_t line = 1;
    int brackets = 0;      // open [ and { around this point
    int headerLevels = 0;  // the levels of the last [table] header
    int dots = 0;          // dots since the last = , [ { ] } or line end
    bool inHeader = false;
    bool lineStart = true;  // nothing but blanks on this line so far
    for (std::size_t at = 0; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"' || c == '\'') {
            // A string, skipped to its end with its line ends counted; in a basic string a
            // backslash takes the next character along.
            std::string_view end(c == '"' ? "\"\"\"" : "'''");
            if (!text.substr(at).starts_with(end)) end = end.substr(0, 1);
            for (at += end.size(); at < text.size() && !text.substr(at).starts_with(end); ++at) {
                if (text[at] == '\n') {
                    ++line;
                    if (end.size() == 1) break;  // a one-line string ends with its line
                }
                if (c == '"' && text[at] == '\\' && at + 1 < text.size())
                    line += text[++at] == '\n';  // the escaped character, a line end or not
            }
            if (at < text.size() && text[at] == '\n') {
                lineStart = true;
                dots = 0;
            } else {
                at += end.size() - 1;
                lineStart = false;
            }
            continue;
        }
        if (c == '#') {
            at = text.find('\n', at);
            if (at == std::string_view::npos) break;
            c = '\n';
        }
        switch (c) {
            case '\n':
                ++line;
                dots = 0;
                lineStart = true;
                continue;
            case '[':
            case '{':
                if (c == '[' && lineStart && brackets == 0) inHeader = true;
                ++brackets;
                if (!inHeader) dots = 0;
                break;
            case ']':
            case '}':
                brackets = std::max(brackets - 1, 0);
                if (inHeader && brackets == 0) {
                    inHeader = false;
                    headerLevels = dots + 1;
                }
                dots = 0;
                break;
            case '=':
            case ',': dots = 0; break;
            case '.': ++dots; break;
            default: break;
        }
        if (c != ' ' && c != '\t' && c != '\r') lineStart = false;
        int levels = brackets + dots + 1 + (inHeader ? 0 : headerLevels);
        if (levels > kMaxTestFileNesting) return line;
    }
    return 0;
}

}  // namespace

std::string_view registerName(TestRegister which) {
    return kRegisterNames[static_cast<int>(which)];
}

uint8_t flagMask(TestRegister which) { return kFlagMasks[static_cast<int>(which)]; }

bool readMapFile(std::string_view key, const std::string& path, SourceMap& map,
                 std::string& error) {
    return key == "labels" ? readLabelFile(path, map.labels, error)
                           : readDebugInfoFile(path, map, error);
}

bool readTestFile(std::string_view text, const std::string& path, const SourceMap& map,
                  TestFile& file, std::string& error, const MapFileReader& readFile) {
    file = TestFile{};
    file.path = path;
    file.map = map;
    if (uint32_t line = tooDeeplyNestedLine(text)) {
        error = path + ":" + std::to_string(line) + ": nested more than " +
                std::to_string(kMaxTestFileNesting) + " levels deep";
        return false;
    }
    try {
        toml::table root = toml::parse(text, path);
        readFileKeys(root, path, file, readFile);
    } catch (const toml::parse_error& problem) {
        // What the reader saw is quoted as it came, control characters and all.
        error = path + ":" + std::to_string(problem.source().begin.line) + ": " +
                terminalText(cutValue(problem.description(), kLibraryMessageBytes));
        return false;
    } catch (const Problem& problem) {
        error = path + ":" + std::to_string(problem.line) + ": " +
                terminalText(cutValue(problem.key) + ": " + problem.what);
        return false;
    }
    return true;
}

bool nameMatches(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

bool expandTestFiles(const std::vector<std::string>& paths, std::vector<std::string>& files,
                     std::string& error) {
    namespace fs = std::filesystem;
    for (const std::string& path : paths) {
        std::error_code problem;
        if (!fs::is_directory(path, problem)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(path, problem)) {
            if (entry.path().extension() == ".toml" && !entry.is_directory(problem))
                found.push_back(entry.path().string());
        }
        if (problem) {
            error = "cannot read the folder " + path + ": " + problem.message();
            return false;
        }
        if (found.empty()) {
            error = path + " holds no test file (*.toml)";
            return false;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return true;
}

TestFileToRun readTestFileToRun(const RunnerOptions& options, const std::string& path) {
    TestFileToRun read;
    read.file.path = path;
    std::string text;
    std::string error;
    if (!readTextFile(path, text, error) ||
        !readTestFile(text, path, options.map, read.file, error)) {
        read.failure = badInput(path, error);
        return read;
    }
    if (!options.filter.empty()) {
        std::erase_if(read.file.tests, [&](const TestCase& test) {
            return !nameMatches(options.filter, test.name);
        });
    }
    return read;
}

void keepShareOfTests(std::vector<TestFileToRun>& files, const Shard& shard) {
    struct Entry {
        std::size_t file, test;
    };
    std::vector<Entry> entries;
    for (std::size_t f = 0; f < files.size(); ++f) {
        std::size_t count = files[f].failure ? 1 : files[f].file.tests.size();
        for (std::size_t t = 0; t < count; ++t) entries.push_back({f, t});
    }
    // Entries are made in order of file and place, so a stable sort by path alone keeps
    // the tests of a file in their order.
    std::vector<bool> taken = shardTakes(
        entries.size(),
        [&](std::size_t a, std::size_t b) {
            return files[entries[a].file].file.path < files[entries[b].file].file.path;
        },
        shard);
    std::vector<std::vector<bool>> keep(files.size());
    for (std::size_t e = 0; e < entries.size(); ++e) keep[entries[e].file].push_back(taken[e]);
    std::vector<TestFileToRun> share;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::vector<bool>& keeps = keep[f];
        if (keeps.empty() ? shard.index != 1
                          : std::find(keeps.begin(), keeps.end(), true) == keeps.end())
            continue;
        TestFileToRun& read = files[f];
        if (!read.failure) {
            std::vector<TestCase> tests;
            for (std::size_t t = 0; t < keeps.size(); ++t) {
                if (keeps[t]) tests.push_back(std::move(read.file.tests[t]));
            }
            read.file.tests = std::move(tests);
        }
        share.push_back(std::move(read));
    }
    files = std::move(share);
}
