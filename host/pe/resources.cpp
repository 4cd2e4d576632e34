#include "pe/resources.h"

#include <algorithm>
#include <array>

#include "pe/errors.h"
#include "pe/utf16.h"

namespace panelhost::pe::detail {
namespace {

constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;

// One directory entry. Offsets are relative to the start of the resource
// directory, as the file stores them.
struct Entry {
    ResourceId id;
    bool subdirectory = false;
    std::uint32_t target = 0;   // subdirectory or data entry
};

// A name is a 16-bit character count followed by UTF-16 text.
Result<std::string> read_name(const ImageView& view, std::uint64_t base, std::uint32_t offset,
                              Budget& budget) {
    PE_TRY(const std::uint16_t length, view.u16(base + offset, "resource name"));
    PE_TRY(const auto text, view.bytes(base + offset + 2, 2ull * length, "resource name"));
    PE_CHECK(budget.take(text.size(), "resource names"));
    return utf8_from_utf16le(text);
}

Result<std::vector<Entry>> read_directory(const ImageView& view, std::uint64_t base,
                                          std::uint32_t offset, Budget& budget) {
    PE_TRY(const auto header, view.bytes(base + offset, kDirectoryHeaderSize, "resource directory"));
    const std::uint64_t count = std::uint64_t{load_u16(header.data() + 12)} + load_u16(header.data() + 14);
    PE_TRY(const auto raw, view.bytes(base + offset + kDirectoryHeaderSize, kEntrySize * count,
                                      "resource directory entry table"));
    PE_CHECK(budget.take(count, "resource directories"));
    std::vector<Entry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t name = load_u32(raw.data() + kEntrySize * i);
        const std::uint32_t target = load_u32(raw.data() + kEntrySize * i + 4);
        Entry e;
        if (name & kHighBit) {
            PE_TRY(e.id.name, read_name(view, base, name & ~kHighBit, budget));
        } else {
            e.id.number = name;
        }
        e.subdirectory = (target & kHighBit) != 0;
        e.target = target & ~kHighBit;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string loop(std::uint32_t offset) {
    return "resource directory loop at offset " + hex(offset);
}

std::string describe(const ResourceId& id) {
    return id.number ? std::to_string(*id.number) : "\"" + id.name + "\"";
}

// The subdirectory an entry leads to. `ancestors` are the
// directories on the way down, the root first.
Result<std::uint32_t> child_directory(const Entry& e, std::span<const std::uint32_t> ancestors) {
    static constexpr std::array<const char*, 2> kChild = {"name", "language"};
    if (!e.subdirectory) {
        return fail("resource " + describe(e.id) + " holds data where a " +
                    kChild[ancestors.size() - 1] + " directory belongs");
    }
    if (std::ranges::find(ancestors, e.target) != ancestors.end()) {
        return fail(loop(e.target));
    }
    return e.target;
}

}  // namespace

Result<std::vector<Resource>> parse_resources(const ImageView& view, DataDirectory directory,
                                              Budget& budget) {
    std::vector<Resource> resources;
    if (!directory.present()) return resources;
    const std::uint64_t base = directory.rva;

    PE_TRY(const auto types, read_directory(view, base, 0, budget));
    for (const Entry& type : types) {
        const std::array<std::uint32_t, 1> path1 = {0};
        PE_TRY(const std::uint32_t names_at, child_directory(type, path1));
        PE_TRY(const auto names, read_directory(view, base, names_at, budget));
        for (const Entry& name : names) {
            const std::array<std::uint32_t, 2> path2 = {0, names_at};
            PE_TRY(const std::uint32_t languages_at, child_directory(name, path2));
            PE_TRY(const auto languages, read_directory(view, base, languages_at, budget));
            for (const Entry& language : languages) {
                const std::string what = "resource " + describe(type.id) + "/" +
                                         describe(name.id) + "/" + describe(language.id);
                if (language.subdirectory) {
                    const std::array<std::uint32_t, 3> path3 = {0, names_at, languages_at};
                    if (std::ranges::find(path3, language.target) != path3.end()) {
                        return fail(loop(language.target));
                    }
                    return fail(what + ": directory nested deeper than type/name/language");
                }
                if (!language.id.number) return fail(what + ": a language must be a number");

                PE_TRY(const auto entry, view.bytes(base + language.target, kDataEntrySize,
                                                    what + " data entry"));
                Resource r;
                r.type = type.id;
                r.id = name.id;
                r.language = *language.id.number;
                r.data_rva = load_u32(entry.data());
                r.size = load_u32(entry.data() + 4);
                PE_TRY(r.bytes, view.bytes(r.data_rva, r.size, what + " data"));
                PE_CHECK(budget.take(r.type.name.size() + r.id.name.size(), "resource names"));
                resources.push_back(std::move(r));
            }
        }
    }
    return resources;
}

}  // namespace panelhost::pe::detail
