// What `panelhost validate` was asked to do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace panelhost::validate {

inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 5;

struct Options {
    std::filesystem::path module;                      // the .gau file
    int level = kMaxLevel;                             // levels 1..level run
    std::optional<std::uint64_t> seed;                 // drawn at random when empty
    int repeat = 1;                                    // passes over the suite
    std::optional<std::filesystem::path> library_dir;  // the user's "GaugeSound"
};

}  // namespace panelhost::validate
