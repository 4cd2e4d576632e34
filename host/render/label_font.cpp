#include "render/label_font.h"
#include "render/message.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <vector>

namespace panelhost::render {
namespace {

// UTF-8 to code points; a byte that does not start a complete, well-formed
// sequence becomes '?'.
std::vector<char32_t> decode_utf8(std::string_view s) {
    std::vector<char32_t> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 4;
        bool ok = extra < 4 && s.size() - i > extra;
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            ok = (c >> 6) == 2;
            cp = (cp << 6) | (c & 0x3F);
        }
        out.push_back(ok ? cp : U'?');
        i += ok ? extra + 1 : 1;
    }
    return out;
}

}  // namespace

struct LabelFont::Face {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Face() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

std::filesystem::path LabelFont::default_path() { return PANELHOST_LABEL_FONT; }

Result<LabelFont> LabelFont::open(const std::filesystem::path& path, int pixel_size) {
    auto face = std::make_unique<Face>();
    if (FT_Init_FreeType(&face->library) != 0)
        return std::unexpected(Error{"cannot start FreeType"});
    if (FT_New_Face(face->library, path.c_str(), 0, &face->face) != 0)
        return std::unexpected(Error{message(path.string(), ": cannot open font")});
    if (FT_Set_Pixel_Sizes(face->face, 0, static_cast<FT_UInt>(pixel_size)) != 0)
        return std::unexpected(Error{message(path.string(), ": no size ", pixel_size, " px")});
    return LabelFont(std::move(face), pixel_size);
}

LabelFont::LabelFont(std::unique_ptr<Face> face, int pixel_size)
    : face_(std::move(face)), pixel_size_(pixel_size) {}
LabelFont::LabelFont(LabelFont&&) noexcept = default;
LabelFont& LabelFont::operator=(LabelFont&&) noexcept = default;
LabelFont::~LabelFont() = default;

int LabelFont::ascent() const { return static_cast<int>(face_->face->size->metrics.ascender >> 6); }
int LabelFont::line_height() const { return static_cast<int>(face_->face->size->metrics.height >> 6); }

int LabelFont::text_width(std::string_view text) const {
    long width = 0;
    for (char32_t cp : decode_utf8(text)) {
        if (FT_Load_Char(face_->face, cp, FT_LOAD_DEFAULT) != 0) continue;
        width += face_->face->glyph->advance.x;
    }
    return static_cast<int>((width + 63) >> 6);
}

void LabelFont::draw(Frame& frame, int x, int baseline, std::string_view text, Rgb colour) const {
    long pen = static_cast<long>(x) << 6;
    for (char32_t cp : decode_utf8(text)) {
        if (FT_Load_Char(face_->face, cp, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face_->face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        const int left = static_cast<int>(pen >> 6) + g->bitmap_left;
        const int top = baseline - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row) {
            const int y = top + static_cast<int>(row);
            if (y < 0 || y >= frame.height) continue;
            for (unsigned col = 0; col < bm.width; ++col) {
                const int px = left + static_cast<int>(col);
                if (px < 0 || px >= frame.width) continue;
                const unsigned cover = bm.buffer[row * bm.pitch + col];
                if (cover == 0) continue;
                Rgba& d = frame.at(px, y);
                auto mix = [&](std::uint8_t s, std::uint8_t t) {
                    return static_cast<std::uint8_t>((s * cover + t * (255 - cover) + 127) / 255);
                };
                d = {mix(colour.r, d.r), mix(colour.g, d.g), mix(colour.b, d.b),
                     static_cast<std::uint8_t>(std::max<unsigned>(d.a, cover))};
            }
        }
        pen += g->advance.x;
    }
}

}  // namespace panelhost::render
