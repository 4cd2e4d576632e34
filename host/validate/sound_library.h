// Stand-ins for the outside sound library "GaugeSound", so that a module can
// be driven with the library present, absent or lacking entries without the
// user supplying any of them.
//
// Each stand-in is a real, minimal PE32 i386 DLL written byte by byte: an
// entry point that answers 1 for every reason and, for each entry name
// asked for, a function that returns at once (`xor eax, eax; ret`). The
// entries take no arguments: of the three, only "TerminateSounds" has a
// fixed signature (none), and the others are never called by the gauges
// the validator knows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emu/error.h"

namespace panelhost::validate {

inline constexpr std::string_view kSoundLibraryName = "GaugeSound";
inline constexpr std::string_view kSoundEntries[] = {"GaugePlaySound", "GaugeStopSound", "TerminateSounds"};

// The DLL's bytes, exporting `entries` by name. The export table's module
// name is "GaugeSound.dll".
std::vector<std::uint8_t> make_sound_library(const std::vector<std::string>& entries);

// The library conditions a module's life is driven under.
enum class SoundCondition {
    present,          // all three entries (or the user's own library)
    absent,           // no library to load
    no_terminate,     // lacks "TerminateSounds"
    no_entries,       // exports none of the three
};
std::string_view describe(SoundCondition condition);
inline constexpr SoundCondition kSoundConditions[] = {SoundCondition::present, SoundCondition::absent,
                                                      SoundCondition::no_terminate, SoundCondition::no_entries};

// A temporary folder per condition, each holding the matching "GaugeSound.dll"
// (none for absent), removed again on destruction.
class SoundLibraries {
public:
    // `user_dir`: when set, the present condition uses that folder (the
    // user's own library) instead of the stand-in.
    static Result<SoundLibraries> create(const std::optional<std::filesystem::path>& user_dir);
    SoundLibraries(SoundLibraries&& other) noexcept;
    SoundLibraries& operator=(SoundLibraries&&) = delete;
    SoundLibraries(const SoundLibraries&) = delete;
    ~SoundLibraries();

    std::filesystem::path dir(SoundCondition condition) const;

private:
    SoundLibraries() = default;
    std::filesystem::path root_;
    std::optional<std::filesystem::path> user_dir_;
};

}  // namespace panelhost::validate
