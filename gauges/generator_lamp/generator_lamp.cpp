// QV_VornGenerWng: the generator warning lamp. Dark while token 566 reads
// exactly 1, lit for every other value (NaN included).
#include <gauge/frame.h>

using gauge::kDrawBilinear;
using gauge::kDrawErase;
using gauge::kDrawLit;
using gauge::kDrawTransparent;

namespace {

constexpr std::uint32_t kStoredFlags = kDrawTransparent | kDrawErase | kDrawBilinear;  // 0x83

// ---------------------------------------------------------- module variables

// Refreshed by GaugeCallback at every pre-update; the lamp reads this, not
// its own source variable.
constinit ModuleVar Generator566{.token = 566};

// ---------------------------------------------------------- update callback

// Picture 0 (dark) for exactly 1.0, picture 1 (lit) otherwise; an unordered
// comparison counts as not equal, so NaN lights the lamp.
double __stdcall WarningLampCallback(IconElement* lamp) {
    lamp->header.draw_flags |= kDrawLit;
    return Generator566.value == 1.0 ? 0.0 : 1.0;
}

// ---------------------------------------------------------- element tree

extern StaticImage Background;
extern IconElement WarningLamp;

// Each element has a failure list of its own, holding only its end record.
constexpr FailureRecord BackgroundFailures[] = {{}};
constexpr FailureRecord WarningLampFailures[] = {{}};

ElementHeader* const BackgroundChildren[] = {&WarningLamp.header, nullptr};

constinit StaticImage Background{
    .header = {
        .kind = gauge::kElementStaticImage,
        .resource_id = 0x100,
        .position = {0, 0},
        .gauge = &Gauge,
        .children = BackgroundChildren,
        .failures = BackgroundFailures,
        .draw_flags = kStoredFlags,
    },
};

constinit IconElement WarningLamp{
    .header = {
        .kind = gauge::kElementIcon,
        .resource_id = 0x1100,
        .position = {0, 0},
        .pivot = {0, 0},
        .gauge = &Gauge,
        .children = nullptr,
        .failures = WarningLampFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 0},
    .update = WarningLampCallback,
    .switch_mode = 3,
    .picture_count = 2,
    .offset = 0,
    .scale = 0.0,
};

}  // namespace

// ---------------------------------------------------------- handed to the frame

extern const char GaugeName[] = "QV_VornGenerWng";

ElementHeader* const GaugeElements[1] = {&Background.header};

// No tooltip and no click area: one empty parent area.
extern const MouseRect GaugeMouseArea[] = {
    {.type = gauge::kMouseParent, .cursor = -1},
    {.type = gauge::kMouseEndParent, .cursor = -1},
    {.type = gauge::kMouseEnd, .cursor = -1},
};

ModuleVar* const ModuleVars[] = {&Generator566, nullptr};
