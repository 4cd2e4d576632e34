// The three shipped gauge modules and the FrameProbe fixture, for the frame
// and gauge suites.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace frame_test {

struct ShippedModule {
    std::string name;                         // gauge name = file name without ".gau"
    std::vector<std::uint32_t> tokens;        // ModuleVars, in refresh order
    std::vector<std::uint32_t> bitmaps;       // bitmap resource ids
    std::filesystem::path path() const { return std::filesystem::path(DIST_DIR) / (name + ".gau"); }
};

inline void PrintTo(const ShippedModule& m, std::ostream* os) { *os << m.name; }

inline const std::vector<ShippedModule>& shipped_modules() {
    static const std::vector<ShippedModule> modules = {
        {"QV_VornVA", {566, 364}, {0x100, 0x1100, 0x1200}},
        {"QV_Vorn_GearCtrls", {},
         {0x100, 0x1100, 0x1101, 0x1200, 0x1201, 0x1300, 0x1301, 0x1400, 0x1401}},
        {"QV_VornGenerWng", {566}, {0x100, 0x1100, 0x1101}},
    };
    return modules;
}

inline std::filesystem::path frame_probe() { return std::filesystem::path(FIXTURE_DIR) / "FrameProbe.gau"; }

}  // namespace frame_test
