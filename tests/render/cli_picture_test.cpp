// The picture side of the panelhost executable: `run --png`, the tooltip line
// and `sweep`, on the real modules.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "pe/image.h"
#include "render/dib.h"
#include "render/png_file.h"

namespace panelhost::render {
namespace {

struct Output {
    int code = -1;
    std::string out;
};

Output panelhost(const std::string& args) {
    const std::string cmd = std::string(PANELHOST_EXE) + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    Output o;
    std::array<char, 4096> buf{};
    while (auto n = fread(buf.data(), 1, buf.size(), p)) o.out.append(buf.data(), n);
    const int status = pclose(p);
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

std::string module(const char* name) { return (std::filesystem::path(DIST_DIR) / name).string(); }

std::filesystem::path temp_png(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("render_cli_" + std::to_string(::getpid()) + "_" + name + ".png");
}

// An empty library folder (a folder that is not there is a usage error):
// nothing for LoadLibraryA to find.
const std::string kNoLibraries = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("render_cli_no_libraries_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return " --library-dir " + dir.string();
}();

TEST(CliPicture, RunWritesTheFrameAfterTheLastCycle) {
    // 566 = 1: the generator lamp is dark, the frame is exactly its background.
    const auto png = temp_png("dark");
    const auto r = panelhost("run " + module("QV_VornGenerWng.gau") + kNoLibraries +
                             " --set 566=1 --png " + png.string());
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("tooltip"), std::string::npos) << "the lamp has no tooltip";
    auto frame = read_png(png);
    std::filesystem::remove(png);
    ASSERT_TRUE(frame) << frame.error().message;

    std::ifstream in(module("QV_VornGenerWng.gau"), std::ios::binary);
    auto image = pe::Image::parse({std::istreambuf_iterator<char>(in), {}});
    ASSERT_TRUE(image) << image.error().message;
    const pe::Resource* res = image->find_resource(pe::kResourceBitmap, 0x100);
    ASSERT_NE(res, nullptr);
    auto bg = decode_dib(res->bytes);
    ASSERT_TRUE(bg) << bg.error().message;
    ASSERT_EQ(frame->width, bg->width);
    ASSERT_EQ(frame->height, bg->height);
    int differing = 0;
    for (int y = 0; y < bg->height; ++y)
        for (int x = 0; x < bg->width; ++x) {
            const Rgb& c = bg->at(x, y);
            const Rgba want = bg->is_black(x, y) ? Rgba{} : Rgba{c.r, c.g, c.b, 255};
            differing += frame->at(x, y) != want;
        }
    EXPECT_EQ(differing, 0);
}

TEST(CliPicture, RunPrintsTheTooltip) {
    const auto r = panelhost("run " + module("QV_VornVA.gau") + kNoLibraries);
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("tooltip: Volts-Amperes Meter\n"), std::string::npos) << r.out;
}

TEST(CliPicture, SweepWritesALabelledSheet) {
    const auto png = temp_png("sweep");
    const auto r = panelhost("sweep " + module("QV_VornVA.gau") + kNoLibraries +
                             " --token 752 --from 0 --to 40 --steps 3 --set 566=1 --out " + png.string());
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "752 = 0\n752 = 20\n752 = 40\n");
    auto sheet = read_png(png);
    std::filesystem::remove(png);
    ASSERT_TRUE(sheet) << sheet.error().message;
    EXPECT_GT(sheet->width, 2 * 256);   // two columns of 256 x 256 frames, two rows
    EXPECT_GT(sheet->height, 2 * 256);
    for (const Rgba& p : sheet->pixels) ASSERT_EQ(p.a, 255) << "a sheet is opaque";
}

TEST(CliPicture, ExitCodes) {
    const std::string va = module("QV_VornVA.gau") + kNoLibraries;
    const std::string out = " --out " + temp_png("never").string();
    struct Case { std::string args; int code; } cases[] = {
        {"sweep --help", 0},
        {"sweep " + va + " --from 0 --to 1" + out, 2},                    // no --token
        {"sweep " + va + " --token 752 --from 0 --to 1", 2},              // no --out
        {"sweep " + va + " --token 752 --from x --to 1" + out, 2},
        {"sweep " + va + " --token 752 --from 0 --to 1 --steps 0" + out, 2},
        {"sweep " + va + " --token 752 --from 0 --to 1 --set 566" + out, 2},
        {"sweep /nonexistent/X.gau --token 752 --from 0 --to 1" + out, 1},
        {"sweep " + va + " --token 752 --from 0 --to 1 --out /nonexistent/dir/s.png", 1},
        {"run " + va + " --png /nonexistent/dir/f.png", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(panelhost(c.args).code, c.code) << c.args;
}

}  // namespace
}  // namespace panelhost::render
