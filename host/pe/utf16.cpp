#include "pe/utf16.h"

namespace panelhost::pe::detail {
namespace {

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
}

bool is_high_surrogate(char32_t u) { return u >= 0xd800 && u < 0xdc00; }
bool is_low_surrogate(char32_t u) { return u >= 0xdc00 && u < 0xe000; }

}  // namespace

std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes) {
    constexpr char32_t kReplacement = 0xfffd;
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t { return bytes[2 * i] | (bytes[2 * i + 1] << 8); };
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (is_high_surrogate(u) && i + 1 < units && is_low_surrogate(unit(i + 1))) {
            append_utf8(out, 0x10000 + ((u - 0xd800) << 10) + (unit(i + 1) - 0xdc00));
            ++i;
        } else if (is_high_surrogate(u) || is_low_surrogate(u)) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

}  // namespace panelhost::pe::detail
