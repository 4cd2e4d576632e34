// The validator on modules whose faults are known: each faulty fixture must
// be named by its test, the conformant fixture and the shipped modules must
// pass everything, and the report must be replayable from its seed.
#include "pe/image.h"
#include "panel/session.h"
#include "validate/sound_library.h"
#include "validate/suite.h"
#include "validate/validator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
namespace v = panelhost::validate;

namespace {

fs::path fixture(const std::string& name) { return fs::path(FIXTURE_DIR) / (name + ".gau"); }

struct Outcome {
    int exit = -1;
    std::string out, err;
    std::vector<std::string> failed, warned, passed;
    std::string last_line;
};

Outcome validate(v::Options options) {
    std::ostringstream out, err;
    Outcome run;
    run.exit = v::run(options, out, err);
    run.out = out.str();
    run.err = err.str();
    std::istringstream lines(run.out);
    std::string line;
    const std::regex outcome(R"(^  (FAIL |warn |pass )  (\S+)  .*)");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, outcome)) {
            auto& list = m[1] == "FAIL " ? run.failed : m[1] == "warn " ? run.warned : run.passed;
            list.push_back(m[2]);
        }
        if (!line.empty()) run.last_line = line;
    }
    return run;
}

v::Options options(const fs::path& module, int level, std::uint64_t seed = 1234) {
    return v::Options{.module = module, .level = level, .seed = seed};
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::size_t tests_up_to(int level) {
    const auto tests = v::all_tests();
    return static_cast<std::size_t>(std::count_if(tests.begin(), tests.end(), [&](const v::TestCase& t) { return t.level <= level; }));
}

// A temporary folder removed at the end of the test.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "validate-test-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

std::vector<std::uint8_t> read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// ------------------------------------------------------------------ fixtures

struct FaultCase {
    const char* fixture;
    const char* test;    // the test that must name the fault
};

const FaultCase kFaults[] = {
    {"faulty_stack", "life/calling-convention"},
    {"faulty_service", "life/panel-services"},
    {"faulty_leak", "life/references"},
    {"faulty_loop", "life/call-budget"},
    {"faulty_rodata", "life/memory-writes"},
    {"faulty_drawflag", "values/draw-flags"},
    {"faulty_instances", "endurance/instances"},
    {"faulty_reloc", "life/memory-access"},   // faults only when loaded away from its base
    {"faulty_import", "life/imports"},
};

TEST(ValidateFixtures, EachFaultIsNamedByItsTest) {
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.fixture);
        const Outcome run = validate(options(fixture(c.fixture), v::kMaxLevel));
        EXPECT_EQ(run.exit, v::kModuleFailed) << run.out << run.err;
        EXPECT_TRUE(contains(run.failed, c.test)) << run.out;
        // The file itself is sound: every fault lies in what the module does.
        for (const std::string& name : run.failed) EXPECT_NE(name.rfind("file/", 0), 0u) << name;
    }
}

TEST(ValidateFixtures, ConformantFixturePassesEveryLevel) {
    const Outcome run = validate(options(fixture("faulty_none"), v::kMaxLevel));
    EXPECT_EQ(run.exit, v::kAllPassed) << run.out << run.err;
    EXPECT_TRUE(run.failed.empty()) << run.out;
    EXPECT_TRUE(run.warned.empty()) << run.out;
    EXPECT_EQ(run.last_line, std::to_string(tests_up_to(v::kMaxLevel)) + " passed, 0 failed");
}

TEST(ValidateFixtures, StateKeptOnPurposeIsAWarningOnly) {
    const Outcome run = validate(options(fixture("faulty_state"), v::kMaxLevel));
    EXPECT_EQ(run.exit, v::kAllPassed) << run.out;
    EXPECT_TRUE(run.failed.empty()) << run.out;
    EXPECT_EQ(run.warned, std::vector<std::string>{"values/determinism"}) << run.out;
    EXPECT_EQ(run.last_line, std::to_string(tests_up_to(v::kMaxLevel)) + " passed, 0 failed");
}

TEST(ValidateShippedModules, PassAtTheTopLevel) {
    for (const char* name : {"QV_VornVA", "QV_Vorn_GearCtrls", "QV_VornGenerWng"}) {
        SCOPED_TRACE(name);
        const Outcome run = validate(options(fs::path(DIST_DIR) / (std::string(name) + ".gau"), v::kMaxLevel));
        EXPECT_EQ(run.exit, v::kAllPassed) << run.out << run.err;
        EXPECT_TRUE(run.failed.empty()) << run.out;
    }
}

// ------------------------------------------------------------------ report

TEST(ValidateReport, FailureSaysHowToReproduceAndTheSeedReplaysIt) {
    const Outcome first = validate(options(fixture("faulty_leak"), 4, 42));
    const Outcome again = validate(options(fixture("faulty_leak"), 4, 42));
    EXPECT_EQ(first.out, again.out);
    EXPECT_NE(first.out.find("seed 42"), std::string::npos);
    const std::string reproduce =
        "reproduce: panelhost validate " + fixture("faulty_leak").string() + " --level 2 --seed 42";
    EXPECT_NE(first.out.find(reproduce), std::string::npos) << first.out;
    EXPECT_TRUE(std::regex_match(first.last_line, std::regex(R"(\d+ passed, [1-9]\d* failed)"))) << first.last_line;
    EXPECT_EQ(first.failed.size() + first.passed.size() + first.warned.size(), tests_up_to(4));
}

TEST(ValidateReport, UnseededRunPrintsASeedThatReplaysIt) {
    v::Options o = options(fixture("faulty_none"), 4);
    o.seed.reset();
    const Outcome run = validate(o);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.out, m, std::regex(R"(seed (\d+) \(replay with --seed \1\))"))) << run.out;
    const Outcome replay = validate(options(fixture("faulty_none"), 4, std::stoull(m[1])));
    EXPECT_EQ(run.out, replay.out);
}

TEST(ValidateReport, RepeatRunsEachPassWithTheNextSeed) {
    v::Options o = options(fixture("faulty_none"), 1, 7);
    o.repeat = 2;
    const Outcome run = validate(o);
    EXPECT_EQ(run.exit, v::kAllPassed);
    EXPECT_NE(run.out.find("pass 1 of 2\nseed 7 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("pass 2 of 2\nseed 8 "), std::string::npos) << run.out;
    EXPECT_EQ(run.last_line, std::to_string(2 * tests_up_to(1)) + " passed, 0 failed");
}

TEST(ValidateReport, ValidatorThatCannotRunExitsTwo) {
    TempDir empty;
    struct Case {
        const char* what;
        v::Options options;
    };
    const Case cases[] = {
        {"missing file", options(empty.path / "missing.gau", 1)},
        {"a folder", options(empty.path, 1)},
        {"level 0", options(fixture("faulty_none"), 0)},
        {"level 6", options(fixture("faulty_none"), 6)},
        {"repeat 0", [] { auto o = options(fixture("faulty_none"), 1); o.repeat = 0; return o; }()},
        {"library folder without GaugeSound.dll",
         [&] { auto o = options(fixture("faulty_none"), 2); o.library_dir = empty.path; return o; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = validate(c.options);
        EXPECT_EQ(run.exit, v::kCouldNotRun);
        EXPECT_FALSE(run.err.empty());
    }
}

// ------------------------------------------------------------------ level 1

// The fixture's records, located in its file bytes.
class FixtureFile {
public:
    explicit FixtureFile(const fs::path& path) : bytes(read_file(path)), image_(panelhost::pe::Image::parse(bytes).value()) {}

    std::size_t offset(std::uint32_t va) const {
        const std::uint32_t rva = va - image_.image_base();
        for (const auto& s : image_.sections())
            if (rva >= s.rva && rva < s.rva + s.raw_size) return s.raw_offset + (rva - s.rva);
        ADD_FAILURE() << "address " << va << " is not in the file";
        return 0;
    }
    std::uint32_t u32(std::uint32_t va) const {
        std::uint32_t x;
        std::memcpy(&x, bytes.data() + offset(va), 4);
        return x;
    }
    void set_u32(std::uint32_t va, std::uint32_t x) { std::memcpy(bytes.data() + offset(va), &x, 4); }

    std::uint32_t linkage() const { return image_.image_base() + image_.find_export("Linkage")->rva; }
    std::uint32_t header() const { return u32(linkage() + 24); }
    std::uint32_t root() const { return u32(u32(header() + 8)); }
    std::uint32_t mouse_rects() const { return u32(header() + 20); }

    std::vector<std::uint8_t> bytes;

private:
    panelhost::pe::Image image_;
};

TEST(ValidateFile, DamagedRecordsAreNamedByTheirTest) {
    struct Case {
        const char* what;
        std::function<void(FixtureFile&)> damage;
        const char* test;
    };
    const Case cases[] = {
        {"module id", [](FixtureFile& f) { f.set_u32(f.linkage(), 0x14); }, "file/linkage"},
        {"a second gauge", [](FixtureFile& f) { f.set_u32(f.linkage() + 28, f.header()); }, "file/linkage"},
        {"header version 0x800", [](FixtureFile& f) { f.set_u32(f.header(), 0x800); }, "file/gauge-header"},
        {"gauge callback outside the code", [](FixtureFile& f) { f.set_u32(f.header() + 12, 0x10); }, "file/gauge-header"},
        {"stored draw flag 0x100", [](FixtureFile& f) { f.set_u32(f.root() + 48, 0x183); }, "file/element-tree"},
        {"unknown element kind", [](FixtureFile& f) { f.set_u32(f.root(), 7); }, "file/element-tree"},
        {"child list loops to the root",
         [](FixtureFile& f) { f.set_u32(f.u32(f.root() + 40), f.root()); }, "file/element-tree"},
        {"missing bitmap", [](FixtureFile& f) { f.set_u32(f.root() + 4, 0x999); }, "file/bitmaps"},
        {"unknown mouse-area type", [](FixtureFile& f) { f.set_u32(f.mouse_rects(), 9); }, "file/mouse-areas"},
        {"no Linkage export",
         [](FixtureFile& f) {
             const auto at = std::search(f.bytes.begin(), f.bytes.end(), std::begin("Linkage"), std::end("Linkage"));
             ASSERT_NE(at, f.bytes.end());
             *at = 'X';
         },
         "file/exports"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FixtureFile file(fixture("faulty_none"));
        c.damage(file);
        const fs::path path = dir.path / "faulty_none.gau";
        write_file(path, file.bytes);
        const Outcome run = validate(options(path, 1));
        EXPECT_EQ(run.exit, v::kModuleFailed) << run.out;
        EXPECT_TRUE(contains(run.failed, c.test)) << run.out;
    }
}

TEST(ValidateFile, NotAModuleFailsTheFileAndSkipsTheRest) {
    TempDir dir;
    const fs::path path = dir.path / "text.gau";
    write_file(path, {'n', 'o', 't', ' ', 'a', ' ', 'P', 'E'});
    const Outcome run = validate(options(path, v::kMaxLevel));
    EXPECT_EQ(run.exit, v::kModuleFailed);
    EXPECT_EQ(run.failed, std::vector<std::string>{"file/pe-image"});
    EXPECT_EQ(run.last_line, "0 passed, 1 failed");
}

// ------------------------------------------------------------------ stand-ins

TEST(SoundLibraryStandIn, LoadsAndExportsExactlyTheEntriesAskedFor) {
    TempDir dir;
    write_file(dir.path / "GaugeSound.dll", v::make_sound_library({"TerminateSounds", "GaugePlaySound"}));
    auto host = panelhost::panel::Host::create({.library_dir = dir.path}).value();
    const std::uint32_t handle = host->load_library("GaugeSound");
    ASSERT_NE(handle, 0u);
    auto& modules = host->modules();
    EXPECT_NE(modules.proc_address(handle, "TerminateSounds"), 0u);
    EXPECT_NE(modules.proc_address(handle, "GaugePlaySound"), 0u);
    EXPECT_EQ(modules.proc_address(handle, "GaugeStopSound"), 0u);
    EXPECT_EQ(modules.ref_count("GaugeSound"), 1u);
    EXPECT_TRUE(host->free_library(handle));
    EXPECT_FALSE(modules.is_loaded("GaugeSound"));
}

}  // namespace
