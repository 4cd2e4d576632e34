#include "sound_library.h"

#include <gauge/frame.h>

#include "kernel32.h"

extern "C" {
constinit SoundLibraryRecord SoundLibrary{};
constinit std::uint32_t SoundLibraryReferences = 0;
}

namespace frame {
namespace {

constexpr char kLibraryName[] = "GaugeSound";

// Every reference the module takes goes through here, so the count is exact.
void* Load() {
    void* const handle = LoadLibraryA(kLibraryName);
    if (handle != nullptr) ++SoundLibraryReferences;
    return handle;
}

}  // namespace

void* BindLoadIfNone() {
    if (SoundLibrary.Handle == nullptr) return SoundLibrary.Handle = Load();
    void* const loaded = GetModuleHandleA(kLibraryName);
    if (loaded != nullptr) SoundLibrary.Handle = loaded;
    return loaded;
}

void* BindLookUpOrLoad() {
    void* handle = GetModuleHandleA(kLibraryName);
    if (handle == nullptr) handle = Load();
    return SoundLibrary.Handle = handle;
}

void Resolve(void* handle) {
    if (handle == nullptr) {
        SoundLibrary.PlayEntry = nullptr;
        SoundLibrary.StopEntry = nullptr;
        SoundLibrary.TerminateEntry = nullptr;
        return;
    }
    SoundLibrary.PlayEntry = GetProcAddress(handle, "GaugePlaySound");
    SoundLibrary.StopEntry = GetProcAddress(handle, "GaugeStopSound");
    SoundLibrary.TerminateEntry = GetProcAddress(handle, "TerminateSounds");
}

void TerminateAndRelease() {
    if (SoundLibrary.TerminateEntry != nullptr) SoundLibrary.TerminateEntry();
    if (SoundLibrary.Handle != nullptr && SoundLibraryReferences != 0) {
        FreeLibrary(SoundLibrary.Handle);
        --SoundLibraryReferences;
    }
}

}  // namespace frame
