// The processor models the core runs as. The interpreter is compiled once per model, and
// the opcode table (opcodes.def) says which model has each row.
#pragma once

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

// The windowed program always runs this one, and breadbin-run unless told otherwise.
inline constexpr CpuModel kDefaultCpuModel = CpuModel::Plain;

struct CpuModelInfo {
    CpuModel model;
    std::string_view name;
    std::string_view description;
};

inline constexpr CpuModelInfo kCpuModels[] = {
#define BREADBIN_MODEL_INFO(model, name, description) {CpuModel::model, name, description},
    BREADBIN_CPU_MODELS(BREADBIN_MODEL_INFO)
#undef BREADBIN_MODEL_INFO
};

constexpr std::string_view cpuModelName(CpuModel model) {
    return kCpuModels[static_cast<int>(model)].name;
}

// The model a user names ("plain", "6510"), or nothing for a name no model has. The one
// reading of a model's name, for the command line and for test files alike.
constexpr std::optional<CpuModel> cpuModelNamed(std::string_view name) {
    for (const CpuModelInfo& info : kCpuModels) {
        if (info.name == name) return info.model;
    }
    return std::nullopt;
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
