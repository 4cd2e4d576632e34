// A contact sheet: frames in a grid on a neutral dark background, each with
// a label centred underneath, so that a person sees at a glance where a
// needle stands for each value of a sweep.
#pragma once

#include <string>
#include <vector>

#include "render/error.h"
#include "render/label_font.h"
#include "render/pixels.h"

namespace panelhost::render {

struct SheetCell {
    Frame frame;
    std::string label;
};

struct SheetLayout {
    int columns = 0;                     // 0: about square (ceil(sqrt(cells)))
    int margin = 12;                     // around and between cells, pixels
    int label_gap = 4;                   // frame to label
    Rgb background{40, 42, 46};          // the sheet's
    Rgb label_colour{225, 225, 225};
};

// The cells' frames may differ in size: each column is as wide and each row
// as tall as its largest frame; a frame sits at the top of its cell, centred,
// its label right under it. A frame's transparent area shows the sheet's
// background. The sheet is opaque.
Result<Frame> contact_sheet(const std::vector<SheetCell>& cells, const LabelFont& font,
                            const SheetLayout& layout = {});

}  // namespace panelhost::render
