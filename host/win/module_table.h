// The Windows module table: panelhost's simulation of the system loader for
// what gauge modules use from KERNEL32.
//
//   LoadLibraryA      8-bit name; without a path the library directory is
//                     searched; without an extension ".dll" is added (a
//                     trailing dot means "no extension"); names compare
//                     case-insensitively; a loaded library gains a
//                     reference; the entry point runs with process attach on
//                     first load; 0 when the library cannot be loaded.
//   GetModuleHandleA  the handle of a loaded library, no reference; 0 when
//                     it is not loaded.
//   GetProcAddress    by name or ordinal from the real export table; 0 when
//                     missing.
//   FreeLibrary       drops one reference; at zero the entry point runs
//                     with process detach and the image is unmapped.
//
// Libraries are real PE32 DLLs mapped by the same loader as the gauge
// module: sections mapped with their protections, base relocations applied
// when the preferred base is taken (or always, when asked), imports bound to
// the KERNEL32 stubs. A module handle is the image's base address.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emu/error.h"
#include "emu/machine.h"
#include "pe/image.h"
#include "trace/trace.h"

namespace panelhost::win {

inline constexpr std::uint32_t kDllProcessDetach = 0;
inline constexpr std::uint32_t kDllProcessAttach = 1;
inline constexpr std::uint32_t kDllThreadAttach = 2;
inline constexpr std::uint32_t kDllThreadDetach = 3;

struct Module {
    std::uint32_t handle = 0;        // base address
    std::string name;                // file name, e.g. "GaugeSound.dll"
    std::filesystem::path path;
    std::shared_ptr<const pe::Image> image;
    std::uint32_t size = 0;          // bytes mapped
    std::uint32_t refs = 0;
    bool relocated = false;          // not at the preferred base
    std::uint32_t entry = 0;         // entry point address, 0 when none
};

// One bound import of a loaded module.
struct Binding {
    std::string module;              // who imports
    std::string dll;                 // from which library, as written
    std::string name;
    std::uint32_t address = 0;       // what the loader wrote into the IAT
};

struct LoaderOptions {
    std::filesystem::path library_dir = ".";
    bool relocate_all = false;       // map every image away from its preferred base
    std::uint64_t entry_budget = 0;  // per entry-point call; 0: the machine's
};

class ModuleTable {
public:
    ModuleTable(emu::Machine& machine, trace::Trace& trace, LoaderOptions options);
    ModuleTable(const ModuleTable&) = delete;
    ModuleTable& operator=(const ModuleTable&) = delete;

    // Registers the KERNEL32 stubs. Call once before loading anything.
    Result<void> install();

    // Loads a module file as the host does for a gauge: like LoadLibraryA,
    // but from an explicit path, and every failure is an error value naming
    // the cause (not found, malformed, unsupported import, entry point
    // refused or faulted).
    Result<const Module*> load_file(const std::filesystem::path& path);

    // The four system calls, as guest code sees them (also callable by the
    // host, playing another module that holds the library).
    std::uint32_t load_library(std::string_view name);
    std::uint32_t module_handle(std::string_view name) const;
    std::uint32_t proc_address(std::uint32_t handle, std::string_view name) const;
    std::uint32_t proc_address(std::uint32_t handle, std::uint16_t ordinal) const;
    bool free_library(std::uint32_t handle);

    // Sends thread attach or detach to every loaded module's entry point.
    Result<void> notify_threads(std::uint32_t reason);

    // ---- queries
    const Module* find(std::uint32_t handle) const;
    const Module* find(std::string_view name) const;   // file name, case-insensitive, ".dll" default
    // The module whose image holds address (nullptr when none).
    const Module* containing(std::uint32_t address) const;
    std::uint32_t ref_count(std::string_view name) const;  // 0 when not loaded
    bool is_loaded(std::string_view name) const { return find(name) != nullptr; }
    std::vector<const Module*> modules() const;
    const std::vector<Binding>& bindings() const { return bindings_; }
    // The address of the stub that serves dll!name, or 0 when we do not provide it.
    std::uint32_t stub_address(std::string_view dll, std::string_view name) const;
    const LoaderOptions& options() const { return options_; }

    // Told after a module is mapped (before its entry point runs) and
    // before it is unmapped.
    void on_map(std::function<void(const Module&)> f) { on_map_ = std::move(f); }
    void on_unmap(std::function<void(const Module&)> f) { on_unmap_ = std::move(f); }

    // The file name LoadLibraryA would look for ("GaugeSound" -> "GaugeSound.dll").
    static std::string library_file_name(std::string_view name);

private:
    struct Loaded;
    Result<Module*> map_image(const std::filesystem::path& path, std::string name);
    Result<void> bind_imports(Module& module);
    Result<void> call_entry(Module& module, std::uint32_t reason);
    void unmap(Module& module);
    Result<const Module*> load_path(const std::filesystem::path& path, std::string name);

    emu::Machine& machine_;
    trace::Trace& trace_;
    LoaderOptions options_;
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<Binding> bindings_;
    struct Provided {
        std::string name;
        std::uint32_t address;
    };
    std::vector<Provided> kernel32_;
    std::function<void(const Module&)> on_map_, on_unmap_;
};

}  // namespace panelhost::win
