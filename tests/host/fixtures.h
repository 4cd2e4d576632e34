// Paths of the host tests' fixture DLLs and small helpers shared by the suites.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fixtures {

inline std::filesystem::path dir(const char* name) { return std::filesystem::path(FIXTURE_DIR) / name; }
inline std::filesystem::path test_gauge() { return dir("test_gauge") / "TestGauge.gau"; }
inline std::filesystem::path host_probe() { return dir("host_probe") / "HostProbe.dll"; }
inline std::filesystem::path sound_dir() { return dir("gauge_sound"); }
inline std::filesystem::path sound_noterm_dir() { return dir("gauge_sound_noterm"); }

inline std::vector<std::uint8_t> read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh, empty folder for one test.
inline std::filesystem::path scratch(const std::string& name) {
    auto p = std::filesystem::temp_directory_path() / ("panelhost-tests-" + std::to_string(::getpid())) / name;
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

}  // namespace fixtures
