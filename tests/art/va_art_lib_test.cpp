// The drawing library's parts that the committed bitmaps rest on: the BMP
// writer and strict reader, the quantiser's rules for pure black, fitted
// text, and the edge-connectivity check.
#include <gtest/gtest.h>

#include <set>

#include "lib/analysis.h"
#include "lib/bmp.h"
#include "lib/quantise.h"
#include "lib/text.h"

namespace {

using art::Rgb8;

// An odd width makes every row carry padding.
art::IndexedImage sample_indexed() {
    art::IndexedImage img{5, 3, {art::pure_black, {10, 20, 30}, {200, 100, 50}}, {}};
    for (int i = 0; i < 15; ++i) img.indices.push_back(std::uint8_t(i % 3));
    return img;
}

TEST(ArtBmp, EightAndTwentyFourBitFilesReadBackAsWritten) {
    const art::IndexedImage img = sample_indexed();
    auto bytes8 = art::encode_bmp8(img);
    ASSERT_TRUE(bytes8.has_value());
    auto bm8 = art::decode_bmp(*bytes8);
    ASSERT_TRUE(bm8.has_value()) << bm8.error();
    EXPECT_EQ(bm8->bits_per_pixel, 8);
    EXPECT_TRUE(bm8->bottom_up);
    ASSERT_EQ(bm8->palette.size(), 256u);
    EXPECT_EQ(bm8->indices, img.indices);
    EXPECT_EQ(bm8->at(4, 2), img.colour_at(4, 2));

    std::vector<Rgb8> px;
    for (int i = 0; i < 15; ++i) px.push_back({std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(255 - i)});
    auto bytes24 = art::encode_bmp24(5, 3, px);
    ASSERT_TRUE(bytes24.has_value());
    auto bm24 = art::decode_bmp(*bytes24);
    ASSERT_TRUE(bm24.has_value()) << bm24.error();
    EXPECT_EQ(bm24->bits_per_pixel, 24);
    EXPECT_EQ(bm24->pixels, px);
}

TEST(ArtBmp, MalformedFilesAreRejectedNotRead) {
    const art::Bytes good = *art::encode_bmp8(sample_indexed());
    // Every truncation, with the size field made to agree, fails cleanly.
    for (std::size_t n = 0; n < good.size(); ++n) {
        art::Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(n));
        if (n >= 6) cut[2] = std::uint8_t(n), cut[3] = std::uint8_t(n >> 8), cut[4] = 0, cut[5] = 0;
        EXPECT_FALSE(art::decode_bmp(cut).has_value()) << "prefix of " << n << " bytes";
    }
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    };
    for (const Case& c : {Case{"header size", 14, 12}, Case{"bits per pixel", 28, 4}, Case{"compression", 30, 1},
                          Case{"palette of 2 with index 2 in use", 46, 2}, Case{"pixel offset inside palette", 11, 0}}) {
        art::Bytes bad = good;
        bad[c.offset] = c.value;
        EXPECT_FALSE(art::decode_bmp(bad).has_value()) << c.what;
    }
}

TEST(ArtQuantise, PureBlackOnlyForTransparentPixels) {
    art::Canvas c(16, 16, {0, 0, 0, 0});
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            c.at(x, y) = x < 8 ? art::rgb(0, 0, 0) : art::rgb(x * 20, y * 10, 3);  // opaque black included
    art::QuantiseOptions o;
    o.colours = 8;
    o.pinned = {{0, art::pure_black}, {1, {237, 229, 230}}};
    c.at(4, 4) = art::rgb(237, 229, 230);
    auto q = art::quantise(c, o);
    ASSERT_TRUE(q.has_value()) << q.error();
    EXPECT_EQ(q->palette[1], (Rgb8{237, 229, 230}));
    EXPECT_EQ(q->index_at(4, 4), 1);
    for (std::size_t i = 2; i < q->palette.size(); ++i) EXPECT_NE(q->palette[i], art::pure_black);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(q->colour_at(x, y) == art::pure_black, art::is_transparent(c.at(x, y))) << x << "," << y;
}

TEST(ArtQuantise, EveryEntryUsedWhenAsked) {
    art::Canvas c(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) c.at(x, y) = art::rgb(x * 4, y * 4, (x * y) % 256);
    c.at(0, 0).a = 0;
    art::QuantiseOptions o;
    o.all_used = true;
    auto q = art::quantise(c, o);
    ASSERT_TRUE(q.has_value()) << q.error();
    EXPECT_EQ(std::set<std::uint8_t>(q->indices.begin(), q->indices.end()).size(), 256u);

    art::Canvas few(4, 4, art::rgb(50, 60, 70));
    EXPECT_FALSE(art::quantise(few, o).has_value()) << "16 equal pixels cannot use 256 entries";
}

TEST(ArtText, TextFillsItsBox) {
    auto font = art::Font::load(art::dejavu("DejaVuSansCondensed-Bold.ttf"));
    ASSERT_TRUE(font.has_value()) << font.error();
    auto m = font->render_in_box(64, 64, "40", art::Box::pixels(10, 20, 30, 34));
    ASSERT_TRUE(m.has_value()) << m.error();
    int x0 = 99, y0 = 99, x1 = -1, y1 = -1;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (m->at(x, y) > 0.25f) x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    EXPECT_EQ(x0, 10);
    EXPECT_EQ(y0, 20);
    EXPECT_EQ(x1, 30);
    EXPECT_EQ(y1, 34);
    EXPECT_FALSE(art::Font::load("/nonexistent.ttf").has_value());
}

TEST(ArtAnalysis, EnclosedPixelsAreNotConnectedToTheEdge) {
    // A ring of '#' around one '.' in the middle: the middle is a hole.
    const char* rows[] = {"....", ".##.", ".#.#", ".##."};
    auto clear = [&](int x, int y) { return rows[y][x] == '.'; };
    EXPECT_FALSE(art::all_connected_to_edge(4, 4, clear));
    EXPECT_EQ(art::count_pixels(4, 4, clear), 10u);
    const char* open[] = {"....", ".##.", ".#..", ".##."};
    EXPECT_TRUE(art::all_connected_to_edge(4, 4, [&](int x, int y) { return open[y][x] == '.'; }));
}

}  // namespace
