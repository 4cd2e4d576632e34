// Limits that keep parsing proportional to the input, whatever the input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pe/errors.h"

namespace panelhost::pe::detail {

// Longest name read from an import, export or forwarder string; longer is
// taken for a missing terminator.
inline constexpr std::size_t kMaxNameLength = 4096;
// A DLL name longer than a Windows path could never be loaded.
inline constexpr std::size_t kMaxDllNameLength = 260;

// Tables may point at the same bytes more than once (two import descriptors
// sharing a thunk array, a thousand names pointing at one long string, a
// resource directory reached from every entry), so a small file could make
// the parser produce a huge result. In a well-formed file every record and
// every name byte the parser produces has bytes of its own, so the total is
// capped at twice the file size (plus slack for tiny files): a charge per
// record and per name byte.
class Budget {
public:
    explicit Budget(std::uint64_t file_size) : left_(2 * file_size + 65536) {}

    Result<void> take(std::uint64_t units, std::string_view what) {
        if (units > left_) {
            return fail(std::string(what) + " refer to more data than the file holds");
        }
        left_ -= units;
        return {};
    }

private:
    std::uint64_t left_;
};

}  // namespace panelhost::pe::detail
