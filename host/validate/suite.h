// The validator's tests: named, grouped by level, run in order.
//
// Levels are cumulative: `--level N` runs every test of levels 1..N.
//   1 file        the module file and its static records
//   2 life        the module's life under the host, with the sound library
//                 present, absent and lacking entries
//   3 values      every token the gauge reads at edge values
//   4 fuzz        random token values and service orders, from the seed
//   5 endurance   repeated lives, reloads and several instances
#pragma once

#include "validate/check.h"

#include <functional>
#include <string>
#include <vector>

namespace panelhost::validate {

struct Subject;

struct TestCase {
    int level = 1;
    std::string group;          // "file", "life", ...
    std::string name;           // unique within the suite: "<group>/<what>"
    std::string checks;         // one line: what the test checks
    // Tests of levels above 1 need a module that could be read; when the
    // file itself failed they are skipped rather than failed again.
    bool needs_image = true;
    std::function<void(Subject&, Check&)> run;
};

std::string_view level_title(int level);

// The whole suite, in running order.
std::vector<TestCase> all_tests();

// One list per level, each in its own file.
std::vector<TestCase> file_tests();
std::vector<TestCase> life_tests();
std::vector<TestCase> value_tests();
std::vector<TestCase> fuzz_tests();
std::vector<TestCase> endurance_tests();

}  // namespace panelhost::validate
