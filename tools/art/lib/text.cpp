#include "lib/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace art {

std::filesystem::path dejavu(std::string_view file_name) {
    return std::filesystem::path("/usr/share/fonts/truetype/dejavu") / file_name;
}

struct Font::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Font::Font(Font&&) noexcept = default;
Font& Font::operator=(Font&&) noexcept = default;
Font::~Font() = default;

std::expected<Font, std::string> Font::load(const std::filesystem::path& file) {
    auto impl = std::make_unique<Impl>();
    if (FT_Init_FreeType(&impl->library) != 0) return std::unexpected("FreeType failed to start");
    if (FT_New_Face(impl->library, file.c_str(), 0, &impl->face) != 0)
        return std::unexpected("cannot open font " + file.string());
    if (!FT_IS_SCALABLE(impl->face)) return std::unexpected("not an outline font: " + file.string());
    return Font(std::move(impl));
}

namespace {

// Walks the glyphs of an ASCII/Latin-1 string, calling visit with each
// glyph's outline scaled and placed for the pen, in FreeType's coordinates
// (26.6 fixed point, y up) where the origin is (ox, oy_up).
std::expected<void, std::string> for_each_outline(FT_Face face, std::string_view text,
                                                  const TextStyle& style, double ox, double oy_up,
                                                  const std::function<void(FT_Outline*)>& visit) {
    const double units = double(face->units_per_EM);
    const double kx = style.size_px * style.stretch_x / units;  // pixels per font unit, x
    const double ky = style.size_px / units;
    double pen = 0.0;  // pixels from the origin
    FT_UInt previous = 0;
    for (unsigned char ch : text) {
        const FT_UInt glyph = FT_Get_Char_Index(face, ch);
        if (glyph == 0) return std::unexpected(std::string("font has no glyph for '") + char(ch) + "'");
        if (previous != 0 && FT_HAS_KERNING(face)) {
            FT_Vector kern{};
            if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNSCALED, &kern) == 0) pen += kern.x * kx;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            return std::unexpected(std::string("cannot load the outline of '") + char(ch) + "'");
        // Font units -> 26.6 pixels, scaled and placed in double precision.
        FT_Outline* outline = &face->glyph->outline;
        for (int i = 0; i < outline->n_points; ++i) {
            FT_Vector& v = outline->points[i];
            v.x = FT_Pos(std::lround((ox + pen + double(v.x) * kx) * 64.0));
            v.y = FT_Pos(std::lround((oy_up + double(v.y) * ky) * 64.0));
        }
        visit(outline);
        pen += double(face->glyph->metrics.horiAdvance) * kx + style.tracking_em * style.size_px * style.stretch_x;
        previous = glyph;
    }
    return {};
}

struct SpanTarget {
    Mask* mask;
};

void add_spans(int y, int count, const FT_Span* spans, void* user) {
    Mask& m = *static_cast<SpanTarget*>(user)->mask;
    const int row = m.height() - 1 - y;
    if (row < 0 || row >= m.height()) return;
    for (int i = 0; i < count; ++i)
        for (int x = spans[i].x; x < spans[i].x + int(spans[i].len); ++x)
            if (x >= 0 && x < m.width())
                m.at(x, row) = std::min(1.0f, m.at(x, row) + float(spans[i].coverage) / 255.0f);
}

}  // namespace

std::expected<Box, std::string> Font::measure(std::string_view text, const TextStyle& style) const {
    bool any = false;
    FT_BBox all{};
    auto r = for_each_outline(impl_->face, text, style, 0.0, 0.0, [&](FT_Outline* o) {
        if (o->n_points == 0) return;
        FT_BBox b{};
        FT_Outline_Get_BBox(o, &b);
        if (!any) {
            all = b;
            any = true;
        } else {
            all.xMin = std::min(all.xMin, b.xMin), all.yMin = std::min(all.yMin, b.yMin);
            all.xMax = std::max(all.xMax, b.xMax), all.yMax = std::max(all.yMax, b.yMax);
        }
    });
    if (!r) return std::unexpected(r.error());
    if (!any) return std::unexpected("text has no outlines");
    // y up -> y down
    return Box{all.xMin / 64.0, -all.yMax / 64.0, all.xMax / 64.0, -all.yMin / 64.0};
}

std::expected<Mask, std::string> Font::render(int width, int height, std::string_view text, Vec2 origin,
                                              const TextStyle& style) const {
    Mask mask(width, height);
    SpanTarget target{&mask};
    FT_Raster_Params params{};
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = add_spans;
    params.user = &target;
    params.clip_box = {0, 0, width, height};
    bool failed = false;
    auto r = for_each_outline(impl_->face, text, style, origin.x, double(height) - origin.y,
                              [&](FT_Outline* o) {
                                  if (FT_Outline_Render(impl_->library, o, &params) != 0) failed = true;
                              });
    if (!r) return std::unexpected(r.error());
    if (failed) return std::unexpected("FreeType failed to render \"" + std::string(text) + "\"");
    return mask;
}

std::expected<Mask, std::string> Font::render_in_box(int width, int height, std::string_view text, Box box,
                                                     double tracking_em) const {
    // Outline bounds scale linearly with size (vertically) and with
    // size * stretch (horizontally), so one measurement fixes both.
    constexpr double probe = 1000.0;
    auto b = measure(text, {probe, 1.0, tracking_em});
    if (!b) return std::unexpected(b.error());
    if (b->width() <= 0 || b->height() <= 0) return std::unexpected("text has empty bounds");
    TextStyle style{probe * box.height() / b->height(), 1.0, tracking_em};
    style.stretch_x = box.width() / (b->width() * style.size_px / probe);
    auto fitted = measure(text, style);
    if (!fitted) return std::unexpected(fitted.error());
    return render(width, height, text, {box.x0 - fitted->x0, box.y0 - fitted->y0}, style);
}

}  // namespace art
