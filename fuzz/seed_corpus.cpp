// fuzz_seeds OUT_DIR FILE...
//
// Writes the seed corpus of every fuzz target from real files: each module or
// fixture DLL whole (pe_image), its resource section with the RVA in front
// (pe_resources), its version resource (pe_version) and its bitmap resources
// (dib); each .bmp file without its 14-byte file header (dib).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "pe/headers.h"
#include "pe/image.h"
#include "pe/reader.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_seed(const fs::path& dir, const std::string& name, std::span<const std::uint8_t> bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The resource directory's RVA and the memory-image bytes from there to the
// end of the section that holds it.
void write_resource_seed(const fs::path& out, const std::string& name, const panelhost::pe::Image& image) {
    using namespace panelhost::pe::detail;
    const auto headers = parse_headers(Reader(image.file(), "file"));
    if (!headers) return;
    const DataDirectory dir = headers->directories[kResourceDirectory];
    if (!dir.present()) return;
    const Bytes memory = image.memory_image();
    for (const auto& s : image.sections()) {
        const std::uint64_t end = std::uint64_t{s.rva} + mapped_size(s);
        if (dir.rva < s.rva || dir.rva >= end || end > memory.size()) continue;
        Bytes seed(4);
        for (int i = 0; i < 4; ++i) seed[i] = static_cast<std::uint8_t>(dir.rva >> (8 * i));
        seed.insert(seed.end(), memory.begin() + dir.rva, memory.begin() + static_cast<std::ptrdiff_t>(end));
        write_seed(out / "pe_resources", name, seed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR FILE...\n");
        return 2;
    }
    const fs::path out = argv[1];
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        const fs::path path = argv[i];
        // Folder and file name: two fixtures may share a file name.
        const std::string name = path.parent_path().filename().string() + "." + path.filename().string();
        Bytes bytes = read_file(path);
        if (bytes.size() > 14 && bytes[0] == 'B' && bytes[1] == 'M') {
            write_seed(out / "dib", name, std::span(bytes).subspan(14));
            ++written;
            continue;
        }
        write_seed(out / "pe_image", name, bytes);
        ++written;
        auto image = panelhost::pe::Image::parse(std::move(bytes));
        if (!image) {
            std::fprintf(stderr, "fuzz_seeds: %s: %s\n", argv[i], image.error().message.c_str());
            continue;
        }
        write_resource_seed(out, name, *image);
        for (const auto& r : image->resources()) {
            if (r.type.number == panelhost::pe::kResourceVersion) {
                write_seed(out / "pe_version", name, r.bytes);
            } else if (r.type.number == panelhost::pe::kResourceBitmap && r.id.number) {
                write_seed(out / "dib", name + "." + std::to_string(*r.id.number), r.bytes);
            }
        }
    }
    std::printf("fuzz_seeds: %d files into %s\n", written, out.c_str());
    return 0;
}
