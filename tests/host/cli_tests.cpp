// The panelhost executable: exit codes, the life it prints, inspect's JSON
// and scripts.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "fixtures.h"

namespace {

struct Output {
    int code;
    std::string out;
};

Output panelhost(const std::string& args) {
    std::string cmd = std::string(PANELHOST_EXE) + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {-1, {}};
    std::string out;
    std::array<char, 4096> buf{};
    while (auto n = fread(buf.data(), 1, buf.size(), p)) out.append(buf.data(), n);
    int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string gauge() { return fixtures::test_gauge().string(); }
std::string sound() { return " --library-dir " + fixtures::sound_dir().string(); }

TEST(Cli, ExitCodes) {
    struct Case {
        std::string args;
        int code;
    } cases[] = {
        {"--help", 0},
        {"run --help", 0},
        {"inspect --help", 0},
        {"", 2},
        {"frobnicate", 2},
        {"run " + gauge() + sound(), 0},
        {"run " + gauge() + " --set 566", 2},
        {"run " + gauge() + " --set x=1", 2},
        {"run " + gauge() + " --set 566=1.0.0", 2},
        {"run " + gauge() + " --cycles -1", 2},
        {"run /nonexistent/X.gau", 1},
        {"inspect /nonexistent/X.gau", 1},
        {"run " + fixtures::host_probe().string(), 1},   // a DLL but not a gauge
    };
    for (const auto& c : cases) EXPECT_EQ(panelhost(c.args).code, c.code) << c.args;
}

TEST(Cli, RunPrintsEachElementAfterTheLife) {
    auto r = panelhost("run " + gauge() + sound() + " --set 100=2.5 --set 300=1e1 --set 101=-inf --cycles 2");
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out,
              "element 0 static 0x100 result=- flags=0x00000083\n"
              "element 1 needle 0x1100 result=12.5 flags=0x00000087\n"
              "element 2 static 0x1300 result=- flags=0x00000083\n"
              "element 3 icon 0x1200 result=0 flags=0x40000087\n"
              "tooltip: Test Gauge\n");
}

TEST(Cli, TraceIsJsonLinesWithExactValues) {
    auto r = panelhost("run " + gauge() + sound() + " --trace --set 100=nan --set 101=-0 --set 300=inf");
    ASSERT_EQ(r.code, 0);
    std::istringstream lines(r.out);
    std::string line;
    std::vector<nlohmann::json> events;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] == '{') events.push_back(nlohmann::json::parse(line));
    ASSERT_FALSE(events.empty());
    std::map<int, nlohmann::json> refreshed;
    for (const auto& e : events)
        if (e["event"] == "refresh") refreshed[e["token"]] = e["value"];
    EXPECT_EQ(refreshed[100], "nan");
    EXPECT_EQ(refreshed[101].dump(), "-0.0");
    bool saw_inf = false;
    for (const auto& e : events)
        if (e["event"] == "panel_service" && e["token"] == 300) saw_inf = e["value"] == "inf";
    EXPECT_TRUE(saw_inf);
}

TEST(Cli, InspectJson) {
    auto r = panelhost("inspect " + gauge() + " --json");
    ASSERT_EQ(r.code, 0);
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["export_name"], "TestGauge.gau");
    EXPECT_EQ(j["exports"][0]["name"], "Linkage");
    EXPECT_EQ(j["exports"][0]["ordinal"], 1);
    EXPECT_EQ(j["module_vars"], nlohmann::json::parse("[300, 301]"));
    EXPECT_EQ(j["linkage"]["version"], "0x00000800");
    const auto& g = j["gauges"][0];
    EXPECT_EQ(g["name"], "TestGauge");
    EXPECT_EQ(g["header_version"], 800);
    ASSERT_EQ(g["elements"].size(), 4u);
    EXPECT_EQ(g["elements"][1]["table"][1]["value"], 100.0);
    EXPECT_EQ(g["elements"][3]["picture_count"], 2);
    EXPECT_EQ(g["mouse_rects"][1]["tooltip"], "Test Gauge");
    EXPECT_EQ(j["bitmaps"].size(), 5u);
    EXPECT_EQ(j["bitmaps"][0]["bits_per_pixel"], 24);
    EXPECT_EQ(j["version"]["file_version"], "1.0.0.0");
    EXPECT_EQ(j["version"]["file_type"], 1);
}

TEST(Cli, ScriptRunsStepsInOrder) {
    auto dir = fixtures::scratch("cli");
    {
        std::ofstream s(dir / "steps.txt");
        s << "# two instances, a second holder of the library, a re-initialisation\n"
             "imports\nmodule-init\ninstance\ninstance\n"
             "load GaugeSound\n"
             "send 4\nsend 4 @1\nset 100=1\nrefresh 1\ncallback 1 @1\nsend 12\n"
             "send 4\nset 100=3\ncycle 2 @1\nprint @1\nfree GaugeSound\nsend 12 @1\nmodule-deinit\nunload\n";
    }
    auto r = panelhost("run " + gauge() + sound() + " --script " + (dir / "steps.txt").string());
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("element 1 needle 0x1100 result=3 flags=0x00000087"), std::string::npos) << r.out;

    std::ofstream(dir / "bad.txt") << "imports\nsned 4\n";
    EXPECT_EQ(panelhost("run " + gauge() + " --script " + (dir / "bad.txt").string()).code, 2);
    std::ofstream(dir / "fails.txt") << "send 4\n";   // no instance
    EXPECT_EQ(panelhost("run " + gauge() + " --script " + (dir / "fails.txt").string()).code, 1);
}

}  // namespace
