// Binding of the outside sound library "GaugeSound": by name at run time,
// tolerated when absent, its references counted so that the module gives
// back only what it took. The record itself, SoundLibrary, is declared in
// <gauge/frame.h>.
#pragma once

namespace frame {

// Pre-initialise: load the library if no handle was ever obtained. A handle
// kept from an earlier life may name a library that has been unloaded since,
// so it is checked by looking the library up by name (no reference taken):
// found, the handle found is kept; not found, the stale handle stays in the
// record but nothing may be resolved through it. Returns the handle to
// resolve through (null when there is none).
void* BindLoadIfNone();

// Pre-update and pre-kill: look the library up by name and load it when it
// is not loaded. Returns the handle stored.
void* BindLookUpOrLoad();

// Resolves the three entries through `handle`; all null when it is null.
void Resolve(void* handle);

// Pre-kill: call "TerminateSounds" when resolved, then give back one
// reference if this module holds one.
void TerminateAndRelease();

}  // namespace frame
