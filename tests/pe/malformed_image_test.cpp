// Malformed files made from the fixture DLL by small changes: each must be
// an error value whose one-line message names the cause, never a crash.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pe/image.h"
#include "sample_file.h"

namespace {

using namespace panelhost::pe;
using pe_test::Bytes;
using pe_test::get_u32;
using pe_test::Layout;
using pe_test::put_u16;
using pe_test::put_u32;

constexpr std::size_t kImport = 1, kResource = 2, kRelocation = 5;

// Offsets inside the fixture that the cases change, found without the parser
// where the headers suffice.
struct Sample {
    Bytes bytes = pe_test::sample_bytes();
    Layout at{bytes};
    std::uint32_t size_of_image = get_u32(bytes, at.opt + 56);

    std::size_t import_descriptor() const { return at.offset_of(at.directory_rva(kImport)); }
    std::size_t import_lookup() const { return at.offset_of(get_u32(bytes, import_descriptor())); }
    std::size_t export_directory() const { return at.offset_of(at.directory_rva(0)); }
    std::size_t relocation_block() const { return at.offset_of(at.directory_rva(kRelocation)); }
    std::size_t resource_root() const { return at.offset_of(at.directory_rva(kResource)); }
    // The resource directory's entry i (counted from the root) at `dir`.
    std::size_t resource_entry(std::size_t dir, std::size_t i) const {
        return resource_root() + dir + 16 + 8 * i;
    }
    // Offsets of the first bitmap's name and language directories.
    std::uint32_t subdirectory(std::size_t entry) const { return get_u32(bytes, entry + 4) & 0x7fffffff; }
    std::uint32_t bitmap_names() const { return subdirectory(resource_entry(0, 0)); }
    std::uint32_t bitmap_languages(std::size_t i) const {
        return subdirectory(resource_entry(bitmap_names(), i));
    }
    // The version resource's bytes, located through the (valid) parse.
    std::size_t version_resource() const {
        const auto image = Image::parse(bytes);
        const Resource* r = image->find_resource(kResourceVersion, 1);
        return r->bytes.data() - image->file().data();
    }
    // The version block whose UTF-16 key is `key`.
    std::size_t version_block(std::string_view key) const {
        Bytes pattern;
        for (char c : key) pattern.insert(pattern.end(), {static_cast<std::uint8_t>(c), 0});
        const auto it = std::search(bytes.begin() + version_resource(), bytes.end(),
                                    pattern.begin(), pattern.end());
        return (it - bytes.begin()) - 6;
    }
};

struct Case {
    const char* name;
    std::function<void(const Sample&, Bytes&)> mutate;
    std::string expected;        // part of the message
    bool in_version = false;     // the file parses; version_info() fails
};

std::vector<Case> cases() {
    return {
        // Truncated inside each header, and inside section data.
        {"dos_header_truncated", [](auto&, Bytes& b) { b.resize(0x20); },
         "truncated: DOS header needs 64 bytes at offset 0x0, file has 32"},
        {"pe_signature_truncated", [](auto& s, Bytes& b) { b.resize(s.at.pe + 2); },
         "truncated: PE signature needs 4 bytes"},
        {"coff_header_truncated", [](auto& s, Bytes& b) { b.resize(s.at.coff + 10); },
         "truncated: COFF header needs 20 bytes"},
        {"optional_header_truncated", [](auto& s, Bytes& b) { b.resize(s.at.opt + 100); },
         "truncated: optional header needs 224 bytes"},
        {"section_table_truncated", [](auto& s, Bytes& b) { b.resize(s.at.section_table + 50); },
         "truncated: section table needs"},
        {"header_area_truncated",
         [](auto& s, Bytes& b) { b.resize(s.at.section_table + 40 * s.at.section_count + 8); },
         "truncated: header area needs 1024 bytes"},
        {"last_section_truncated", [](auto&, Bytes& b) { b.resize(b.size() - 100); },
         "section .reloc lies outside the file"},
        // Signatures and kinds.
        {"not_mz", [](auto&, Bytes& b) { b[0] = 'X'; }, "not a PE file (no MZ signature)"},
        {"not_pe", [](auto& s, Bytes& b) { b[s.at.pe] = 'X'; }, "not a PE file (no PE signature at offset"},
        {"pe_offset_past_4g", [](auto&, Bytes& b) { put_u32(b, 0x3c, 0xfffffffe); },
         "truncated: PE signature needs 4 bytes at offset 0xfffffffe"},
        {"pe32_plus", [](auto& s, Bytes& b) { put_u16(b, s.at.opt, 0x20b); },
         "PE32+ (64-bit) images are not supported"},
        {"unknown_magic", [](auto& s, Bytes& b) { put_u16(b, s.at.opt, 0x107); },
         "optional header magic 0x107 is not PE32"},
        {"wrong_machine", [](auto& s, Bytes& b) { put_u16(b, s.at.coff, 0x8664); },
         "machine 0x8664 is not i386"},
        // Header values.
        {"optional_header_too_small", [](auto& s, Bytes& b) { put_u16(b, s.at.coff + 16, 64); },
         "optional header is 64 bytes, needs 96"},
        {"directories_past_optional_header", [](auto& s, Bytes& b) { put_u16(b, s.at.coff + 16, 128); },
         "too small for its 16 data directories"},
        {"image_too_large", [](auto& s, Bytes& b) { put_u32(b, s.at.opt + 56, 0x80000000u); },
         "image size 0x80000000 exceeds the limit"},
        {"headers_larger_than_image", [](auto& s, Bytes& b) { put_u32(b, s.at.opt + 60, s.size_of_image + 0x200); },
         "are larger than the image"},
        {"entry_point_outside", [](auto& s, Bytes& b) { put_u32(b, s.at.opt + 16, s.size_of_image); },
         "entry point at RVA"},
        // Sections.
        {"section_offset_wraps_32_bits",
         [](auto& s, Bytes& b) { put_u32(b, s.at.section_header(".rsrc") + 20, 0xffffff00u); },
         "section .rsrc lies outside the file"},
        {"section_size_past_file",
         [](auto& s, Bytes& b) { put_u32(b, s.at.section_header(".rsrc") + 16, 0x10000); },
         "section .rsrc lies outside the file"},
        {"section_outside_image",
         [](auto& s, Bytes& b) { put_u32(b, s.at.section_header(".reloc") + 8, 0x10000); },
         "section .reloc lies outside the image"},
        {"sections_overlap",
         [](auto& s, Bytes& b) {
             put_u32(b, s.at.section_header(".data") + 12, get_u32(b, s.at.section_header(".text") + 12));
         },
         "section .data overlaps section .text"},
        {"section_over_headers", [](auto& s, Bytes& b) { put_u32(b, s.at.section_header(".text") + 12, 0x200); },
         "section .text overlaps the headers"},
        // Data directories.
        {"import_directory_outside_image",
         [](auto& s, Bytes& b) { put_u32(b, s.at.directory(kImport), s.size_of_image - 8); },
         "import directory lies outside the image"},
        {"resource_directory_wraps_32_bits",
         [](auto& s, Bytes& b) { put_u32(b, s.at.directory(kResource), 0xfffffff0u); },
         "resource directory lies outside the image"},
        // Imports.
        {"import_name_outside_image", [](auto& s, Bytes& b) { put_u32(b, s.import_lookup(), 0x7ffffff0u); },
         "import name of KERNEL32.dll at RVA 0x7ffffff0 lies outside the image"},
        {"import_dll_name_outside_image",
         [](auto& s, Bytes& b) { put_u32(b, s.import_descriptor() + 12, s.size_of_image + 4); },
         "import DLL name at RVA"},
        {"import_without_address_table", [](auto& s, Bytes& b) { put_u32(b, s.import_descriptor() + 16, 0); },
         "import descriptor of KERNEL32.dll has no address table"},
        // Exports.
        {"export_function_count_huge", [](auto& s, Bytes& b) { put_u32(b, s.export_directory() + 20, 0xffffffffu); },
         "export table lists 4294967295 functions"},
        {"export_function_count_past_table",
         [](auto& s, Bytes& b) { put_u32(b, s.export_directory() + 20, 0x10000); },
         "export address table at RVA"},
        {"export_name_count_past_table",
         [](auto& s, Bytes& b) { put_u32(b, s.export_directory() + 24, 0x40000000); },
         "export name table at RVA"},
        {"export_ordinal_index_past_table",
         [](auto& s, Bytes& b) {
             put_u16(b, s.at.offset_of(get_u32(b, s.export_directory() + 36)), 0x50);
         },
         "has ordinal index 80, past the 7 addresses"},
        {"export_name_on_empty_ordinal",
         [](auto& s, Bytes& b) { put_u16(b, s.at.offset_of(get_u32(b, s.export_directory() + 36)), 1); },
         "names ordinal 4, which has no address"},
        // Relocations.
        {"relocation_block_size_zero", [](auto& s, Bytes& b) { put_u32(b, s.relocation_block() + 4, 0); },
         "relocation block for page RVA 0x1000 has size 0"},
        {"relocation_block_past_directory",
         [](auto& s, Bytes& b) { put_u32(b, s.relocation_block() + 4, 0x1000); },
         "runs past the relocation directory"},
        {"relocation_outside_image", [](auto& s, Bytes& b) { put_u32(b, s.relocation_block(), s.size_of_image); },
         "relocation at RVA 0x803b lies outside the image"},
        {"relocation_type_unsupported",
         [](auto& s, Bytes& b) { put_u16(b, s.relocation_block() + 8, 0xa000); },
         "relocation type 10 at RVA 0x1000 is not supported"},
        // Resources.
        {"resource_directory_cycle",
         [](auto& s, Bytes& b) { put_u32(b, s.resource_entry(s.bitmap_languages(0), 0) + 4, 0x80000000u); },
         "resource directory loop at offset 0x0"},
        {"resource_type_points_at_root",
         [](auto& s, Bytes& b) { put_u32(b, s.resource_entry(0, 0) + 4, 0x80000000u); },
         "resource directory loop at offset 0x0"},
        {"resource_directory_too_deep",
         [](auto& s, Bytes& b) {
             put_u32(b, s.resource_entry(s.bitmap_languages(0), 0) + 4, 0x80000000u | s.bitmap_languages(1));
         },
         "resource 2/256/1033: directory nested deeper than type/name/language"},
        {"resource_data_where_directory_belongs",
         [](auto& s, Bytes& b) { put_u32(b, s.resource_entry(0, 0) + 4, s.bitmap_names()); },
         "resource 2 holds data where a name directory belongs"},
        {"resource_entry_count_huge", [](auto& s, Bytes& b) { put_u16(b, s.resource_root() + 14, 0xffff); },
         "resource directory entry table at RVA"},
        {"resource_name_outside_image",
         [](auto& s, Bytes& b) { put_u32(b, s.resource_entry(0, 0), 0xfffffff0u); },
         "resource name at RVA"},
        {"resource_data_outside_image",
         [](auto& s, Bytes& b) {
             const std::size_t entry = s.resource_root() + get_u32(b, s.resource_entry(s.bitmap_languages(0), 0) + 4);
             put_u32(b, entry + 4, 0x100000);
         },
         "resource 2/256/1033 data at RVA"},
        // The version resource.
        {"version_root_overruns_resource",
         [](auto& s, Bytes& b) { put_u16(b, s.version_resource(), 0x1000); },
         "version block at offset 0x0 (length 4096) overruns its parent", true},
        {"version_string_table_overruns_parent",
         [](auto& s, Bytes& b) { put_u16(b, s.version_block("040904b0"), 0x400); },
         "(length 1024) overruns its parent", true},
        {"version_string_length_zero",
         [](auto& s, Bytes& b) { put_u16(b, s.version_block("FileVersion"), 0); },
         "has length 0", true},
        {"version_translation_overruns_block",
         [](auto& s, Bytes& b) { put_u16(b, s.version_block("Translation") + 2, 0x100); },
         "value of version block \"Translation\" (256 bytes) overruns the block", true},
        {"version_fixed_info_signature",
         [](auto& s, Bytes& b) { b[s.version_block("VS_VERSION_INFO") + 40] ^= 0xff; },
         "version fixed info has signature", true},
        {"version_fixed_info_short",
         [](auto& s, Bytes& b) { put_u16(b, s.version_block("VS_VERSION_INFO") + 2, 20); },
         "version fixed info is 20 bytes, needs 52", true},
    };
}

class Malformed : public testing::TestWithParam<Case> {};

TEST_P(Malformed, IsAnErrorNamingTheCause) {
    const Sample sample;
    Bytes bytes = sample.bytes;
    GetParam().mutate(sample, bytes);
    ASSERT_NE(bytes, sample.bytes) << "the case changed nothing";

    auto image = Image::parse(std::move(bytes));
    std::string message;
    if (GetParam().in_version) {
        ASSERT_TRUE(image) << image.error().message;
        const auto version = image->version_info();
        ASSERT_FALSE(version);
        message = version.error().message;
    } else {
        ASSERT_FALSE(image);
        message = image.error().message;
    }
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Cases, Malformed, testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Whatever the bytes, parse() returns: cut the file at every length, and
// overwrite each byte with a few values. Whatever parses must also lay out,
// relocate and read its version resource without fault.
TEST(MalformedSweep, EveryCutAndEveryByteIsHandled) {
    const Bytes original = pe_test::sample_bytes();
    const auto check = [](Bytes bytes, const std::string& label) {
        auto image = Image::parse(std::move(bytes));
        if (!image) {
            EXPECT_FALSE(image.error().message.empty()) << label;
            EXPECT_EQ(image.error().message.find('\n'), std::string::npos) << label;
            return false;
        }
        Bytes memory = image->memory_image();
        EXPECT_EQ(memory.size(), image->size_of_image()) << label;
        EXPECT_TRUE(image->relocate(memory, 0x10000000u)) << label;
        (void)image->version_info();
        return true;
    };
    for (std::size_t length = 0; length < original.size(); ++length) {
        // Every section's data runs to the end of the file, so any cut fails.
        EXPECT_FALSE(check(Bytes(original.begin(), original.begin() + length), "cut " + std::to_string(length)));
    }
    int parsed = 0;
    for (std::size_t at = 0; at < original.size(); ++at) {
        for (std::uint8_t value : {0x00, 0x7f, 0x80, 0xff}) {
            Bytes bytes = original;
            bytes[at] = value;
            parsed += check(std::move(bytes), "byte " + std::to_string(at) + " = " + std::to_string(value));
        }
    }
    // Most single-byte changes hit code, data or padding and still parse.
    EXPECT_GT(parsed, 0);
}

}  // namespace
