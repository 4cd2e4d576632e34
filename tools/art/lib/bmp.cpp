#include "lib/bmp.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace art {

namespace {

constexpr std::uint32_t file_header_size = 14, info_header_size = 40;
constexpr std::int32_t pixels_per_metre = 2835;  // 72 dots per inch

void put16(Bytes& b, std::uint32_t v) {
    b.push_back(std::uint8_t(v)), b.push_back(std::uint8_t(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

std::size_t row_stride(int width, int bits) { return (std::size_t(width) * std::size_t(bits) / 8 + 3) & ~std::size_t(3); }

Bytes headers(int width, int height, int bits, std::uint32_t palette_entries) {
    const std::uint32_t image_size = std::uint32_t(row_stride(width, bits) * std::size_t(height));
    const std::uint32_t offset = file_header_size + info_header_size + palette_entries * 4;
    Bytes b;
    b.reserve(offset + image_size);
    b.push_back('B'), b.push_back('M');
    put32(b, offset + image_size);
    put32(b, 0);  // reserved
    put32(b, offset);
    put32(b, info_header_size);
    put32(b, std::uint32_t(width));
    put32(b, std::uint32_t(height));  // positive: bottom-up rows
    put16(b, 1);                      // planes
    put16(b, std::uint32_t(bits));
    put32(b, 0);  // BI_RGB
    put32(b, image_size);
    put32(b, std::uint32_t(pixels_per_metre));
    put32(b, std::uint32_t(pixels_per_metre));
    put32(b, palette_entries);
    put32(b, 0);  // all colours important
    return b;
}

// Checked little-endian reads from the file; every offset is widened before
// it is compared with the size.
struct Reader {
    std::span<const std::uint8_t> data;
    bool has(std::uint64_t offset, std::uint64_t size) const { return offset + size <= data.size(); }
    std::uint32_t u16(std::size_t o) const { return std::uint32_t(data[o]) | std::uint32_t(data[o + 1]) << 8; }
    std::uint32_t u32(std::size_t o) const { return u16(o) | u16(o + 2) << 16; }
};

}  // namespace

std::expected<Bytes, std::string> encode_bmp8(const IndexedImage& image) {
    if (image.width <= 0 || image.height <= 0) return std::unexpected("empty picture");
    if (image.palette.empty() || image.palette.size() > 256) return std::unexpected("palette must have 1..256 entries");
    if (image.indices.size() != std::size_t(image.width) * std::size_t(image.height))
        return std::unexpected("pixel count does not match the size");
    for (std::uint8_t i : image.indices)
        if (i >= image.palette.size()) return std::unexpected("pixel index beyond the palette");
    Bytes b = headers(image.width, image.height, 8, 256);
    for (std::size_t i = 0; i < 256; ++i) {
        const Rgb8 c = i < image.palette.size() ? image.palette[i] : pure_black;
        b.push_back(c.b), b.push_back(c.g), b.push_back(c.r), b.push_back(0);
    }
    const std::size_t pad = row_stride(image.width, 8) - std::size_t(image.width);
    for (int y = image.height - 1; y >= 0; --y) {
        const auto row = image.indices.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(image.width));
        b.insert(b.end(), row, row + image.width);
        b.insert(b.end(), pad, 0);
    }
    return b;
}

std::expected<Bytes, std::string> encode_bmp24(int width, int height, std::span<const Rgb8> pixels) {
    if (width <= 0 || height <= 0) return std::unexpected("empty picture");
    if (pixels.size() != std::size_t(width) * std::size_t(height)) return std::unexpected("pixel count does not match the size");
    Bytes b = headers(width, height, 24, 0);
    const std::size_t pad = row_stride(width, 24) - std::size_t(width) * 3;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const Rgb8 c = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            b.push_back(c.b), b.push_back(c.g), b.push_back(c.r);
        }
        b.insert(b.end(), pad, 0);
    }
    return b;
}

Bytes encode_bmp24(const Canvas& canvas) {
    const Canvas flat = canvas.over({0, 0, 0, 1});
    std::vector<Rgb8> px;
    px.reserve(std::size_t(canvas.width()) * std::size_t(canvas.height()));
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) px.push_back(to_rgb8(flat.at(x, y)));
    return *encode_bmp24(canvas.width(), canvas.height(), px);
}

std::expected<Bitmap, std::string> decode_bmp(std::span<const std::uint8_t> file) {
    const Reader r{file};
    if (!r.has(0, file_header_size + info_header_size)) return std::unexpected("file too short for the BMP headers");
    if (file[0] != 'B' || file[1] != 'M') return std::unexpected("no 'BM' signature");
    if (r.u32(2) != file.size()) return std::unexpected("bfSize does not match the file size");
    const std::uint32_t offset = r.u32(10);
    if (r.u32(14) != info_header_size) return std::unexpected("information header is not 40 bytes");
    const auto width = std::int32_t(r.u32(18)), height = std::int32_t(r.u32(22));
    if (r.u16(26) != 1) return std::unexpected("planes is not 1");
    Bitmap bm;
    bm.bits_per_pixel = int(r.u16(28));
    if (bm.bits_per_pixel != 8 && bm.bits_per_pixel != 24) return std::unexpected("only 8 and 24 bits per pixel are read");
    if (r.u32(30) != 0) return std::unexpected("compressed (not BI_RGB)");
    if (width <= 0 || height == 0 || height == INT32_MIN || width > 65535 || std::abs(height) > 65535)
        return std::unexpected("bad dimensions");
    bm.width = width;
    bm.height = std::abs(height);
    bm.bottom_up = height > 0;
    bm.colours_used = r.u32(46);

    std::uint64_t palette_entries = 0;
    if (bm.bits_per_pixel == 8) {
        palette_entries = bm.colours_used == 0 ? 256 : bm.colours_used;
        if (palette_entries > 256) return std::unexpected("more than 256 palette entries");
        if (!r.has(file_header_size + info_header_size, palette_entries * 4)) return std::unexpected("palette runs past the end");
        for (std::uint64_t i = 0; i < palette_entries; ++i) {
            const std::size_t o = file_header_size + info_header_size + std::size_t(i) * 4;
            bm.palette.push_back({file[o + 2], file[o + 1], file[o]});
        }
    }
    if (offset < file_header_size + info_header_size + palette_entries * 4) return std::unexpected("pixel data overlaps the headers");
    const std::uint64_t stride = row_stride(bm.width, bm.bits_per_pixel);
    if (!r.has(offset, stride * std::uint64_t(bm.height))) return std::unexpected("pixel data runs past the end");

    const std::size_t n = std::size_t(bm.width) * std::size_t(bm.height);
    bm.pixels.resize(n);
    if (bm.bits_per_pixel == 8) bm.indices.resize(n);
    for (int y = 0; y < bm.height; ++y) {
        const int stored = bm.bottom_up ? bm.height - 1 - y : y;
        const std::size_t row = offset + std::size_t(stored) * std::size_t(stride);
        for (int x = 0; x < bm.width; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(bm.width) + std::size_t(x);
            if (bm.bits_per_pixel == 8) {
                const std::uint8_t index = file[row + std::size_t(x)];
                if (index >= bm.palette.size()) return std::unexpected("pixel index beyond the palette");
                bm.indices[i] = index;
                bm.pixels[i] = bm.palette[index];
            } else {
                const std::size_t o = row + std::size_t(x) * 3;
                bm.pixels[i] = {file[o + 2], file[o + 1], file[o]};
            }
        }
    }
    return bm;
}

std::expected<Bytes, std::string> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot open " + path.string());
    Bytes b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::unexpected("cannot read " + path.string());
    return b;
}

std::expected<void, std::string> write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return std::unexpected("cannot create " + path.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out.flush()) return std::unexpected("cannot write " + path.string());
    return {};
}

std::expected<Bitmap, std::string> read_bmp(const std::filesystem::path& path) {
    auto bytes = read_file(path);
    if (!bytes) return std::unexpected(bytes.error());
    auto bm = decode_bmp(*bytes);
    if (!bm) return std::unexpected(path.string() + ": " + bm.error());
    return bm;
}

}  // namespace art
