#include "validate/sound_library.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <utility>

namespace panelhost::validate {
namespace {

// Layout of the stand-in: headers in the first 0x200 bytes of the file, one
// section (.text, code and export table) at RVA 0x1000, file offset 0x200.
constexpr std::uint32_t kImageBase = 0x5E000000;   // away from the usual DLL bases
constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kPeOffset = 0x40;
constexpr std::uint32_t kOptionalHeaderSize = 224;

class Bytes {
public:
    explicit Bytes(std::size_t size) : b_(size, 0) {}
    void u8(std::size_t at, std::uint8_t v) { b_.at(at) = v; }
    void u16(std::size_t at, std::uint16_t v) { u8(at, v & 0xFF), u8(at + 1, v >> 8); }
    void u32(std::size_t at, std::uint32_t v) { u16(at, v & 0xFFFF), u16(at + 2, v >> 16); }
    void bytes(std::size_t at, std::initializer_list<std::uint8_t> v) {
        for (std::uint8_t x : v) u8(at++, x);
    }
    void text(std::size_t at, std::string_view s) {
        for (char c : s) u8(at++, static_cast<std::uint8_t>(c));
        u8(at, 0);
    }
    std::vector<std::uint8_t> take() { return std::move(b_); }

private:
    std::vector<std::uint8_t> b_;
};

}  // namespace

std::vector<std::uint8_t> make_sound_library(const std::vector<std::string>& wanted) {
    std::vector<std::string> names = wanted;
    std::sort(names.begin(), names.end());   // the export name table is sorted

    // Section contents, as offsets from the section start.
    constexpr std::uint32_t kEntry = 0x00;          // mov eax, 1; ret 12
    constexpr std::uint32_t kFunctions = 0x10;      // 4 bytes per entry
    const std::uint32_t exports = 0x100;            // export directory
    const std::uint32_t n = static_cast<std::uint32_t>(names.size());
    const std::uint32_t address_table = exports + 40;
    const std::uint32_t name_table = address_table + 4 * n;
    const std::uint32_t ordinal_table = name_table + 4 * n;
    std::uint32_t strings = ordinal_table + 2 * n;
    std::uint32_t section_size = strings + 16;
    for (const auto& name : names) section_size += static_cast<std::uint32_t>(name.size()) + 1;
    const std::uint32_t raw_size = (section_size + kFileAlignment - 1) / kFileAlignment * kFileAlignment;

    Bytes f(kFileAlignment + raw_size);
    // DOS header: the signature and where the PE header lies.
    f.bytes(0, {'M', 'Z'});
    f.u32(0x3C, kPeOffset);
    // PE signature and COFF header.
    std::size_t at = kPeOffset;
    f.bytes(at, {'P', 'E', 0, 0});
    f.u16(at + 4, 0x14C);                 // i386
    f.u16(at + 6, 1);                     // sections
    f.u16(at + 20, kOptionalHeaderSize);
    f.u16(at + 22, 0x2102);               // executable image, 32-bit, DLL
    // Optional header (PE32).
    const std::size_t opt = at + 24;
    f.u16(opt + 0, 0x10B);
    f.u32(opt + 4, raw_size);             // size of code
    f.u32(opt + 16, kSectionRva + kEntry);
    f.u32(opt + 20, kSectionRva);         // base of code
    f.u32(opt + 24, kSectionRva);         // base of data
    f.u32(opt + 28, kImageBase);
    f.u32(opt + 32, kSectionAlignment);
    f.u32(opt + 36, kFileAlignment);
    f.u16(opt + 40, 4);                   // OS version 4.0
    f.u16(opt + 48, 4);                   // subsystem version 4.0
    const std::uint32_t virtual_size = (section_size + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment;
    f.u32(opt + 56, kSectionRva + virtual_size);   // size of image
    f.u32(opt + 60, kFileAlignment);                // size of headers
    f.u16(opt + 68, 2);                   // subsystem: Windows GUI
    f.u32(opt + 72, 0x100000);            // stack reserve
    f.u32(opt + 76, 0x1000);              // stack commit
    f.u32(opt + 80, 0x100000);            // heap reserve
    f.u32(opt + 84, 0x1000);              // heap commit
    f.u32(opt + 92, 16);                  // data directories
    f.u32(opt + 96, kSectionRva + exports);                 // export directory
    f.u32(opt + 100, section_size - exports);
    // Section header.
    const std::size_t sec = opt + kOptionalHeaderSize;
    f.text(sec, ".text");
    f.u32(sec + 8, section_size);
    f.u32(sec + 12, kSectionRva);
    f.u32(sec + 16, raw_size);
    f.u32(sec + 20, kFileAlignment);
    f.u32(sec + 36, 0x60000020);          // code, executable, readable

    // Section contents.
    const std::size_t s = kFileAlignment;
    f.bytes(s + kEntry, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x0C, 0x00});
    for (std::uint32_t i = 0; i < n; ++i) f.bytes(s + kFunctions + 4 * i, {0x31, 0xC0, 0xC3, 0xCC});
    const std::uint32_t dll_name = strings;
    f.text(s + dll_name, "GaugeSound.dll");
    strings += 16;
    f.u32(s + exports + 12, kSectionRva + dll_name);
    f.u32(s + exports + 16, 1);           // ordinal base
    f.u32(s + exports + 20, n);
    f.u32(s + exports + 24, n);
    f.u32(s + exports + 28, kSectionRva + address_table);
    f.u32(s + exports + 32, kSectionRva + name_table);
    f.u32(s + exports + 36, kSectionRva + ordinal_table);
    for (std::uint32_t i = 0; i < n; ++i) {
        f.u32(s + address_table + 4 * i, kSectionRva + kFunctions + 4 * i);
        f.u32(s + name_table + 4 * i, kSectionRva + strings);
        f.u16(s + ordinal_table + 2 * i, static_cast<std::uint16_t>(i));
        f.text(s + strings, names[i]);
        strings += static_cast<std::uint32_t>(names[i].size()) + 1;
    }
    return f.take();
}

std::string_view describe(SoundCondition condition) {
    switch (condition) {
    case SoundCondition::present: return "sound library present";
    case SoundCondition::absent: return "sound library absent";
    case SoundCondition::no_terminate: return "sound library lacking \"TerminateSounds\"";
    case SoundCondition::no_entries: return "sound library lacking all three entries";
    }
    return "?";
}

Result<SoundLibraries> SoundLibraries::create(const std::optional<std::filesystem::path>& user_dir) {
    std::error_code ec;
    const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
    if (ec) return fail("no temporary folder: " + ec.message());
    std::string pattern = (tmp / "panelhost-validate-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return fail("cannot create a temporary folder in " + tmp.string());
    SoundLibraries libs;
    libs.root_ = pattern;
    libs.user_dir_ = user_dir;

    const std::pair<SoundCondition, std::vector<std::string>> stand_ins[] = {
        {SoundCondition::present, {"GaugePlaySound", "GaugeStopSound", "TerminateSounds"}},
        {SoundCondition::no_terminate, {"GaugePlaySound", "GaugeStopSound"}},
        {SoundCondition::no_entries, {}},
    };
    for (SoundCondition c : kSoundConditions) {
        std::filesystem::create_directory(libs.root_ / std::to_string(static_cast<int>(c)), ec);
        if (ec) return fail("cannot create a folder in " + libs.root_.string() + ": " + ec.message());
    }
    for (const auto& [condition, entries] : stand_ins) {
        const auto bytes = make_sound_library(entries);
        const auto path = libs.root_ / std::to_string(static_cast<int>(condition)) / "GaugeSound.dll";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) return fail("cannot write " + path.string());
    }
    return libs;
}

SoundLibraries::SoundLibraries(SoundLibraries&& other) noexcept
    : root_(std::exchange(other.root_, {})), user_dir_(std::move(other.user_dir_)) {}

SoundLibraries::~SoundLibraries() {
    if (root_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path SoundLibraries::dir(SoundCondition condition) const {
    if (condition == SoundCondition::present && user_dir_) return *user_dir_;
    return root_ / std::to_string(static_cast<int>(condition));
}

}  // namespace panelhost::validate
