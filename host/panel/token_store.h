// Current values of simulator variables, by token number. A token nobody
// set reads 0.0.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

#include "emu/error.h"

namespace panelhost::panel {

class TokenStore {
public:
    void set(std::uint32_t token, double value) { values_[token] = value; }
    double get(std::uint32_t token) const {
        auto it = values_.find(token);
        return it == values_.end() ? 0.0 : it->second;
    }
    bool contains(std::uint32_t token) const { return values_.contains(token); }
    void clear() { values_.clear(); }
    const std::map<std::uint32_t, double>& values() const { return values_; }

private:
    std::map<std::uint32_t, double> values_;
};

// The accepted form of a token assignment, for usage messages.
inline constexpr std::string_view kAssignmentForm =
    "TOKEN=VALUE, TOKEN a decimal integer, VALUE a C++ floating-point literal "
    "(1, -2.5, 1e3, .5f, 0x1.8p1) or nan, inf, -inf, -0";

// Parses a value: any C++ floating-point or integer literal (optional sign,
// decimal or hexadecimal, exponent, digit separators ', suffix f/F to round
// to float, l/L) or nan, inf, -inf, -0.
Result<double> parse_value(std::string_view text);
// Parses "TOKEN=VALUE".
Result<std::pair<std::uint32_t, double>> parse_assignment(std::string_view text);

}  // namespace panelhost::panel
