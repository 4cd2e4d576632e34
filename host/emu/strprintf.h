// printf-style formatting into a std::string (GCC 12's library has no
// <format>); the format attribute lets the compiler check every call.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace panelhost {

[[gnu::format(printf, 1, 2)]] inline std::string strprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

}  // namespace panelhost
