// Decoding bitmap resources: the formats the modules store, and every kind of
// malformed header or short data as an error naming the cause.
#include <gtest/gtest.h>

#include <functional>

#include "dib_bytes.h"
#include "render/dib.h"

namespace panelhost::render {
namespace {

using test::DibHeader;

const Rgb kRed{200, 10, 20}, kGreen{5, 210, 15}, kBlack{0, 0, 0}, kNearBlack{0, 0, 1};

TEST(Dib, EightBitBottomUpWithShortPaletteAndPadding) {
    // 3 x 2: rows of 3 bytes padded to 4; stored bottom-up.
    const auto bytes = test::dib8({kBlack, kRed, kGreen, kNearBlack}, {{1, 2, 0}, {3, 1, 2}});
    const auto bmp = decode_dib(bytes);
    ASSERT_TRUE(bmp) << bmp.error().message;
    ASSERT_EQ(bmp->width, 3);
    ASSERT_EQ(bmp->height, 2);
    EXPECT_EQ(bmp->at(0, 0), kRed);
    EXPECT_EQ(bmp->at(1, 0), kGreen);
    EXPECT_EQ(bmp->at(2, 0), kBlack);
    EXPECT_EQ(bmp->at(0, 1), kNearBlack);
    EXPECT_TRUE(bmp->is_black(2, 0));
    EXPECT_FALSE(bmp->is_black(0, 1)) << "near-black stays opaque";
    EXPECT_FALSE(bmp->is_black(0, 0));
}

TEST(Dib, TwentyFourBitTopDownAndBottomUpAgree) {
    const std::vector<std::vector<Rgb>> rows = {{kRed, kBlack}, {kGreen, kNearBlack}, {kBlack, kRed}};
    for (bool top_down : {false, true}) {
        for (std::uint32_t palette : {0u, 3u}) {
            const auto bmp = decode_dib(test::dib24(rows, top_down, palette));
            ASSERT_TRUE(bmp) << bmp.error().message;
            ASSERT_EQ(bmp->width, 2);
            ASSERT_EQ(bmp->height, 3);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 2; ++x) {
                    EXPECT_EQ(bmp->at(x, y), rows[y][x]) << x << "," << y << " top_down " << top_down;
                    EXPECT_EQ(bmp->is_black(x, y), rows[y][x] == kBlack);
                }
        }
    }
}

// Patches a valid 8 bpp 4 x 4 DIB (256 palette entries) or truncates it.
struct BadCase {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> spoil;
    const char* cause;   // must appear in the message
};

void set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void set16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

TEST(Dib, MalformedResourcesAreErrorsNamingTheCause) {
    std::vector<Rgb> palette(256, kRed);
    palette[0] = kBlack;
    const auto good = test::dib8(palette, std::vector<std::vector<std::uint8_t>>(4, {0, 1, 2, 3}));
    ASSERT_TRUE(decode_dib(good));

    const BadCase cases[] = {
        {"empty", [](auto& b) { b.clear(); }, "truncated header"},
        {"39 bytes", [](auto& b) { b.resize(39); }, "truncated header"},
        {"core header", [](auto& b) { set32(b, 0, 12); }, "information header of 12 bytes"},
        {"v5 header", [](auto& b) { set32(b, 0, 124); }, "information header of 124 bytes"},
        {"zero width", [](auto& b) { set32(b, 4, 0); }, "impossible dimensions"},
        {"negative width", [](auto& b) { set32(b, 4, std::uint32_t(-4)); }, "impossible dimensions"},
        {"zero height", [](auto& b) { set32(b, 8, 0); }, "impossible dimensions"},
        {"INT_MIN height", [](auto& b) { set32(b, 8, 0x80000000u); }, "impossible dimensions"},
        {"huge width", [](auto& b) { set32(b, 4, 0x7FFFFFFF); }, "impossible dimensions"},
        {"huge height", [](auto& b) { set32(b, 8, 0x40000000); }, "impossible dimensions"},
        {"two planes", [](auto& b) { set16(b, 12, 2); }, "2 planes"},
        {"RLE8", [](auto& b) { set32(b, 16, 1); }, "compression type 1"},
        {"bit fields", [](auto& b) { set32(b, 16, 3); }, "compression type 3"},
        {"4 bpp", [](auto& b) { set16(b, 14, 4); }, "4 bits per pixel"},
        {"32 bpp", [](auto& b) { set16(b, 14, 32); }, "32 bits per pixel"},
        {"palette of 257", [](auto& b) { set32(b, 32, 257); }, "palette of 257 entries"},
        {"palette of 2^32-1", [](auto& b) { set32(b, 32, 0xFFFFFFFF); }, "palette of 4294967295"},
        {"palette past end", [](auto& b) { b.resize(40 + 100); }, "palette of 256 entries runs past the end"},
        {"pixels past end", [](auto& b) { b.pop_back(); }, "pixel data runs past the end"},
        {"taller than data", [](auto& b) { set32(b, 8, 5); }, "pixel data runs past the end"},
        {"24 bpp past end", [](auto& b) { set16(b, 14, 24); set32(b, 32, 256); }, "pixel data runs past the end"},
        {"index beyond palette", [](auto& b) { b = test::dib8({kBlack, kRed}, {{0, 1, 3, 1}}); },
         "pixel (2, 0) uses palette entry 3, the palette has 2"},
    };
    for (const BadCase& c : cases) {
        auto bytes = good;
        c.spoil(bytes);
        const auto result = decode_dib(bytes);
        ASSERT_FALSE(result) << c.what << " decoded";
        EXPECT_NE(result.error().message.find(c.cause), std::string::npos)
            << c.what << ": " << result.error().message;
    }
}

}  // namespace
}  // namespace panelhost::render
