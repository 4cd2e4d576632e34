// The parser on a real 32-bit DLL built by the module toolchain.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "pe/image.h"
#include "sample_file.h"

namespace {

using namespace panelhost::pe;
using pe_test::Bytes;

Image parse_sample(Bytes bytes = pe_test::sample_bytes()) {
    auto image = Image::parse(std::move(bytes));
    if (!image) throw std::runtime_error(image.error().message);
    return std::move(*image);
}

const Section* section_of(const Image& image, std::uint32_t rva) {
    for (const Section& s : image.sections())
        if (rva >= s.rva && rva < s.rva + s.virtual_size) return &s;
    return nullptr;
}

std::uint32_t word_at(const Bytes& memory, std::uint32_t rva) { return pe_test::get_u32(memory, rva); }

TEST(PeSample, HeadersAndSections) {
    const Image image = parse_sample();
    EXPECT_TRUE(image.is_dll());
    EXPECT_EQ(image.image_base() % 0x10000, 0u);
    EXPECT_EQ(image.section_alignment(), 0x1000u);
    std::set<std::string> names;
    for (const Section& s : image.sections()) names.insert(s.name);
    for (const char* expected : {".text", ".data", ".edata", ".idata", ".rsrc", ".reloc"})
        EXPECT_TRUE(names.count(expected)) << expected;
    const Section* entry = section_of(image, image.entry_point_rva());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->name, ".text");
    EXPECT_TRUE(entry->executable());
}

TEST(PeSample, ExportsByNameOrdinalAndForwarder) {
    const Image image = parse_sample();
    EXPECT_EQ(image.export_module_name(), "PeSample.dll");

    struct Expected { const char* name; std::uint32_t ordinal; const char* section; };
    for (const Expected& x : {Expected{"SampleData", 3, ".data"}, Expected{"SampleAdd", 5, ".text"},
                              Expected{"SampleTable", 8, ".data"}}) {
        const Export* e = image.find_export(x.name);
        ASSERT_NE(e, nullptr) << x.name;
        EXPECT_EQ(e->ordinal, x.ordinal) << x.name;
        EXPECT_FALSE(e->forwarder) << x.name;
        ASSERT_NE(section_of(image, e->rva), nullptr) << x.name;
        EXPECT_EQ(section_of(image, e->rva)->name, x.section) << x.name;
        EXPECT_EQ(image.find_export(x.ordinal), e) << x.name;
    }

    const Export* hidden = image.find_export(7);
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->name.empty());
    EXPECT_EQ(section_of(image, hidden->rva)->name, ".text");

    const Export* forward = image.find_export("SampleForward");
    ASSERT_NE(forward, nullptr);
    EXPECT_EQ(forward->ordinal, 9u);
    EXPECT_EQ(forward->forwarder, "KERNEL32.Sleep");

    // The unused ordinals between them are not exports, and nothing else is.
    EXPECT_EQ(image.find_export(4u), nullptr);
    EXPECT_EQ(image.find_export(6u), nullptr);
    EXPECT_EQ(image.exports().size(), 5u);
    EXPECT_EQ(image.find_export("sampleadd"), nullptr);
}

TEST(PeSample, ImportsByNameWithTheirAddressSlots) {
    const Image image = parse_sample();
    const Bytes memory = image.memory_image();
    std::set<std::string> names;
    for (const Import& i : image.imports()) {
        EXPECT_EQ(i.dll, "KERNEL32.dll");
        EXPECT_FALSE(i.by_ordinal);
        names.insert(i.name);
        // Before loading, the address slot points at the hint and name.
        const std::uint32_t hint_name = word_at(memory, i.iat_rva);
        EXPECT_EQ(pe_test::get_u16(memory, hint_name), i.ordinal) << i.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&memory[hint_name + 2])), i.name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"GetModuleHandleA", "GetProcAddress"}));
    EXPECT_EQ(image.imports().size(), 2u);
}

TEST(PeSample, ImportByOrdinal) {
    Bytes bytes = pe_test::sample_bytes();
    const pe_test::Layout layout(bytes);
    const std::size_t descriptor = layout.offset_of(layout.directory_rva(1));
    const std::size_t lookup = layout.offset_of(pe_test::get_u32(bytes, descriptor));
    Bytes changed = bytes;
    pe_test::put_u32(changed, lookup, 0x80000000u | 42);

    const Image original = parse_sample(bytes);
    const Image image = parse_sample(changed);
    ASSERT_EQ(image.imports().size(), 2u);
    const Import& first = image.imports()[0];
    EXPECT_TRUE(first.by_ordinal);
    EXPECT_EQ(first.ordinal, 42);
    EXPECT_TRUE(first.name.empty());
    EXPECT_EQ(first.iat_rva, original.imports()[0].iat_rva);
    EXPECT_EQ(image.imports()[1].name, original.imports()[1].name);
}

TEST(PeSample, MemoryImageAndRelocationAtAnotherBase) {
    const Image image = parse_sample();
    const Bytes preferred = image.memory_image();
    ASSERT_EQ(preferred.size(), image.size_of_image());

    // SampleTable holds the absolute addresses of three exports.
    const std::uint32_t table = image.find_export("SampleTable")->rva;
    const std::uint32_t targets[] = {image.find_export("SampleData")->rva,
                                     image.find_export("SampleAdd")->rva,
                                     image.find_export(7u)->rva};
    std::set<std::uint32_t> relocated;
    for (const Relocation& r : image.relocations()) relocated.insert(r.rva);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(word_at(preferred, table + 4 * i), image.image_base() + targets[i]);
        EXPECT_TRUE(relocated.count(table + 4 * i));
    }

    for (const std::uint32_t new_base : {0x10000000u, image.image_base() - 0x00010000u}) {
        Bytes moved = preferred;
        ASSERT_TRUE(image.relocate(moved, new_base));
        const std::uint32_t delta = new_base - image.image_base();
        for (std::uint32_t i = 0; i < 3; ++i)
            EXPECT_EQ(word_at(moved, table + 4 * i), new_base + targets[i]);
        // Exactly the relocated words changed, each by the delta.
        for (std::uint32_t rva : relocated)
            EXPECT_EQ(word_at(moved, rva), word_at(preferred, rva) + delta) << std::hex << rva;
        for (std::uint32_t at = 0; at < moved.size(); ++at) {
            const bool in_word = std::any_of(relocated.begin(), relocated.end(),
                                             [&](std::uint32_t r) { return at >= r && at < r + 4; });
            if (!in_word) {
                ASSERT_EQ(moved[at], preferred[at]) << std::hex << at;
            }
        }
    }

    // A buffer shorter than the image is refused, not overrun.
    Bytes short_memory(*relocated.rbegin() + 2);
    const auto refused = image.relocate(short_memory, 0x10000000u);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("lies outside the image"), std::string::npos);
}

TEST(PeSample, ResourcesBitmapsNamedAndVersion) {
    const Image image = parse_sample();
    // A bitmap resource is the .bmp file without its 14-byte file header.
    const struct { std::uint32_t id; const char* file; } bitmaps[] = {
        {0x100, "square.bmp"}, {0x101, "column.bmp"}};
    for (const auto& b : bitmaps) {
        const Bytes bmp = pe_test::read_file(SOURCE_DIR "/tests/fixtures/pe_sample/" + std::string(b.file));
        const Resource* r = image.find_resource(kResourceBitmap, b.id, 0x409);
        ASSERT_NE(r, nullptr) << b.file;
        EXPECT_EQ(r->size, bmp.size() - 14);
        EXPECT_TRUE(std::equal(r->bytes.begin(), r->bytes.end(), bmp.begin() + 14, bmp.end()));
    }
    EXPECT_EQ(image.find_resource(kResourceBitmap, 0x100, 0x407), nullptr);
    EXPECT_NE(image.find_resource(kResourceBitmap, 0x100), nullptr);
    EXPECT_EQ(image.find_resource(kResourceBitmap, 0x102), nullptr);

    const auto named = std::find_if(image.resources().begin(), image.resources().end(),
                                    [](const Resource& r) { return !r.id.number; });
    ASSERT_NE(named, image.resources().end());
    EXPECT_EQ(named->type, (ResourceId{10, ""}));
    EXPECT_EQ(named->id.name, "GREETING");
    EXPECT_EQ(std::string(named->bytes.begin(), named->bytes.end()), std::string("hello\0", 6));

    EXPECT_NE(image.find_resource(kResourceVersion, 1, 0x409), nullptr);
    EXPECT_EQ(image.resources().size(), 4u);
}

TEST(PeSample, VersionInfo) {
    const auto version = parse_sample().version_info();
    ASSERT_TRUE(version) << version.error().message;
    EXPECT_EQ(version->file_version_ms, 0x00010002u);
    EXPECT_EQ(version->file_version_ls, 0x00030004u);
    EXPECT_EQ(version->product_version_ms, 0x00050006u);
    EXPECT_EQ(version->product_version_ls, 0x00070008u);
    EXPECT_EQ(version->flags_mask, 0x3fu);
    EXPECT_EQ(version->flags, 2u);
    EXPECT_EQ(version->file_os, 0x40004u);
    EXPECT_EQ(version->file_type, 2u);
    EXPECT_EQ(version->file_subtype, 0u);

    ASSERT_EQ(version->string_tables.size(), 1u);
    EXPECT_EQ(version->string_tables[0].key, "040904b0");
    using Strings = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(version->string_tables[0].strings,
              (Strings{{"FileDescription", "PE parser sample"},
                       {"FileVersion", "1.2.3.4"},
                       {"LegalCopyright", "\u00a9 Vorn \u20ac"}}));
    using Pairs = std::vector<std::pair<std::uint16_t, std::uint16_t>>;
    EXPECT_EQ(version->translations, (Pairs{{0x409, 0x4b0}}));
}

}  // namespace
