#include "app/runner/cli/addresses.h"

#include "app/runner/io/text.h"

bool parseAddress(std::string_view text, const LabelTable& labels, uint16_t& address,
                  std::string& error) {
    uint64_t value = 0;
    if (parseNumber(text, 0xFFFF, value)) {
        address = static_cast<uint16_t>(value);
        return true;
    }
    std::size_t plus = text.find('+');
    std::string_view name = text.substr(0, plus);
    uint64_t offset = 0;
    if (plus != std::string_view::npos && !parseNumber(text.substr(plus + 1), 0xFFFF, offset)) {
        error = quotedValue(text) + ": the offset after '+' is not a number";
        return false;
    }
    if (!isLabelName(name)) {
        error = quotedValue(text) +
                " is neither an address ($hex, 0xhex or decimal, to $FFFF) nor a label";
        return false;
    }
    auto found = labels.byName.find(name);
    if (found == labels.byName.end()) {
        error = "no label " + quotedValue(name) +
                (labels.byName.empty() ? " (no label file given)" : "");
        return false;
    }
    if (found->second + offset > 0xFFFF) {
        error = quotedValue(text) + " lies past $FFFF";
        return false;
    }
    address = static_cast<uint16_t>(found->second + offset);
    return true;
}

namespace {

// Reads ADDR, `separator` and a number up to `max`; `why` says what is wrong otherwise.
bool parseAddressAndNumber(std::string_view text, char separator, uint64_t max,
                           const LabelTable& labels, uint16_t& address, uint64_t& number,
                           std::string& why) {
    std::size_t at = text.find(separator);
    return at != std::string_view::npos && parseAddress(text.substr(0, at), labels, address, why) &&
           parseNumber(text.substr(at + 1), max, number);
}

}  // namespace

bool parseMemoryRange(std::string_view text, MemoryRange& range, const LabelTable& labels,
                      std::string* problem) {
    std::string why = quotedValue(text) + " is not ADDR:LEN within $0000-$FFFF";
    uint16_t address = 0;
    uint64_t length = 0;
    if (!parseAddressAndNumber(text, ':', 0x10000, labels, address, length, why) || length == 0 ||
        address + length > 0x10000) {
        if (problem) *problem = why;
        return false;
    }
    range = {address, static_cast<uint32_t>(length)};
    return true;
}

bool parseExpectation(std::string_view text, MemoryExpectation& expectation,
                      const LabelTable& labels, std::string* problem) {
    std::string why = quotedValue(text) + " is not ADDR=BYTE (address to $FFFF, byte to $FF)";
    uint16_t address = 0;
    uint64_t value = 0;
    if (!parseAddressAndNumber(text, '=', 0xFF, labels, address, value, why)) {
        if (problem) *problem = why;
        return false;
    }
    expectation = {address, static_cast<uint8_t>(value)};
    return true;
}
