// The module frame: what every gauge module shares, and what a gauge hands it.
//
// A gauge module is this frame plus one gauge source file. The frame defines
// the exported Linkage and ImportTable, the gauge header with its generic
// values, GaugeCallback with the binding of the sound library, and the
// element access operations. The gauge supplies only the four things below:
// its name, its root element list, its mouse-area list and ModuleVars.
#pragma once

#include <gauge/records.h>

#include <cstdint>

// ---------------------------------------------------------- from the gauge

// The gauge's name: the module's file name without extension.
extern const char GaugeName[];

// One-entry list holding the root element (the gauge's static image).
extern ElementHeader* const GaugeElements[1];

// The gauge's mouse-area list, ended by a kMouseEnd record.
extern const MouseRect GaugeMouseArea[];

// The module variables GaugeCallback refreshes at every pre-update, in list
// order, ended by a null entry. The gauge's update callbacks read them later
// in the same update cycle.
extern ModuleVar* const ModuleVars[];

// ---------------------------------------------------------- from the frame

// The module's one gauge header. Element records name it as their gauge.
extern GaugeHeader Gauge;

extern "C" {

// The two exports. The host reads Linkage and writes its panel-services
// table into ImportTable.
extern LinkageRecord Linkage;
extern ImportTableRecord ImportTable;

// The gauge's root element as of the latest pre-initialise; null before.
extern ElementHeader* RootElement;

// The outside sound library "GaugeSound", bound by name at run time.
using SoundEntry = void(__stdcall*)();
struct SoundLibraryRecord {
    void* Handle;               // as last obtained; never reset to null
    SoundEntry PlayEntry;       // "GaugePlaySound", as last resolved
    SoundEntry StopEntry;       // "GaugeStopSound", as last resolved
    SoundEntry TerminateEntry;  // "TerminateSounds", as last resolved
};
extern SoundLibraryRecord SoundLibrary;

// How many references to the sound library this module holds: every
// successful LoadLibraryA the frame makes adds one, every FreeLibrary it
// makes gives one back. Pre-kill releases only what this module took, so a
// second holder of the library (or a second instance of the gauge) never
// loses it from under its feet.
extern std::uint32_t SoundLibraryReferences;

// Element access on the first-child chain: index n is the element n steps
// down from start, following only the first entry of each child list; null
// when the chain ends first or start is null.
ElementHeader* __stdcall GetElement(ElementHeader* start, std::uint32_t index);
// Set (OR) or clear (AND NOT) the given draw-flag bits of that element; do
// nothing when there is none.
void __stdcall SetElementFlags(ElementHeader* start, std::uint32_t index, std::uint32_t flags);
void __stdcall ClearElementFlags(ElementHeader* start, std::uint32_t index, std::uint32_t flags);

}  // extern "C"

void __stdcall GaugeCallback(GaugeHeader* gauge, std::int32_t service, std::uint32_t extra);

// The number of rows of a table, for a needle's row count.
template <class T, std::uint32_t N>
consteval std::uint32_t CountOf(const T (&)[N]) {
    return N;
}
