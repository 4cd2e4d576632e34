#include "panel/token_store.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace panelhost::panel {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
}

bool is_digit(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

}  // namespace

Result<double> parse_value(std::string_view text) {
    auto bad = [&](const char* why) { return fail("bad value \"" + std::string(text) + "\" (" + why + ")"); };
    std::string s = lower(text);
    if (s == "nan" || s == "+nan") return std::numeric_limits<double>::quiet_NaN();
    if (s == "inf" || s == "+inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
    if (s.empty()) return bad("empty");

    std::size_t at = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        at = 1;
    }
    bool hex = s.compare(at, 2, "0x") == 0;
    if (hex) at += 2;
    std::string body = s.substr(at);

    // Suffix: f rounds to float, l is long double (the value is a double
    // anyway). In a hexadecimal literal f is a digit unless an exponent
    // (p) came before it.
    bool to_float = false;
    if (!body.empty() && (body.back() == 'f' || body.back() == 'l') &&
        (!hex || body.find('p') != std::string::npos)) {
        to_float = body.back() == 'f';
        body.pop_back();
    }
    // Digit separators: a ' between two digits.
    std::string digits;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\'') {
            if (i == 0 || i + 1 == body.size() || !is_digit(body[i - 1], hex) || !is_digit(body[i + 1], hex))
                return bad("misplaced digit separator");
            continue;
        }
        digits.push_back(body[i]);
    }
    if (digits.empty() || digits[0] == '+' || digits[0] == '-') return bad("not a number");
    if (!hex && digits.find_first_not_of("0123456789.e+-") != std::string::npos) return bad("not a number");
    if (hex && digits.find_first_not_of("0123456789abcdef.p+-") != std::string::npos) return bad("not a number");

    double v = 0.0;
    auto fmt = hex ? std::chars_format::hex : std::chars_format::general;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, fmt);
    if (ec == std::errc::result_out_of_range) return bad("out of range");
    if (ec != std::errc() || end != digits.data() + digits.size()) return bad("not a number");
    if (to_float) {
        float f = static_cast<float>(v);
        if (std::isinf(f) && !std::isinf(v)) return bad("out of range for float");
        v = f;
    }
    return negative ? -v : v;
}

Result<std::pair<std::uint32_t, double>> parse_assignment(std::string_view text) {
    auto eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return fail("bad assignment \"" + std::string(text) + "\": expected " + std::string(kAssignmentForm));
    std::string_view token = text.substr(0, eq);
    std::uint32_t t = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), t, 10);
    if (ec != std::errc() || end != token.data() + token.size())
        return fail("bad token \"" + std::string(token) + "\": expected " + std::string(kAssignmentForm));
    auto v = parse_value(text.substr(eq + 1));
    if (!v) return fail(v.error().message + ": expected " + std::string(kAssignmentForm));
    return std::pair{t, *v};
}

}  // namespace panelhost::panel
