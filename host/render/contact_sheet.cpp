#include "render/contact_sheet.h"

#include <algorithm>
#include <cmath>

namespace panelhost::render {
namespace {

// Straight-alpha pixel over an opaque one.
Rgba over_opaque(Rgba s, Rgba d) {
    auto mix = [&](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>((a * s.a + b * (255 - s.a) + 127) / 255);
    };
    return {mix(s.r, d.r), mix(s.g, d.g), mix(s.b, d.b), 255};
}

}  // namespace

Result<Frame> contact_sheet(const std::vector<SheetCell>& cells, const LabelFont& font,
                            const SheetLayout& layout) {
    if (cells.empty()) return std::unexpected(Error{"a contact sheet needs at least one frame"});
    const int count = static_cast<int>(cells.size());
    const int columns = layout.columns > 0
        ? std::min(layout.columns, count)
        : static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const int rows = (count + columns - 1) / columns;

    std::vector<int> column_width(columns, 0), row_height(rows, 0);
    for (int i = 0; i < count; ++i) {
        const Frame& f = cells[i].frame;
        const int w = std::max(f.width, font.text_width(cells[i].label));
        column_width[i % columns] = std::max(column_width[i % columns], w);
        row_height[i / columns] = std::max(row_height[i / columns], f.height);
    }
    const int label_height = layout.label_gap + font.line_height();
    long width = layout.margin, height = layout.margin;
    for (int w : column_width) width += w + layout.margin;
    for (int h : row_height) height += h + label_height + layout.margin;
    constexpr long kMaxSide = 1 << 15;
    if (width > kMaxSide || height > kMaxSide)
        return std::unexpected(Error{"contact sheet too large; use fewer or smaller frames"});

    const Rgb bg = layout.background;
    Frame sheet(static_cast<int>(width), static_cast<int>(height), Rgba{bg.r, bg.g, bg.b, 255});
    int top = layout.margin;
    for (int r = 0; r < rows; ++r) {
        int left = layout.margin;
        for (int c = 0; c < columns; ++c) {
            const int i = r * columns + c;
            if (i >= count) break;
            const Frame& f = cells[i].frame;
            const int fx = left + (column_width[c] - f.width) / 2;
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x)
                    sheet.at(fx + x, top + y) = over_opaque(f.at(x, y), sheet.at(fx + x, top + y));
            const int tw = font.text_width(cells[i].label);
            font.draw(sheet, left + (column_width[c] - tw) / 2,
                      top + f.height + layout.label_gap + font.ascent(), cells[i].label,
                      layout.label_colour);
            left += column_width[c] + layout.margin;
        }
        top += row_height[r] + label_height + layout.margin;
    }
    return sheet;
}

}  // namespace panelhost::render
