// QV_Vorn_GearCtrls: the gear position indicator. Two lamp windows, left
// gear (token 333) and right gear (token 334), each with a red lamp above a
// green one. Each lamp is shown or hidden afresh at every update against one
// threshold: green above it, red below it, neither at it (nor for NaN).
#include <gauge/frame.h>

using gauge::kDrawBilinear;
using gauge::kDrawErase;
using gauge::kDrawHidden;
using gauge::kDrawLit;
using gauge::kDrawTransparent;

namespace {

constexpr std::uint32_t kStoredFlags = kDrawTransparent | kDrawErase | kDrawBilinear;  // 0x83

constexpr double GearLampThreshold = 15000.0;

// Icon switching mode 3; a lamp's two pictures are the same image, so only
// the hidden flag decides what is seen.
constexpr std::uint32_t kLampSwitchMode = 3;
constexpr std::uint32_t kLampPictures = 2;

// ---------------------------------------------------------- update callbacks

// Every callback sets the lit flag, decides the hidden flag from the current
// value alone and hands the value back unchanged. The comparisons are exact
// and ordered, so NaN is neither above nor below and hides both lamps.
void ShowOnlyIf(IconElement* lamp, bool shown) {
    lamp->header.draw_flags |= kDrawLit;
    if (shown) {
        lamp->header.draw_flags &= ~kDrawHidden;
    } else {
        lamp->header.draw_flags |= kDrawHidden;
    }
}

double __stdcall RightRedLampCallback(IconElement* lamp) {
    const double v = lamp->source.value;
    ShowOnlyIf(lamp, v < GearLampThreshold);
    return v;
}

double __stdcall LeftRedLampCallback(IconElement* lamp) {
    const double v = lamp->source.value;
    ShowOnlyIf(lamp, v < GearLampThreshold);
    return v;
}

double __stdcall RightGreenLampCallback(IconElement* lamp) {
    const double v = lamp->source.value;
    ShowOnlyIf(lamp, v > GearLampThreshold);
    return v;
}

double __stdcall LeftGreenLampCallback(IconElement* lamp) {
    const double v = lamp->source.value;
    ShowOnlyIf(lamp, v > GearLampThreshold);
    return v;
}

// ---------------------------------------------------------- element tree

// Root first; each element is the one child of the one before.
extern StaticImage Background;
extern IconElement RightRedLamp;
extern IconElement LeftRedLamp;
extern IconElement RightGreenLamp;
extern IconElement LeftGreenLamp;

// Each element has a failure list of its own, holding only its end record.
constexpr FailureRecord BackgroundFailures[] = {{}};
constexpr FailureRecord RightRedLampFailures[] = {{}};
constexpr FailureRecord LeftRedLampFailures[] = {{}};
constexpr FailureRecord RightGreenLampFailures[] = {{}};
constexpr FailureRecord LeftGreenLampFailures[] = {{}};

ElementHeader* const BackgroundChildren[] = {&RightRedLamp.header, nullptr};
ElementHeader* const RightRedLampChildren[] = {&LeftRedLamp.header, nullptr};
ElementHeader* const LeftRedLampChildren[] = {&RightGreenLamp.header, nullptr};
ElementHeader* const RightGreenLampChildren[] = {&LeftGreenLamp.header, nullptr};

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

constinit IconElement RightRedLamp{
    .header = {
        .kind = gauge::kElementIcon,
        .resource_id = 0x1100,
        .position = {122, 72},
        .gauge = &Gauge,
        .children = RightRedLampChildren,
        .failures = RightRedLampFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 334},
    .update = RightRedLampCallback,
    .switch_mode = kLampSwitchMode,
    .picture_count = kLampPictures,
    .offset = 0,
    .scale = 0.0,
};

constinit IconElement LeftRedLamp{
    .header = {
        .kind = gauge::kElementIcon,
        .resource_id = 0x1200,
        .position = {33, 72},
        .gauge = &Gauge,
        .children = LeftRedLampChildren,
        .failures = LeftRedLampFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 333},
    .update = LeftRedLampCallback,
    .switch_mode = kLampSwitchMode,
    .picture_count = kLampPictures,
    .offset = 0,
    .scale = 0.0,
};

constinit IconElement RightGreenLamp{
    .header = {
        .kind = gauge::kElementIcon,
        .resource_id = 0x1300,
        .position = {124, 107},
        .gauge = &Gauge,
        .children = RightGreenLampChildren,
        .failures = RightGreenLampFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 334},
    .update = RightGreenLampCallback,
    .switch_mode = kLampSwitchMode,
    .picture_count = kLampPictures,
    .offset = 0,
    .scale = 0.0,
};

constinit IconElement LeftGreenLamp{
    .header = {
        .kind = gauge::kElementIcon,
        .resource_id = 0x1400,
        .position = {35, 107},
        .gauge = &Gauge,
        .children = nullptr,
        .failures = LeftGreenLampFailures,
        .draw_flags = kStoredFlags,
    },
    .source = {.token = 333},
    .update = LeftGreenLampCallback,
    .switch_mode = kLampSwitchMode,
    .picture_count = kLampPictures,
    .offset = 0,
    .scale = 0.0,
};

}  // namespace

// ---------------------------------------------------------- handed to the frame

extern const char GaugeName[] = "QV_Vorn_GearCtrls";

ElementHeader* const GaugeElements[1] = {&Background.header};

// No tooltip and no click area: one empty parent area.
extern const MouseRect GaugeMouseArea[] = {
    {.type = gauge::kMouseParent, .cursor = -1},
    {.type = gauge::kMouseEndParent, .cursor = -1},
    {.type = gauge::kMouseEnd, .cursor = -1},
};

// The lamps read only their own source variables, which the host refreshes.
ModuleVar* const ModuleVars[] = {nullptr};
