#include "machine/drive_names.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint8_t kPetsciiLetterFirst = 0x41;  // 'A' as typed, unshifted
constexpr uint8_t kPetsciiLetterLast = 0x5A;
constexpr uint8_t kAsciiPrintableFirst = 0x20;
constexpr uint8_t kAsciiPrintableLast = 0x7E;
constexpr char kEscape = '%';
constexpr std::string_view kHexDigits = "0123456789abcdef";

// The suffixes of a host folder, one per type that has one; the others are PRG.
struct TypeSuffix {
    FileType type;
    std::string_view suffix;
};
constexpr TypeSuffix kTypeSuffixes[] = {
    {FileType::Prg, ".prg"}, {FileType::Seq, ".seq"}, {FileType::Usr, ".usr"}};

// The type letters of a name's options, and the mode letters.
constexpr std::pair<uint8_t, FileType> kTypeLetters[] = {{'P', FileType::Prg},
                                                         {'S', FileType::Seq},
                                                         {'U', FileType::Usr},
                                                         {'R', FileType::Rel},
                                                         {'L', FileType::Rel}};
constexpr std::pair<uint8_t, OpenMode> kModeLetters[] = {{'R', OpenMode::Read},
                                                         {'W', OpenMode::Write},
                                                         {'A', OpenMode::Append},
                                                         {'M', OpenMode::Modify}};

// A byte that a host name holds as itself (letters apart).
bool plainHostByte(uint8_t b) {
    return b >= kAsciiPrintableFirst && b <= kAsciiPrintableLast && b != '/' && b != kEscape &&
           b != '\\' && !std::isalpha(b);
}

int hexValue(char c) {
    std::size_t at =
        kHexDigits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

bool endsWithFolded(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(
        suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

std::span<const uint8_t> nameBytes(const PetsciiName& name) {
    auto end = std::find(name.begin(), name.end(), kNamePad);
    return {name.data(), static_cast<std::size_t>(end - name.begin())};
}

PetsciiName makeName(std::span<const uint8_t> bytes) {
    PetsciiName name;
    name.fill(kNamePad);
    std::copy_n(bytes.begin(), std::min(bytes.size(), kDiskNameLength), name.begin());
    return name;
}

bool nameMatches(std::span<const uint8_t> pattern, const PetsciiName& name) {
    std::span<const uint8_t> bytes = nameBytes(name);
    std::size_t i = 0;
    for (; i < pattern.size(); ++i) {
        if (pattern[i] == '*') return true;
        if (i >= bytes.size()) return false;
        if (pattern[i] != '?' && pattern[i] != bytes[i]) return false;
    }
    return i == bytes.size();
}

bool hasWildcard(std::span<const uint8_t> pattern) {
    return std::any_of(pattern.begin(), pattern.end(),
                       [](uint8_t b) { return b == '*' || b == '?'; });
}

ParsedName parseFileName(std::span<const uint8_t> text) {
    ParsedName parsed;
    std::size_t at = 0;
    if (!text.empty() && text[0] == '$') {
        parsed.directory = true;
        ++at;
    } else if (!text.empty() && text[0] == '#') {
        parsed.buffer = true;
        return parsed;
    } else if (!text.empty() && text[0] == '@') {
        parsed.replace = true;
        ++at;
    }
    // The drive part: digits, then a colon; without a colon the digits are the name's (and
    // for `$` the drive's: `$0` lists drive 0).
    auto colon = std::find(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), ':');
    if (colon != text.end()) {
        bool digits = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at), colon,
                                  [](uint8_t b) { return b >= '0' && b <= '9'; });
        if (!digits) {
            parsed.syntaxError = true;
            return parsed;
        }
        at = static_cast<std::size_t>(colon - text.begin()) + 1;
    } else if (parsed.directory) {
        at = text.size();  // `$` or `$0`: every name
    }
    std::span<const uint8_t> rest = text.subspan(at);
    auto comma = std::find(rest.begin(), rest.end(), ',');
    parsed.name.assign(rest.begin(), comma);
    // The options, by their first letters: one alone is a mode (`,W`) or a type (`,S`);
    // two are a type and a mode (`,S,W`).
    std::vector<uint8_t> options;
    while (comma != rest.end()) {
        auto next = std::find(comma + 1, rest.end(), ',');
        options.push_back(next != comma + 1 ? *(comma + 1) : 0);
        comma = next;
    }
    auto modeOf = [](uint8_t letter) -> std::optional<OpenMode> {
        for (auto [l, mode] : kModeLetters) {
            if (l == letter) return mode;
        }
        return std::nullopt;
    };
    auto typeOf = [](uint8_t letter) -> std::optional<FileType> {
        for (auto [l, type] : kTypeLetters) {
            if (l == letter) return type;
        }
        return std::nullopt;
    };
    if (options.size() == 1) {
        if (auto mode = modeOf(options[0])) {
            parsed.mode = *mode;
        } else if (auto type = typeOf(options[0])) {
            parsed.type = type;
        } else {
            parsed.syntaxError = true;
        }
    } else if (options.size() == 2) {
        parsed.type = typeOf(options[0]);
        auto mode = modeOf(options[1]);
        if (!parsed.type || !mode) parsed.syntaxError = true;
        if (mode) parsed.mode = *mode;
    } else if (options.size() > 2) {
        parsed.syntaxError = true;
    }
    return parsed;
}

std::optional<HostFileName> diskNameOfHostFile(std::string_view hostName) {
    if (hostName.empty() || hostName[0] == '.') return std::nullopt;
    HostFileName result{{}, FileType::Prg};
    for (const TypeSuffix& s : kTypeSuffixes) {
        if (endsWithFolded(hostName, s.suffix) && hostName.size() > s.suffix.size()) {
            result.type = s.type;
            hostName.remove_suffix(s.suffix.size());
            break;
        }
    }
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < hostName.size(); ++i) {
        auto c = static_cast<uint8_t>(hostName[i]);
        if (std::isalpha(c) && c < 0x80) {
            bytes.push_back(static_cast<uint8_t>(std::toupper(c)));
        } else if (c == kEscape) {
            bool complete = i + 2 < hostName.size();
            int high = complete ? hexValue(hostName[i + 1]) : -1;
            int low = complete ? hexValue(hostName[i + 2]) : -1;
            if (high < 0 || low < 0) return std::nullopt;
            bytes.push_back(static_cast<uint8_t>(high << 4 | low));
            i += 2;
        } else if (plainHostByte(c)) {
            bytes.push_back(c);
        } else {
            return std::nullopt;
        }
    }
    if (bytes.empty() || bytes.size() > kDiskNameLength) return std::nullopt;
    result.name = makeName(bytes);
    return result;
}

std::string hostFileName(const PetsciiName& name, FileType type) {
    std::string host;
    for (uint8_t b : nameBytes(name)) {
        if (b >= kPetsciiLetterFirst && b <= kPetsciiLetterLast) {
            host += static_cast<char>(std::tolower(b));
        } else if (plainHostByte(b) && !(host.empty() && b == '.')) {
            host += static_cast<char>(b);
        } else {
            host += kEscape;
            host += kHexDigits[b >> 4];
            host += kHexDigits[b & 0x0F];
        }
    }
    for (const TypeSuffix& s : kTypeSuffixes) {
        if (s.type == type) return host + std::string(s.suffix);
    }
    // DEL and REL files have no suffix of their own: they keep the PRG's.
    return host + std::string(kTypeSuffixes[0].suffix);
}
