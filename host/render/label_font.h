// Text for labels (FreeType): one font face at one pixel size, drawing
// anti-aliased single-line text into a frame.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "render/error.h"
#include "render/pixels.h"

namespace panelhost::render {

class LabelFont {
public:
    // DejaVu Sans from fonts-dejavu-core.
    static std::filesystem::path default_path();

    static Result<LabelFont> open(const std::filesystem::path& path, int pixel_size);

    LabelFont(LabelFont&&) noexcept;
    LabelFont& operator=(LabelFont&&) noexcept;
    ~LabelFont();

    int pixel_size() const { return pixel_size_; }
    int ascent() const;           // pixels above the baseline
    int line_height() const;      // baseline to baseline

    // Advance width of `text` (UTF-8; bytes >= 0x80 other than valid
    // sequences are drawn as '?').
    int text_width(std::string_view text) const;

    // Draws `text` with its baseline's left end at (x, baseline), blended in
    // `colour` over the frame; clipped to the frame.
    void draw(Frame& frame, int x, int baseline, std::string_view text, Rgb colour) const;

private:
    struct Face;
    explicit LabelFont(std::unique_ptr<Face> face, int pixel_size);
    std::unique_ptr<Face> face_;
    int pixel_size_ = 0;
};

}  // namespace panelhost::render
