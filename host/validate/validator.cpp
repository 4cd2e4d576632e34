#include "validate/validator.h"

#include "validate/subject.h"
#include "validate/suite.h"

#include <fmt/format.h>
#include <cctype>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>

namespace panelhost::validate {
namespace {

// A path as a shell reads it back.
std::string shell_word(const std::string& s) {
    if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./+,:=@") ==
                          std::string::npos)
        return s;
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string reproduce_command(const Options& options, int level, std::uint64_t seed) {
    std::string cmd = fmt::format("panelhost validate {} --level {} --seed {}", shell_word(options.module.string()), level, seed);
    if (options.library_dir) cmd += " --library-dir " + shell_word(options.library_dir->string());
    return cmd;
}

struct Tally {
    int passed = 0;
    int failed = 0;
};

// Reads the file and what can be read from it without running it.
Subject prepare(const Options& options, std::uint64_t seed, std::vector<std::uint8_t> bytes,
                std::shared_ptr<const SoundLibraries> sounds) {
    Subject s;
    s.sounds = std::move(sounds);
    s.options = options;
    s.seed = seed;
    s.bytes = std::move(bytes);
    auto image = pe::Image::parse(s.bytes);
    if (!image) {
        s.image_error = image.error().message;
        return s;
    }
    s.image.emplace(std::move(*image));
    s.memory = std::make_unique<ImageMemory>(*s.image);
    s.gauge = read_static_gauge(*s.image, *s.memory, options.module.filename().string());
    return s;
}

void run_pass(const Options& options, std::uint64_t seed, const std::vector<std::uint8_t>& bytes,
              std::shared_ptr<const SoundLibraries> sounds, const std::vector<TestCase>& tests, Tally& tally,
              std::ostream& out) {
    Subject subject = prepare(options, seed, bytes, std::move(sounds));
    out << fmt::format("seed {} (replay with --seed {})\n", seed, seed);
    int level = 0;
    for (const TestCase& test : tests) {
        if (test.level > options.level) break;
        if (test.level != level) {
            level = test.level;
            out << fmt::format("level {}: {}\n", level, level_title(level));
        }
        if (test.needs_image && !subject.image) {
            out << fmt::format("  skip   {}  (the file is not a loadable module)\n", test.name);
            continue;
        }
        Check check;
        test.run(subject, check);
        const bool warned = !check.findings().empty() && !check.failed();
        out << fmt::format("  {}  {}  {}\n", check.failed() ? "FAIL " : warned ? "warn " : "pass ", test.name, test.checks);
        for (const Finding& f : check.findings())
            out << fmt::format("         {}: {}\n", f.severity == Severity::error ? "error" : "warning", f.what);
        if (check.dropped() > 0) out << fmt::format("         ... and {} more like these\n", check.dropped());
        for (const std::string& note : check.notes()) out << fmt::format("         note: {}\n", note);
        if (check.failed()) {
            out << fmt::format("         reproduce: {}\n", reproduce_command(options, test.level, seed));
            ++tally.failed;
        } else {
            ++tally.passed;
        }
    }
}

// The host finds "GaugeSound" as GaugeSound.dll, in any letter case.
bool holds_sound_library(const std::filesystem::path& dir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "gaugesound.dll") return true;
    }
    return false;
}

std::uint64_t random_seed() {
    std::random_device device;
    // Small enough to type back.
    return (std::uint64_t(device()) << 16 ^ device()) % 1'000'000'000;
}

}  // namespace

std::string_view level_title(int level) {
    switch (level) {
    case 1: return "file";
    case 2: return "life";
    case 3: return "values";
    case 4: return "fuzz";
    case 5: return "endurance";
    default: return "?";
    }
}

std::vector<TestCase> all_tests() {
    std::vector<TestCase> tests;
    for (auto part : {file_tests, life_tests, value_tests, fuzz_tests, endurance_tests}) {
        auto more = part();
        tests.insert(tests.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return tests;
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
    if (options.level < kMinLevel || options.level > kMaxLevel) {
        err << fmt::format("panelhost validate: --level must be {} to {}, not {}\n", kMinLevel, kMaxLevel, options.level);
        return kCouldNotRun;
    }
    if (options.repeat < 1) {
        err << fmt::format("panelhost validate: --repeat must be at least 1, not {}\n", options.repeat);
        return kCouldNotRun;
    }
    std::ifstream file(options.module, std::ios::binary);
    if (!std::filesystem::is_regular_file(options.module) || !file) {
        err << fmt::format("panelhost validate: {}: cannot be read\n", options.module.string());
        return kCouldNotRun;
    }
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        err << fmt::format("panelhost validate: {}: read error\n", options.module.string());
        return kCouldNotRun;
    }
    if (options.library_dir) {
        if (!std::filesystem::is_directory(*options.library_dir)) {
            err << fmt::format("panelhost validate: --library-dir {}: not a directory\n", options.library_dir->string());
            return kCouldNotRun;
        }
        if (!holds_sound_library(*options.library_dir)) {
            err << fmt::format("panelhost validate: --library-dir {}: holds no GaugeSound.dll\n", options.library_dir->string());
            return kCouldNotRun;
        }
    }

    // The stand-in sound libraries the life tests load, made once.
    std::shared_ptr<SoundLibraries> sounds;
    if (options.level >= 2) {
        auto made = SoundLibraries::create(options.library_dir);
        if (!made) {
            err << "panelhost validate: " << made.error().message << "\n";
            return kCouldNotRun;
        }
        sounds = std::make_shared<SoundLibraries>(std::move(*made));
    }

    const std::uint64_t seed = options.seed.value_or(random_seed());
    const std::vector<TestCase> tests = all_tests();
    out << fmt::format("validating {} at level {}\n", options.module.string(), options.level);
    Tally tally;
    for (int pass = 0; pass < options.repeat; ++pass) {
        if (options.repeat > 1) out << fmt::format("pass {} of {}\n", pass + 1, options.repeat);
        // Each pass its own seed, so that any one can be replayed alone.
        run_pass(options, seed + static_cast<std::uint64_t>(pass), bytes, sounds, tests, tally, out);
    }
    out << fmt::format("{} passed, {} failed\n", tally.passed, tally.failed);
    return tally.failed == 0 ? kAllPassed : kModuleFailed;
}

}  // namespace panelhost::validate
