// The module files themselves, as a loader and the host first see them:
// exports, imports, relocations, resources, and the frame's records as
// stored (before any host write).
#include <gtest/gtest.h>

#include <gauge/records.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "modules.h"
#include "pe/image.h"

namespace {

using namespace panelhost::pe;
using frame_test::ShippedModule;

Image load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    auto image = Image::parse(std::move(bytes));
    if (!image) throw std::runtime_error(path.string() + ": " + image.error().message);
    return std::move(*image);
}

const Section* section_of(const Image& image, std::uint32_t rva) {
    for (const Section& s : image.sections())
        if (rva >= s.rva && rva < s.rva + std::max(s.virtual_size, s.raw_size)) return &s;
    return nullptr;
}

// A record as stored, read from the memory image at the preferred base.
template <class T> T record_at(const std::vector<std::uint8_t>& memory, std::uint32_t rva) {
    T t{};
    if (std::uint64_t{rva} + sizeof(T) > memory.size()) throw std::runtime_error("record outside the image");
    std::memcpy(&t, memory.data() + rva, sizeof(T));
    return t;
}

std::string string_at(const std::vector<std::uint8_t>& memory, std::uint32_t rva) {
    std::string s;
    while (rva < memory.size() && memory[rva] != 0) s += static_cast<char>(memory[rva++]);
    return s;
}

class ModuleFile : public ::testing::TestWithParam<ShippedModule> {};

TEST_P(ModuleFile, ExportsExactlyLinkageAndImportTableAsData) {
    const ShippedModule& m = GetParam();
    const Image image = load(m.path());
    EXPECT_EQ(image.export_module_name(), m.name + ".gau");
    ASSERT_EQ(image.exports().size(), 2u);
    for (auto [name, ordinal] : {std::pair{"Linkage", 1u}, std::pair{"ImportTable", 2u}}) {
        const Export* e = image.find_export(name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(e->ordinal, ordinal) << name;
        EXPECT_FALSE(e->forwarder) << name;
        const Section* s = section_of(image, e->rva);
        ASSERT_NE(s, nullptr) << name;
        EXPECT_TRUE(s->writable()) << name << " lies in " << s->name;
    }
}

TEST_P(ModuleFile, ImportsOnlyTheFourKernelFunctions) {
    const Image image = load(GetParam().path());
    std::set<std::string> names;
    for (const Import& i : image.imports()) {
        std::string dll = i.dll;
        std::transform(dll.begin(), dll.end(), dll.begin(), ::toupper);
        EXPECT_EQ(dll, "KERNEL32.DLL") << i.name;
        EXPECT_FALSE(i.by_ordinal) << i.name;
        names.insert(i.name);
    }
    EXPECT_EQ(names, (std::set<std::string>{"LoadLibraryA", "GetModuleHandleA", "GetProcAddress", "FreeLibrary"}));
    EXPECT_EQ(image.imports().size(), 4u);
}

TEST_P(ModuleFile, RelocatableWithAnEntryPoint) {
    const Image image = load(GetParam().path());
    EXPECT_TRUE(image.is_dll());
    EXPECT_FALSE(image.relocations().empty());
    const Section* entry = section_of(image, image.entry_point_rva());
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->executable());
}

TEST_P(ModuleFile, VersionResource) {
    const Image image = load(GetParam().path());
    const Resource* r = image.find_resource(kResourceVersion, 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->language, 0x0409u);
    auto v = image.version_info();
    ASSERT_TRUE(v) << v.error().message;
    EXPECT_EQ(v->file_version_ms, 0x00010000u);
    EXPECT_EQ(v->file_version_ls, 0u);
    EXPECT_EQ(v->product_version_ms, 0x00010000u);
    EXPECT_EQ(v->product_version_ls, 0u);
    EXPECT_EQ(v->flags_mask, 0x3Fu);
    EXPECT_EQ(v->flags, 0u);
    EXPECT_EQ(v->file_os, 0x10004u);
    EXPECT_EQ(v->file_type, 1u);
    EXPECT_EQ(v->file_subtype, 0u);
    EXPECT_EQ(v->file_date_ms, 0u);
    EXPECT_EQ(v->file_date_ls, 0u);
    ASSERT_EQ(v->string_tables.size(), 1u);
    EXPECT_EQ(v->string_tables[0].key, "040904b0");
    std::map<std::string, std::string> strings(v->string_tables[0].strings.begin(),
                                               v->string_tables[0].strings.end());
    EXPECT_EQ(strings["FileVersion"], "1.0");
    EXPECT_EQ(strings["ProductVersion"], "1.0");
    EXPECT_EQ(v->translations, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0x0409, 0x04B0}}));
}

TEST_P(ModuleFile, BitmapsUnderTheirIdsInUsEnglish) {
    const ShippedModule& m = GetParam();
    const Image image = load(m.path());
    std::set<std::uint32_t> ids;
    for (const Resource& r : image.resources()) {
        if (r.type.number != kResourceBitmap) continue;
        ASSERT_TRUE(r.id.number) << "named bitmap " << r.id.name;
        ids.insert(*r.id.number);
        EXPECT_EQ(r.language, 0x0409u) << std::hex << *r.id.number;
    }
    EXPECT_EQ(ids, std::set<std::uint32_t>(m.bitmaps.begin(), m.bitmaps.end()));
}

// Linkage, ImportTable and the gauge header as stored: the frame's values,
// the same in every module but for the references to the module's own
// records.
TEST_P(ModuleFile, FrameRecordsAsStored) {
    const ShippedModule& m = GetParam();
    const Image image = load(m.path());
    const std::vector<std::uint8_t> memory = image.memory_image();
    const std::uint32_t base = image.image_base();
    auto inside = [&](std::uint32_t address) { return address >= base && address - base < memory.size(); };

    const auto linkage = record_at<gauge::guest::Linkage>(memory, image.find_export("Linkage")->rva);
    EXPECT_EQ(linkage.module_id, 0x13u);
    EXPECT_TRUE(inside(linkage.module_init));
    EXPECT_TRUE(inside(linkage.module_deinit));
    EXPECT_EQ(linkage.flags, 0u);
    EXPECT_EQ(linkage.priority, 0u);
    EXPECT_EQ(linkage.version, 0x800u);
    ASSERT_TRUE(inside(linkage.gauges[0]));
    EXPECT_EQ(linkage.gauges[1], 0u);

    const auto imports = record_at<gauge::guest::ImportTable>(memory, image.find_export("ImportTable")->rva);
    EXPECT_EQ(imports.entries[0].id, 0x0Fu);
    EXPECT_EQ(imports.entries[0].ref, 0u);
    EXPECT_EQ(imports.entries[1].id, 0u);
    EXPECT_EQ(imports.entries[1].ref, 0u);

    const auto header = record_at<gauge::guest::GaugeHeader>(memory, linkage.gauges[0] - base);
    EXPECT_EQ(header.header_version, 800u);
    ASSERT_TRUE(inside(header.name));
    EXPECT_EQ(string_at(memory, header.name - base), m.name);
    ASSERT_TRUE(inside(header.elements));
    EXPECT_TRUE(inside(record_at<std::uint32_t>(memory, header.elements - base)));
    EXPECT_TRUE(inside(header.callback));
    EXPECT_EQ(header.user_data, 0u);
    EXPECT_TRUE(inside(header.mouse_rects));
    EXPECT_EQ(header.default_size_mm, 100u);
    EXPECT_EQ(header.flags, 0u);
    EXPECT_EQ(header.size_x, 0u);
    EXPECT_EQ(header.size_y, 0u);
}

INSTANTIATE_TEST_SUITE_P(Shipped, ModuleFile, ::testing::ValuesIn(frame_test::shipped_modules()),
                         [](const auto& info) { return info.param.name; });

// The version resource comes from the frame: byte for byte the same in the
// three modules.
TEST(ModuleFiles, ShareOneVersionResource) {
    std::vector<std::vector<std::uint8_t>> versions;
    for (const ShippedModule& m : frame_test::shipped_modules()) {
        const Image image = load(m.path());
        const Resource* r = image.find_resource(kResourceVersion, 1);
        ASSERT_NE(r, nullptr) << m.name;
        versions.emplace_back(r->bytes.begin(), r->bytes.end());
    }
    EXPECT_EQ(versions[0], versions[1]);
    EXPECT_EQ(versions[0], versions[2]);
}

}  // namespace
