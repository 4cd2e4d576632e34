// art: draws the gauges' bitmaps and writes them under the repository root.
//
//   art [--root DIR] [--check] [--list] [NAME...]
//
// Without names it draws every registered set. --check writes nothing and
// exits 1 when a committed file differs from what the drawing gives.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/bmp.h"
#include "lib/registry.h"

#ifndef ART_DEFAULT_ROOT
#define ART_DEFAULT_ROOT "."
#endif

int main(int argc, char** argv) {
    CLI::App app{"Draws the gauge bitmaps and writes them under the repository root."};
    std::string root = ART_DEFAULT_ROOT;
    std::vector<std::string> names;
    bool check = false, list = false;
    app.add_option("--root", root, "repository root the files are written under")->capture_default_str();
    app.add_flag("--check", check, "compare with the files on disk instead of writing them");
    app.add_flag("--list", list, "list the drawing sets");
    app.add_option("names", names, "drawing sets to draw (default: all)");
    CLI11_PARSE(app, argc, argv);

    if (list) {
        for (const auto& [name, draw] : art::drawing_sets()) std::printf("%s\n", name.c_str());
        return 0;
    }
    if (names.empty())
        for (const auto& [name, draw] : art::drawing_sets()) names.push_back(name);

    int status = 0;
    for (const std::string& name : names) {
        const art::DrawSet draw = art::find_drawing_set(name);
        if (!draw) {
            std::fprintf(stderr, "art: no drawing set \"%s\" (try --list)\n", name.c_str());
            return 2;
        }
        auto files = draw();
        if (!files) {
            std::fprintf(stderr, "art: %s: %s\n", name.c_str(), files.error().c_str());
            return 1;
        }
        for (const art::OutputFile& f : *files) {
            const std::filesystem::path path = std::filesystem::path(root) / f.path;
            if (check) {
                auto on_disk = art::read_file(path);
                const bool same = on_disk && *on_disk == f.bytes;
                std::printf("%s %s\n", same ? "same   " : "differs", f.path.c_str());
                if (!same) status = 1;
                continue;
            }
            if (auto w = art::write_file(path, f.bytes); !w) {
                std::fprintf(stderr, "art: %s\n", w.error().c_str());
                return 1;
            }
            std::printf("wrote %s\n", f.path.c_str());
        }
    }
    return status;
}
