// QV_VornVA: the volts-amperes meter. One dial, two needles over it: amps
// (token 762) on the right half, volts (token 752) on the left half. The
// volts needle reads only while token 566 or token 364 is non-zero and
// otherwise rests on its 0 mark.
#include <gauge/frame.h>

using gauge::kDrawBilinear;
using gauge::kDrawErase;
using gauge::kDrawLit;
using gauge::kDrawTransparent;

namespace {

constexpr std::uint32_t kStoredFlags = kDrawTransparent | kDrawErase | kDrawBilinear;  // 0x83

// ---------------------------------------------------------- module variables

// The volts needle's gate, refreshed by GaugeCallback at every pre-update.
constinit ModuleVar Gate566{.token = 566};
constinit ModuleVar Gate364{.token = 364};

// ---------------------------------------------------------- calibration

// Where each needle points for a value: a point of the dial (background
// pixels) on the painted tick of that value. Rows in stored order.
constexpr NonlinearityRow VoltsTable[] = {
    {.point = {92, 186}, .value = 0.0},
    {.point = {50, 164}, .value = 10.0},
    {.point = {38, 123}, .value = 20.0},
    {.point = {55, 80}, .value = 30.0},
    {.point = {98, 61}, .value = 40.0},
};

constexpr NonlinearityRow AmpsTable[] = {
    {.point = {135, 62}, .value = 60.0},
    {.point = {171, 163}, .value = 0.0},
    {.point = {131, 184}, .value = -20.0},
};

// ---------------------------------------------------------- update callbacks

double __stdcall AmpsNeedleCallback(NeedleElement* needle) {
    needle->header.draw_flags |= kDrawLit;
    return needle->source.value;
}

// Exact comparisons: NaN is not equal to 0.0 and opens the gate; -0.0 is
// equal to it and keeps the gate shut.
double __stdcall VoltsNeedleCallback(NeedleElement* needle) {
    needle->header.draw_flags |= kDrawLit;
    if (Gate566.value != 0.0) return needle->source.value;
    if (Gate364.value != 0.0) return needle->source.value;
    return 0.0;
}

// ---------------------------------------------------------- element tree

// Root first; each element is the one child of the one before, so the host
// draws Background, then AmpsNeedle, then VoltsNeedle on top.
extern StaticImage Background;
extern NeedleElement AmpsNeedle;
extern NeedleElement VoltsNeedle;

// Each element has a failure list of its own, holding only its end record.
constexpr FailureRecord BackgroundFailures[] = {{}};
constexpr FailureRecord AmpsNeedleFailures[] = {{}};
constexpr FailureRecord VoltsNeedleFailures[] = {{}};

ElementHeader* const BackgroundChildren[] = {&AmpsNeedle.header, nullptr};
ElementHeader* const AmpsNeedleChildren[] = {&VoltsNeedle.header, nullptr};

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

constinit NeedleElement AmpsNeedle{
    .header = {
        .kind = gauge::kElementNeedle,
        .resource_id = 0x1100,
        .position = {128, 126},
        .pivot = {2, 6},
        .gauge = &Gauge,
        .children = AmpsNeedleChildren,
        .failures = AmpsNeedleFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 762},
    .table = AmpsTable,
    .table_rows = CountOf(AmpsTable),
    .update = AmpsNeedleCallback,
};

constinit NeedleElement VoltsNeedle{
    .header = {
        .kind = gauge::kElementNeedle,
        .resource_id = 0x1200,
        .position = {107, 126},
        .pivot = {2, 7},
        .gauge = &Gauge,
        .children = nullptr,
        .failures = VoltsNeedleFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 752},
    .table = VoltsTable,
    .table_rows = CountOf(VoltsTable),
    .update = VoltsNeedleCallback,
};

constexpr char Tooltip[] = "Volts-Amperes Meter";

}  // namespace

// ---------------------------------------------------------- handed to the frame

extern const char GaugeName[] = "QV_VornVA";

ElementHeader* const GaugeElements[1] = {&Background.header};

// No click area: the whole gauge is one parent area carrying the tooltip.
extern const MouseRect GaugeMouseArea[] = {
    {.type = gauge::kMouseParent, .cursor = -1},
    {.type = gauge::kMouseTooltip, .cursor = -1, .function = Tooltip, .data = &GaugeMouseArea[0]},
    {.type = gauge::kMouseEndParent, .cursor = -1},
    {.type = gauge::kMouseEnd, .cursor = -1},
};

ModuleVar* const ModuleVars[] = {&Gate566, &Gate364, nullptr};
