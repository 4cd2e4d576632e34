// Bad input to the panelhost command line, as a user can hit it: files that
// are missing, not modules, or damaged at one field; bad options; gauges whose
// callbacks fault. Each must end with exactly one line on stderr that names
// the file or argument and the cause, the exit code for its kind (1 the module
// or file failed, 2 usage), and no crash.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "module_file.h"
#include "run_panelhost.h"

namespace {

namespace fs = std::filesystem;
using namespace cli_test;

// The smallest shipped module: the files below are copies of it with one
// field damaged.
fs::path shipped_module() { return fs::path(DIST_DIR) / "QV_VornGenerWng.gau"; }
fs::path fixture(const char* name) { return fs::path(FIXTURE_DIR) / name; }

struct Command {
    std::vector<std::string> args;
    std::string names;   // the file or argument the line must name
};

// A scratch folder per case, and the pristine module bytes.
struct CaseFiles {
    fs::path dir;
    Bytes module = read_file(shipped_module());
    Layout at{module};

    // `run` of a copy of the module with `damage` done to it.
    Command damaged(const std::function<void(Bytes&, const Layout&)>& damage,
                    std::vector<std::string> extra = {}) {
        Bytes bytes = module;
        damage(bytes, at);
        const fs::path file = dir / "Damaged.gau";
        write_file(file, bytes);
        std::vector<std::string> args = {"run", file.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return {args, file.string()};
    }
    // `run` of the intact module with these options; the line names `names`.
    Command options(std::vector<std::string> extra, std::string names) {
        std::vector<std::string> args = {"run", shipped_module().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return {args, std::move(names)};
    }
    Command file(const fs::path& path) { return {{"run", path.string()}, path.string()}; }
};

// Parts of the line that say the cause: one, or several.
struct Says {
    std::vector<std::string> parts;
    Says(const char* one) : parts{one} {}
    Says(std::initializer_list<const char*> many) : parts(many.begin(), many.end()) {}
};

struct BadInput {
    const char* name;
    std::function<Command(CaseFiles&)> command;
    int exit_code;
    Says says;
};

constexpr int kFailure = 1, kUsage = 2;

// Truncates the file at `offset`.
std::function<Command(CaseFiles&)> truncated(std::function<std::size_t(const Layout&)> offset) {
    return [offset](CaseFiles& s) { return s.damaged([&](Bytes& b, const Layout& at) { b.resize(offset(at)); }); };
}

std::vector<BadInput> cases() {
    return {
        // ---- files that are not there or not modules
        {"missing_file", [](CaseFiles& s) { return s.file(s.dir / "Nothing.gau"); }, kFailure,
         "cannot open the file: No such file or directory"},
        {"directory", [](CaseFiles& s) { return s.file(s.dir); }, kFailure, "Is a directory"},
        {"empty_file",
         [](CaseFiles& s) { return s.damaged([](Bytes& b, const Layout&) { b.clear(); }); }, kFailure,
         "truncated: DOS header needs 64 bytes at offset 0x0, file has 0"},
        {"not_pe",
         [](CaseFiles& s) { return s.damaged([](Bytes& b, const Layout&) { std::ranges::fill(b, 'x'); }); },
         kFailure, "not a PE file (no MZ signature)"},
        {"mz_without_pe_signature",
         [](CaseFiles& s) { return s.damaged([](Bytes& b, const Layout& at) { b.at(at.pe) = 'X'; }); },
         kFailure, "no PE signature"},

        // ---- truncated inside each header, and inside section data
        {"truncated_dos_header", truncated([](const Layout&) { return 40; }), kFailure,
         "truncated: DOS header"},
        {"truncated_pe_signature", truncated([](const Layout& at) { return at.pe + 2; }), kFailure,
         "truncated: PE signature"},
        {"truncated_coff_header", truncated([](const Layout& at) { return at.coff + 10; }), kFailure,
         "truncated: COFF header"},
        {"truncated_optional_header", truncated([](const Layout& at) { return at.opt + 100; }), kFailure,
         "truncated: optional header"},
        {"truncated_section_table", truncated([](const Layout& at) { return at.section_table + 50; }),
         kFailure, "truncated: section table"},
        {"truncated_section_data",
         truncated([](const Layout& at) { return at.section_end(at.section_count - 1) - 16; }), kFailure,
         "lies outside the file"},

        // ---- images this host does not run
        {"pe32_plus",
         [](CaseFiles& s) { return s.damaged([](Bytes& b, const Layout& at) { put_u16(b, at.opt, 0x20b); }); },
         kFailure, "PE32+ (64-bit) images are not supported"},
        {"wrong_machine",
         [](CaseFiles& s) { return s.damaged([](Bytes& b, const Layout& at) { put_u16(b, at.coff, 0x8664); }); },
         kFailure, "machine 0x8664 is not i386"},

        // ---- tables that point where they must not
        {"section_outside_the_file",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.section_header(0) + 20, 0x7fffff00); });
         },
         kFailure, "section .text lies outside the file"},
        {"directory_outside_the_image",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.directory(Layout::kImport), 0x7fff0000); });
         },
         kFailure, "import directory lies outside the image"},
        {"relocation_outside_the_image",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.table(Layout::kRelocation), 0x7fff0000); });
         },
         kFailure, "relocation at RVA 0x7fff"},
        {"import_from_an_unknown_dll",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { b.at(at.find_text("KERNEL32.dll") + 5) = 'X'; });
         },
         kFailure, "imports KERNEX32.dll!"},
        {"import_of_an_unknown_function",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { b.at(at.find_text("FreeLibrary") + 10) = 'Z'; });
         },
         kFailure, "imports KERNEL32.dll!FreeLibrarZ, which panelhost does not provide"},
        {"export_table_count",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.table(Layout::kExport) + 20, 0x7fffffff); });
         },
         kFailure, "export table lists 2147483647 functions"},
        {"export_name_past_the_addresses",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) {
                 const std::uint32_t ordinals = get_u32(b, at.table(Layout::kExport) + 36);
                 put_u16(b, at.offset_of(ordinals), 80);
             });
         },
         kFailure, "has ordinal index 80"},
        {"resource_cycle",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.resource_entry(0, 0) + 4, 0x80000000); });
         },
         kFailure, "resource directory loop at offset 0x0"},
        // A bitmap is decoded when the picture is drawn.
        {"bitmap_with_an_impossible_size",
         [](CaseFiles& s) {
             return s.damaged([](Bytes& b, const Layout& at) { put_u32(b, at.resource_data(2, 0x100) + 4, 100000); },
                              {"--png", (s.dir / "frame.png").string()});
         },
         kFailure, "bitmap 0x100: impossible dimensions 100000 x"},

        // ---- guest code that faults: contained, named by callback and address
        {"callback_loops_forever", [](CaseFiles& s) { return s.file(fixture("faulty_loop.gau")); }, kFailure,
         {"update callback of element 1", "instruction budget exceeded"}},
        {"callback_writes_to_unmapped_memory",
         [](CaseFiles& s) { return s.file(fixture("faulty_wild_write.gau")); }, kFailure,
         {"update callback of element 1", "write to unmapped memory 0x00001234"}},
        {"callback_leaves_the_stack_unbalanced",
         [](CaseFiles& s) { return s.file(fixture("faulty_stack.gau")); }, kFailure,
         {"update callback of element 1", "stack left unbalanced"}},

        // ---- options
        {"set_without_value", [](CaseFiles& s) { return s.options({"--set", "566"}, "--set"); }, kUsage,
         "expected TOKEN=VALUE"},
        {"set_value_not_a_number", [](CaseFiles& s) { return s.options({"--set", "566=one"}, "--set"); }, kUsage,
         "expected TOKEN=VALUE"},
        {"set_token_not_a_number", [](CaseFiles& s) { return s.options({"--set", "x=1"}, "--set"); }, kUsage,
         "bad token \"x\""},
        {"cycles_negative", [](CaseFiles& s) { return s.options({"--cycles", "-1"}, "--cycles"); }, kUsage,
         "-1"},
        {"cycles_not_a_number", [](CaseFiles& s) { return s.options({"--cycles", "many"}, "--cycles"); }, kUsage,
         "many"},
        {"missing_library_directory",
         [](CaseFiles& s) { return s.options({"--library-dir", (s.dir / "no-such-dir").string()}, "--library-dir"); },
         kUsage, "no-such-dir"},
        {"missing_file_argument", [](CaseFiles&) { return Command{{"run"}, "FILE"}; }, kUsage, "required"},
        {"script_with_an_unknown_step",
         [](CaseFiles& s) {
             const fs::path script = s.dir / "steps.txt";
             std::ofstream(script) << "imports\nsned 4\n";
             return s.options({"--script", script.string()}, script.string());
         },
         kUsage, "line 2: unknown step"},
        {"missing_script",
         [](CaseFiles& s) { return s.options({"--script", (s.dir / "none.txt").string()}, (s.dir / "none.txt").string()); },
         kFailure, "cannot open"},
    };
}

void PrintTo(const BadInput& c, std::ostream* out) { *out << c.name; }

class BadInputTest : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputTest, OneLineNamingTheInputAndCauseWithItsExitCode) {
    const BadInput& c = GetParam();
    CaseFiles setup;
    setup.dir = fs::temp_directory_path() / ("panelhost-bad-input-" + std::to_string(getpid())) / c.name;
    fs::remove_all(setup.dir);
    fs::create_directories(setup.dir);
    const Command command = c.command(setup);

    const Outcome r = run_panelhost(command.args, setup.dir);
    ASSERT_TRUE(r.exited) << "killed by signal " << r.signal << "\n" << r.err;
    EXPECT_EQ(r.code, c.exit_code) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line:\n" << r.err;
    EXPECT_EQ(r.err.rfind("panelhost: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(command.names), std::string::npos) << "does not name " << command.names << ": " << r.err;
    for (const std::string& part : c.says.parts)
        EXPECT_NE(r.err.find(part), std::string::npos) << "does not say \"" << part << "\": " << r.err;
    fs::remove_all(setup.dir);
}

INSTANTIATE_TEST_SUITE_P(Cli, BadInputTest, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

}  // namespace
