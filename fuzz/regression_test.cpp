// Replays the saved fuzzing findings: regressions/<target>/<case>.bin is an
// input that once crashed, hung or leaked in that target (or tripped a
// sanitizer), and <case>.txt the one-line account the fixed code gives for it.
// Built with the sanitizers, so a finding that comes back fails here too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "target.h"

namespace {

namespace fs = std::filesystem;
using panelhost::fuzz::kTargets;

struct Case {
    std::string target;
    fs::path input;
};

std::vector<Case> saved_cases() {
    std::vector<Case> cases;
    for (const auto& t : kTargets) {
        const fs::path dir = fs::path(REGRESSION_DIR) / t.name;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() == ".bin") cases.push_back({std::string(t.name), entry.path()});
        }
    }
    std::ranges::sort(cases, {}, [](const Case& c) { return c.input; });
    return cases;
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.target << "/" << c.input.filename().string(); }

class SavedFinding : public testing::TestWithParam<Case> {};

TEST_P(SavedFinding, GivesItsRecordedAccount) {
    const Case& c = GetParam();
    const auto target = std::ranges::find(kTargets, c.target, &panelhost::fuzz::Target::name);
    ASSERT_NE(target, std::end(kTargets));
    const std::string bytes = read(c.input);
    std::string expected = read(fs::path(c.input).replace_extension(".txt"));
    while (!expected.empty() && expected.back() == '\n') expected.pop_back();
    ASSERT_FALSE(expected.empty()) << "no account recorded beside " << c.input;

    const std::string account = target->run(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    EXPECT_EQ(account, expected);
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SavedFinding, testing::ValuesIn(saved_cases()),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.target + "_" + info.param.input.stem().string();
                             std::ranges::replace_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return name;
                         });

}  // namespace
