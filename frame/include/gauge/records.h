// The host-interface records: what a gauge module and the panel host exchange.
//
// One definition serves two builds:
//   - the i686 module build, where every reference is a real pointer
//     (NativeAbi, only available when compiling for 32-bit Windows), and
//   - the x86-64 host, which reads the same records out of 32-bit guest
//     memory and sees every reference as a 32-bit guest address (GuestAbi).
// Each record is a template over the ABI. The layout checks at the end of
// this file are compiled into both builds against the same literal numbers,
// so the two views cannot drift apart.
//
// Layout rules (this project's own interface; the field names follow the
// roles the host gives them):
//   - every reference, function reference and integer is 32 bits wide;
//   - every 64-bit float sits at an offset that is a multiple of 8, and every
//     record that holds one has a size that is a multiple of 8, so i686 and
//     x86-64 agree without packing pragmas;
//   - Linkage and ImportTable have the fixed layout the host expects.
//
// Calling convention: every function the host calls (hooks, the gauge
// callback, element update callbacks) and every panel service is __stdcall;
// a 64-bit float result comes back in x87 ST0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gauge {

// ---------------------------------------------------------------- ABIs

// The host's view: every reference is a 32-bit guest address.
struct GuestAbi {
    template <class T> using Ptr = std::uint32_t;
    template <class F> using Fn = std::uint32_t;
};

#if defined(_WIN32) && defined(__i386__)
namespace detail {
template <class F> struct StdcallPointer;
template <class R, class... Args> struct StdcallPointer<R(Args...)> {
    using type = R(__stdcall*)(Args...);
};
}  // namespace detail

// The module's view: real pointers, __stdcall function pointers.
struct NativeAbi {
    template <class T> using Ptr = T*;
    template <class F> using Fn = typename detail::StdcallPointer<F>::type;
};
#endif

// ---------------------------------------------------------------- constants

// Draw-flag bits of an element.
enum DrawFlag : std::uint32_t {
    kDrawTransparent = 0x1,         // pure black (0,0,0) pixels are not drawn
    kDrawErase = 0x2,               // erase the element's area before drawing
    kDrawLit = 0x4,                 // lit (night lighting)
    kDrawBilinear = 0x80,           // bilinear colour sampling
    kDrawHidden = 0x40000000,       // not drawn at all
};
inline constexpr std::uint32_t kKnownDrawFlags =
    kDrawTransparent | kDrawErase | kDrawLit | kDrawBilinear | kDrawHidden;

// Kinds of element; the first field of every element record.
enum ElementKind : std::uint32_t {
    kElementStaticImage = 0,
    kElementNeedle = 1,
    kElementIcon = 4,
};

// Service codes sent to a gauge callback.
enum ServiceCode : std::uint32_t {
    kServicePreInitialize = 4,
    kServicePreUpdate = 6,
    kServicePreDraw = 10,
    kServicePreKill = 12,
};

// Type codes of mouse-area records.
enum MouseRectType : std::uint32_t {
    kMouseEnd = 0,          // ends the list
    kMouseParent = 1,       // opens a parent area
    kMouseChild = 2,        // a click area inside a parent
    kMouseEndParent = 3,    // closes a parent area
    kMouseTooltip = 4,      // function slot: tooltip text; data slot: its area
};

inline constexpr std::uint32_t kModuleId = 0x13;
inline constexpr std::uint32_t kModuleVersion = 0x800;
inline constexpr std::uint32_t kGaugeHeaderVersion = 800;
inline constexpr std::uint32_t kImportPanelServices = 0x0F;

// The panel-services table has this many 32-bit entries; entry 40 is the
// variable look-up, every other entry is reserved.
inline constexpr std::uint32_t kPanelServiceCount = 64;
inline constexpr std::uint32_t kPanelServiceLookupVar = 40;

// ---------------------------------------------------------------- records

struct Point {
    std::int32_t x;
    std::int32_t y;
};

struct Box {
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
};

// A simulator variable as the module sees it: the host stores the token's
// current value into `value` when asked to refresh it.
template <class A> struct ModuleVarT {
    std::uint32_t token;     //  0  simulator variable number
    std::uint32_t reserved;  //  4  zero as stored; the host's own
    double value;            //  8  current value, 0.0 until first refresh
};

// One row of a needle's non-linearity table: the needle shows `value` when
// it points at `point` (background pixels).
struct NonlinearityRow {
    Point point;             //  0
    double value;            //  8
    double reserved;         // 16  0.0 as stored
};

// One record of a failure list; a list ends with an all-zero record.
struct FailureRecord {
    std::uint32_t key;
    std::uint32_t action;
};

template <class A> struct GaugeHeaderT;

// Fields every element starts with. `kind` tells which record follows.
template <class A> struct ElementHeaderT {
    std::uint32_t kind;                                    //  0  ElementKind
    std::uint32_t resource_id;                             //  4  bitmap (first picture)
    Point position;                                        //  8  see each kind
    Point previous_position;                               // 16  host's own
    Point pivot;                                           // 24  needle: pixel of its bitmap placed on position
    typename A::template Ptr<GaugeHeaderT<A>> gauge;       // 32  the gauge this element belongs to
    typename A::template Ptr<ElementHeaderT<A>> previous;  // 36  host's own
    // Null-terminated list of child elements, drawn after (on top of) this one.
    typename A::template Ptr<const typename A::template Ptr<ElementHeaderT<A>>> children;  // 40
    typename A::template Ptr<const FailureRecord> failures;  // 44  ends with an all-zero record
    std::uint32_t draw_flags;                              // 48  DrawFlag bits
    std::uint32_t special_flags;                           // 52  special instrumentation
    std::uint32_t reserved;                                // 56
    std::uint32_t reserved2;                               // 60
};

// A bitmap drawn at `position` (its top-left corner).
template <class A> struct StaticImageT {
    ElementHeaderT<A> header;
};

// A bitmap that points to +x, turned about `pivot` (a pixel of the bitmap) placed on `position`, to the angle that `table` gives for
// the value `update` returns.
template <class A> struct NeedleElementT {
    ElementHeaderT<A> header;                                           //  0
    ModuleVarT<A> source;                                               // 64  refreshed by the host
    typename A::template Ptr<const NonlinearityRow> table;              // 80
    std::uint32_t table_rows;                                           // 84
    typename A::template Fn<double(NeedleElementT<A>*)> update;         // 88
    std::uint32_t reserved;                                             // 92
};

// One of `picture_count` bitmaps (resource_id + n) drawn at `position`
// (top-left corner), picked from the value `update` returns by `switch_mode`.
template <class A> struct IconElementT {
    ElementHeaderT<A> header;                                           //  0
    ModuleVarT<A> source;                                               // 64  refreshed by the host
    typename A::template Fn<double(IconElementT<A>*)> update;           // 80
    std::uint32_t switch_mode;                                          // 84
    std::uint32_t picture_count;                                        // 88
    std::int32_t offset;                                                // 92
    double scale;                                                       // 96
};

// A record of a gauge's mouse-area list.
template <class A> struct MouseRectT {
    std::uint32_t type;                                 //  0  MouseRectType
    Box box;                                            //  4
    std::int32_t cursor;                                // 20  -1: none
    std::uint32_t help_id;                              // 24
    std::uint32_t mouse_flags;                          // 28
    std::uint32_t event_id;                             // 32
    typename A::template Ptr<const void> function;      // 36  click handler, or tooltip text
    typename A::template Ptr<const void> data;          // 40  tooltip: the area it belongs to
};

// The gauge header, named by Linkage's gauge table.
template <class A> struct GaugeHeaderT {
    std::uint32_t header_version;                                                   //  0
    typename A::template Ptr<const char> name;                                      //  4
    // One-entry array: the root element. The host takes exactly entry 0.
    typename A::template Ptr<const typename A::template Ptr<ElementHeaderT<A>>> elements;  //  8
    typename A::template Fn<void(GaugeHeaderT<A>*, std::int32_t, std::uint32_t)> callback;  // 12
    std::uint32_t user_data;                                                        // 16
    typename A::template Ptr<const MouseRectT<A>> mouse_rects;                      // 20
    std::uint32_t default_size_mm;                                                  // 24
    std::uint32_t flags;                                                            // 28
    std::uint32_t size_x;                                                           // 32  host's own
    std::uint32_t size_y;                                                           // 36  host's own
};

// The host's panel-services table. Only entry 40, the variable look-up,
// is implemented; it stores the token's current value into the record.
template <class A> struct PanelServicesT {
    typename A::template Ptr<const void> reserved_low[kPanelServiceLookupVar];
    typename A::template Fn<void(ModuleVarT<A>*)> lookup_var;
    typename A::template Ptr<const void> reserved_high[kPanelServiceCount - kPanelServiceLookupVar - 1];
};

// Exported as "Linkage": how the host finds the module's gauge and hooks.
template <class A> struct LinkageT {
    std::uint32_t module_id;                                //  0  kModuleId
    typename A::template Fn<void()> module_init;            //  4
    typename A::template Fn<void()> module_deinit;          //  8
    std::uint32_t flags;                                    // 12
    std::uint32_t priority;                                 // 16
    std::uint32_t version;                                  // 20  kModuleVersion
    typename A::template Ptr<GaugeHeaderT<A>> gauges[2];    // 24  one header, then null
};

// Exported as "ImportTable": the host writes its panel-services table
// address into entry 0.
template <class A> struct ImportEntryT {
    std::uint32_t id;
    typename A::template Ptr<PanelServicesT<A>> ref;
};
template <class A> struct ImportTableT {
    ImportEntryT<A> entries[2];   // {kImportPanelServices, table}, {0, null}
};

// ---------------------------------------------------------------- layout

// The same numbers are checked in the module build and the host build.
template <class A> struct LayoutCheck {
    static_assert(sizeof(Point) == 8 && sizeof(Box) == 16);
    static_assert(sizeof(ModuleVarT<A>) == 16 && offsetof(ModuleVarT<A>, value) == 8);
    static_assert(sizeof(NonlinearityRow) == 24 && offsetof(NonlinearityRow, value) == 8 &&
                  offsetof(NonlinearityRow, reserved) == 16);
    static_assert(sizeof(FailureRecord) == 8);

    using H = ElementHeaderT<A>;
    static_assert(sizeof(H) == 64);
    static_assert(offsetof(H, resource_id) == 4 && offsetof(H, position) == 8 &&
                  offsetof(H, previous_position) == 16 && offsetof(H, pivot) == 24 &&
                  offsetof(H, gauge) == 32 && offsetof(H, previous) == 36 &&
                  offsetof(H, children) == 40 && offsetof(H, failures) == 44 &&
                  offsetof(H, draw_flags) == 48 && offsetof(H, special_flags) == 52 &&
                  offsetof(H, reserved) == 56 && offsetof(H, reserved2) == 60);

    static_assert(sizeof(StaticImageT<A>) == 64);

    using N = NeedleElementT<A>;
    static_assert(sizeof(N) == 96);
    static_assert(offsetof(N, source) == 64 && offsetof(N, table) == 80 &&
                  offsetof(N, table_rows) == 84 && offsetof(N, update) == 88 &&
                  offsetof(N, reserved) == 92);

    using I = IconElementT<A>;
    static_assert(sizeof(I) == 104);
    static_assert(offsetof(I, source) == 64 && offsetof(I, update) == 80 &&
                  offsetof(I, switch_mode) == 84 && offsetof(I, picture_count) == 88 &&
                  offsetof(I, offset) == 92 && offsetof(I, scale) == 96);

    using M = MouseRectT<A>;
    static_assert(sizeof(M) == 44);
    static_assert(offsetof(M, box) == 4 && offsetof(M, cursor) == 20 && offsetof(M, help_id) == 24 &&
                  offsetof(M, mouse_flags) == 28 && offsetof(M, event_id) == 32 &&
                  offsetof(M, function) == 36 && offsetof(M, data) == 40);

    using G = GaugeHeaderT<A>;
    static_assert(sizeof(G) == 40);
    static_assert(offsetof(G, name) == 4 && offsetof(G, elements) == 8 && offsetof(G, callback) == 12 &&
                  offsetof(G, user_data) == 16 && offsetof(G, mouse_rects) == 20 &&
                  offsetof(G, default_size_mm) == 24 && offsetof(G, flags) == 28 &&
                  offsetof(G, size_x) == 32 && offsetof(G, size_y) == 36);

    static_assert(sizeof(PanelServicesT<A>) == 4 * kPanelServiceCount);
    static_assert(offsetof(PanelServicesT<A>, lookup_var) == 4 * kPanelServiceLookupVar);

    using L = LinkageT<A>;
    static_assert(sizeof(L) == 32);
    static_assert(offsetof(L, module_init) == 4 && offsetof(L, module_deinit) == 8 &&
                  offsetof(L, flags) == 12 && offsetof(L, priority) == 16 &&
                  offsetof(L, version) == 20 && offsetof(L, gauges) == 24);

    static_assert(sizeof(ImportEntryT<A>) == 8 && offsetof(ImportEntryT<A>, ref) == 4);
    static_assert(sizeof(ImportTableT<A>) == 16);

    static constexpr bool ok = true;
};

static_assert(LayoutCheck<GuestAbi>::ok);
#if defined(_WIN32) && defined(__i386__)
static_assert(LayoutCheck<NativeAbi>::ok);
#endif

// Guest-address views, for the host.
namespace guest {
using ModuleVar = ModuleVarT<GuestAbi>;
using ElementHeader = ElementHeaderT<GuestAbi>;
using StaticImage = StaticImageT<GuestAbi>;
using NeedleElement = NeedleElementT<GuestAbi>;
using IconElement = IconElementT<GuestAbi>;
using MouseRect = MouseRectT<GuestAbi>;
using GaugeHeader = GaugeHeaderT<GuestAbi>;
using PanelServices = PanelServicesT<GuestAbi>;
using Linkage = LinkageT<GuestAbi>;
using ImportTable = ImportTableT<GuestAbi>;
}  // namespace guest

}  // namespace gauge

#if defined(_WIN32) && defined(__i386__)
// The module's own names for the records, as gauge code writes them.
using ModuleVar = gauge::ModuleVarT<gauge::NativeAbi>;
using ElementHeader = gauge::ElementHeaderT<gauge::NativeAbi>;
using StaticImage = gauge::StaticImageT<gauge::NativeAbi>;
using NeedleElement = gauge::NeedleElementT<gauge::NativeAbi>;
using IconElement = gauge::IconElementT<gauge::NativeAbi>;
using MouseRect = gauge::MouseRectT<gauge::NativeAbi>;
using GaugeHeader = gauge::GaugeHeaderT<gauge::NativeAbi>;
using PanelServices = gauge::PanelServicesT<gauge::NativeAbi>;
using LinkageRecord = gauge::LinkageT<gauge::NativeAbi>;
using ImportTableRecord = gauge::ImportTableT<gauge::NativeAbi>;
using gauge::FailureRecord;
using gauge::NonlinearityRow;
#endif
