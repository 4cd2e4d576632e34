// PNG files keep every pixel, transparency included (compared after decoding
// with libpng, not as bytes); contact sheets lay frames out with labels.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "render/contact_sheet.h"
#include "render/png_file.h"

namespace panelhost::render {
namespace {

std::filesystem::path temp_file(const char* name) {
    return std::filesystem::temp_directory_path() /
           ("render_test_" + std::to_string(::getpid()) + "_" + name);
}

TEST(PngFile, RoundTripKeepsColourAndAlpha) {
    Frame f(7, 5);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            f.at(x, y) = {std::uint8_t(x * 37), std::uint8_t(y * 51), std::uint8_t(x * y * 9),
                          std::uint8_t((x + y) % 3 == 0 ? 0 : (x + y) % 3 == 1 ? 128 : 255)};
    const auto path = temp_file("round.png");
    ASSERT_TRUE(write_png(path, f));
    const auto back = read_png(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(back) << back.error().message;
    EXPECT_EQ(back->width, 7);
    EXPECT_EQ(back->height, 5);
    EXPECT_EQ(back->pixels, f.pixels);
}

TEST(PngFile, ErrorsNameTheFile) {
    const auto missing = read_png("/nonexistent/dir/x.png");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("/nonexistent/dir/x.png"), std::string::npos);
    const auto unwritable = write_png("/nonexistent/dir/y.png", Frame(2, 2));
    ASSERT_FALSE(unwritable);
    EXPECT_NE(unwritable.error().message.find("/nonexistent/dir/y.png"), std::string::npos);
    EXPECT_FALSE(write_png(temp_file("empty.png"), Frame{}));
}

TEST(ContactSheet, GridOfFramesWithLabelsUnderneath) {
    auto font = LabelFont::open(LabelFont::default_path(), 14);
    ASSERT_TRUE(font) << font.error().message;
    // Five 20 x 10 frames: opaque red with a transparent right half.
    std::vector<SheetCell> cells;
    for (int i = 0; i < 5; ++i) {
        Frame f(20, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) f.at(x, y) = {220, 0, 0, 255};
        cells.push_back({std::move(f), "v = " + std::to_string(i * 10)});
    }
    SheetLayout layout;
    layout.columns = 3;
    const auto sheet = contact_sheet(cells, *font, layout);
    ASSERT_TRUE(sheet) << sheet.error().message;

    // Three columns, two rows; everything opaque.
    const int col_w = std::max(20, font->text_width("v = 40"));
    EXPECT_EQ(sheet->width, layout.margin + 3 * (col_w + layout.margin));
    EXPECT_EQ(sheet->height,
              layout.margin + 2 * (10 + layout.label_gap + font->line_height() + layout.margin));
    for (const Rgba& p : sheet->pixels) ASSERT_EQ(p.a, 255);

    // Cell 4 (row 1, column 1): its frame's opaque and transparent halves,
    // and light label pixels below it.
    const int left = layout.margin + (col_w + layout.margin) + (col_w - 20) / 2;
    const int top = layout.margin + (10 + layout.label_gap + font->line_height() + layout.margin);
    EXPECT_EQ(sheet->at(left + 2, top + 5), (Rgba{220, 0, 0, 255}));
    const Rgb bg = layout.background;
    EXPECT_EQ(sheet->at(left + 15, top + 5), (Rgba{bg.r, bg.g, bg.b, 255}));
    int label_pixels = 0;
    for (int y = top + 10; y < top + 10 + layout.label_gap + font->line_height(); ++y)
        for (int x = left - 10; x < left + 30; ++x)
            if (sheet->at(x, y).r > 150) ++label_pixels;
    EXPECT_GT(label_pixels, 20);
    // The sixth slot stays empty.
    const int empty_left = layout.margin + 2 * (col_w + layout.margin);
    EXPECT_EQ(sheet->at(empty_left + col_w / 2, top + 5), (Rgba{bg.r, bg.g, bg.b, 255}));

    EXPECT_FALSE(contact_sheet({}, *font));
}

}  // namespace
}  // namespace panelhost::render
