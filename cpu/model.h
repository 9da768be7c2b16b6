// The processor models the core runs as. The interpreter is compiled once per model, and
// the opcode table (opcodes.def) says which model has each row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

// Every model, one row each: its name in code, the name a user gives it (breadbin-run's
// --cpu, a test file's cpu) and what sets it apart.
// clang-format off
#define BREADBIN_CPU_MODELS(X)                                                                \
    X(Plain,   "plain", "the documented instructions with binary arithmetic; every other "  \
                        "byte is a one-byte no-op")                                           \
    X(Mos6510, "6510",  "the chip as it runs: decimal mode, the undocumented opcodes, JAM "   \
                        "stops the processor, JMP ($xxFF) wraps in its page")
// clang-format on

enum class CpuModel : uint8_t {
#define BREADBIN_MODEL_ENUM(model, name, description) model,
    BREADBIN_CPU_MODELS(BREADBIN_MODEL_ENUM)
#undef BREADBIN_MODEL_ENUM
};

// The windowed program always runs this one (breadbin-run's own default is in
// machine/config.h).
inline constexpr CpuModel kDefaultCpuModel = CpuModel::Plain;

// One row of a choice a user makes by name (a processor model here; the machine and its
// chips in machine/config.h): its value, the name given on the command line and in test
// files, and what sets it apart, for the help and the manual.
template <class Value>
struct NamedChoice {
    Value value;
    std::string_view name;
    std::string_view description;
};

// The value a user names, or nothing for a name no row has: the one reading of every such
// name, for the command line and for test files alike.
template <class Value, std::size_t N>
constexpr std::optional<Value> choiceNamed(const NamedChoice<Value> (&rows)[N],
                                           std::string_view name) {
    for (const NamedChoice<Value>& row : rows) {
        if (row.name == name) return row.value;
    }
    return std::nullopt;
}

// The name of a value; rows are listed in the order of the enumeration.
template <class Value, std::size_t N>
constexpr std::string_view choiceName(const NamedChoice<Value> (&rows)[N], Value value) {
    return rows[static_cast<std::size_t>(value)].name;
}

inline constexpr NamedChoice<CpuModel> kCpuModels[] = {
#define BREADBIN_MODEL_INFO(model, name, description) {CpuModel::model, name, description},
    BREADBIN_CPU_MODELS(BREADBIN_MODEL_INFO)
#undef BREADBIN_MODEL_INFO
};

constexpr std::string_view cpuModelName(CpuModel model) { return choiceName(kCpuModels, model); }
constexpr std::optional<CpuModel> cpuModelNamed(std::string_view name) {
    return choiceNamed(kCpuModels, name);
}

// Calls visit(std::integral_constant<CpuModel, M>{}) for the model M that `model` names:
// the one step from a model chosen at run time to the code compiled for it.
template <class Visit>
constexpr decltype(auto) withModel(CpuModel model, Visit&& visit) {
    switch (model) {
#define BREADBIN_MODEL_CASE(m, name, description) \
    case CpuModel::m: return visit(std::integral_constant<CpuModel, CpuModel::m>{});
        BREADBIN_CPU_MODELS(BREADBIN_MODEL_CASE)
#undef BREADBIN_MODEL_CASE
    }
    return visit(std::integral_constant<CpuModel, kDefaultCpuModel>{});
}
