// Anti-aliased text from TrueType fonts, through FreeType.
//
// Glyph outlines are taken unhinted in font units and scaled by us, so text
// can be placed with sub-pixel precision and stretched to fill a given box
// exactly (the numerals of an instrument dial sit at fixed places).
#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "lib/geometry.h"
#include "lib/mask.h"

namespace art {

// A font of the DejaVu family as Debian installs it (fonts-dejavu-core),
// e.g. dejavu("DejaVuSansCondensed-Bold.ttf").
std::filesystem::path dejavu(std::string_view file_name);

struct TextStyle {
    double size_px = 12.0;    // em size in pixels
    double stretch_x = 1.0;   // horizontal scale of glyphs and advances
    double tracking_em = 0.0; // extra space between letters, in ems
};

class Font {
public:
    static std::expected<Font, std::string> load(const std::filesystem::path& file);

    Font(Font&&) noexcept;
    Font& operator=(Font&&) noexcept;
    ~Font();

    // The exact bounds of the text's outlines, relative to its origin (the
    // left end of the baseline), y downwards.
    std::expected<Box, std::string> measure(std::string_view text, const TextStyle& style) const;
    // The coverage of the text set with its origin at `origin`.
    std::expected<Mask, std::string> render(int width, int height, std::string_view text,
                                            Vec2 origin, const TextStyle& style) const;
    // The coverage of the text scaled (independently in x and y) so that the
    // bounds of its outlines are exactly `box`.
    std::expected<Mask, std::string> render_in_box(int width, int height, std::string_view text,
                                                   Box box, double tracking_em = 0.0) const;

private:
    struct Impl;
    explicit Font(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace art
