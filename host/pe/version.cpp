#include "pe/version.h"

#include <string>

#include "pe/errors.h"
#include "pe/reader.h"
#include "pe/utf16.h"

namespace panelhost::pe::detail {
namespace {

// Every block: 16-bit length (of the whole block, children included),
// 16-bit value length, 16-bit type (1 text, 0 binary), a NUL-terminated
// UTF-16 key, padding to 4 bytes, the value, padding, the children.
struct Block {
    std::uint64_t offset = 0;
    std::uint64_t end = 0;
    std::uint16_t value_length = 0;   // text: in characters; binary: in bytes
    bool text = false;
    std::string key;
    std::uint64_t value_offset = 0;
    std::uint64_t children_offset = 0;
};

constexpr std::uint64_t kHeaderSize = 6;
constexpr std::uint64_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xfeef04bd;

std::uint64_t align4(std::uint64_t v) { return (v + 3) & ~std::uint64_t{3}; }

// The UTF-16 text from `offset` up to its terminator or `end` (which the
// caller has checked against the resource size).
struct Text {
    std::string utf8;
    std::uint64_t end = 0;    // just past the terminator
    bool terminated = false;
};
Result<Text> read_text(const Reader& r, std::uint64_t offset, std::uint64_t end) {
    Text t;
    std::uint64_t at = offset;
    for (; at + 2 <= end; at += 2) {
        PE_TRY(const std::uint16_t unit, r.u16(at, "version text"));
        if (unit == 0) {
            t.terminated = true;
            break;
        }
    }
    PE_TRY(const auto text, r.bytes(offset, at - offset, "version text"));
    t.utf8 = utf8_from_utf16le(text);
    t.end = t.terminated ? at + 2 : at;
    return t;
}

Result<Block> read_block(const Reader& r, std::uint64_t offset, std::uint64_t parent_end) {
    PE_TRY(const auto header, r.bytes(offset, kHeaderSize, "version block header"));
    Block b;
    b.offset = offset;
    const std::uint16_t length = load_u16(header.data());
    b.value_length = load_u16(header.data() + 2);
    b.text = load_u16(header.data() + 4) == 1;
    if (length < kHeaderSize) {
        return fail("version block at offset " + hex(offset) + " has length " + std::to_string(length));
    }
    b.end = offset + length;
    if (b.end > parent_end) {
        return fail("version block at offset " + hex(offset) + " (length " + std::to_string(length) +
                    ") overruns its parent, which ends at " + hex(parent_end));
    }
    PE_TRY(Text key, read_text(r, offset + kHeaderSize, b.end));
    if (!key.terminated) {
        return fail("version block key at offset " + hex(offset + kHeaderSize) + " is not terminated");
    }
    b.key = std::move(key.utf8);
    b.value_offset = align4(key.end);
    // Text values are read up to their terminator; producers disagree on
    // whether the length counts it, so it is not relied on.
    const std::uint64_t value_bytes = b.text ? 0 : b.value_length;
    if (b.value_offset + value_bytes > b.end) {
        return fail("value of version block \"" + b.key + "\" (" + std::to_string(value_bytes) +
                    " bytes) overruns the block");
    }
    b.children_offset = align4(b.value_offset + value_bytes);
    return b;
}

// Calls visit(child) for each child block of `parent`, in order.
template <class Visit>
Result<void> for_each_child(const Reader& r, const Block& parent, Visit&& visit) {
    // Fewer bytes than a header at the end are padding. Each child is at
    // least a header long, so the walk always advances.
    for (std::uint64_t at = parent.children_offset; at + kHeaderSize <= parent.end;) {
        PE_TRY(const Block child, read_block(r, at, parent.end));
        PE_CHECK(visit(child));
        at = align4(child.end);
    }
    return {};
}

Result<void> read_fixed_info(const Reader& r, const Block& root, VersionInfo& info) {
    if (root.value_length == 0) return {};   // the fixed part is optional
    if (root.value_length < kFixedInfoSize) {
        return fail("version fixed info is " + std::to_string(root.value_length) + " bytes, needs " +
                    std::to_string(kFixedInfoSize));
    }
    PE_TRY(const auto f, r.bytes(root.value_offset, kFixedInfoSize, "version fixed info"));
    const auto word = [&](int i) { return load_u32(f.data() + 4 * i); };
    if (word(0) != kFixedInfoSignature) {
        return fail("version fixed info has signature " + hex(word(0)) + ", not " +
                    hex(kFixedInfoSignature));
    }
    info.file_version_ms = word(2);
    info.file_version_ls = word(3);
    info.product_version_ms = word(4);
    info.product_version_ls = word(5);
    info.flags_mask = word(6);
    info.flags = word(7);
    info.file_os = word(8);
    info.file_type = word(9);
    info.file_subtype = word(10);
    info.file_date_ms = word(11);
    info.file_date_ls = word(12);
    return {};
}

}  // namespace

Result<VersionInfo> parse_version_info(std::span<const std::uint8_t> bytes) {
    const Reader r(bytes, "version resource");
    PE_TRY(const Block root, read_block(r, 0, r.size()));
    if (root.key != "VS_VERSION_INFO") {
        return fail("version resource starts with \"" + root.key + "\", not VS_VERSION_INFO");
    }
    VersionInfo info;
    PE_CHECK(read_fixed_info(r, root, info));

    PE_CHECK(for_each_child(r, root, [&](const Block& group) -> Result<void> {
        if (group.key == "StringFileInfo") {
            return for_each_child(r, group, [&](const Block& table) -> Result<void> {
                VersionInfo::StringTable t;
                t.key = table.key;
                PE_CHECK(for_each_child(r, table, [&](const Block& s) -> Result<void> {
                    PE_TRY(Text value, read_text(r, s.value_offset, s.end));
                    t.strings.emplace_back(s.key, std::move(value.utf8));
                    return {};
                }));
                info.string_tables.push_back(std::move(t));
                return {};
            });
        }
        if (group.key == "VarFileInfo") {
            return for_each_child(r, group, [&](const Block& var) -> Result<void> {
                if (var.key != "Translation") return {};
                for (std::uint64_t at = 0; at + 4 <= var.value_length; at += 4) {
                    PE_TRY(const auto pair, r.bytes(var.value_offset + at, 4, "translation"));
                    info.translations.emplace_back(load_u16(pair.data()), load_u16(pair.data() + 2));
                }
                return {};
            });
        }
        return {};   // other groups carry nothing this parser reports
    }));
    return info;
}

}  // namespace panelhost::pe::detail
