// Error values of the PE parser and the macros that pass them up.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <utility>

#include "pe/image.h"

namespace panelhost::pe::detail {

inline std::unexpected<Error> fail(std::string message) {
    return std::unexpected(Error{std::move(message)});
}

// "0x1a2b": offsets, RVAs and magic numbers are written in hex in messages.
std::string hex(std::uint64_t value);

}  // namespace panelhost::pe::detail

#define PE_CONCAT_INNER(a, b) a##b
#define PE_CONCAT(a, b) PE_CONCAT_INNER(a, b)

// PE_TRY(const auto x, expr);  evaluates a Result: on error returns it from the
// enclosing function, otherwise declares x from the value. Expands to several
// statements, so it belongs on a line of its own inside braces.
#define PE_TRY(decl, expr) PE_TRY_IMPL(PE_CONCAT(pe_try_, __LINE__), decl, expr)
#define PE_TRY_IMPL(tmp, decl, expr)                            \
    auto tmp = (expr);                                          \
    if (!tmp) return std::unexpected(std::move(tmp.error()));   \
    decl = std::move(*tmp)

// PE_CHECK(expr);  for a Result<void>.
#define PE_CHECK(expr)                                                    \
    do {                                                                  \
        if (auto pe_check_result = (expr); !pe_check_result)              \
            return std::unexpected(std::move(pe_check_result.error()));   \
    } while (false)
