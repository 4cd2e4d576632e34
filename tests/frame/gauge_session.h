// A gauge module running in panelhost, with its trace kept, for the frame
// and gauge suites. The trace is reduced to the events that show what the
// module does to the outside world, one short line each:
//   "load GaugeSound", "load GaugeSound failed"      LoadLibraryA
//   "find GaugeSound", "find GaugeSound none"        GetModuleHandleA
//   "resolve TerminateSounds", "... none"            GetProcAddress
//   "free"                                           FreeLibrary
//   "attach", "detach"                               the sound library's entry point
//                                                    (other libraries: "attach <name>")
//   "TerminateSounds called"                         a watched sound entry reached
//   "lookup 566"                                     panel service 40
//   "error: ...", "fault: ..."                       anything going wrong
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "modules.h"
#include "panel/session.h"
#include "trace/trace.h"

namespace frame_test {

using panelhost::panel::GaugeInstance;
using panelhost::panel::GaugeModule;
using panelhost::panel::Host;

// Which "GaugeSound" the library folder holds.
enum class Sound { present, no_terminate, absent };

inline std::filesystem::path library_dir(Sound sound) {
    const std::filesystem::path fixtures(FIXTURE_DIR);
    switch (sound) {
    case Sound::present: return fixtures / "gauge_sound";
    case Sound::no_terminate: return fixtures / "gauge_sound_noterm";
    case Sound::absent: break;
    }
    // A folder that holds no library at all.
    auto empty = std::filesystem::temp_directory_path() / "frame-tests-no-sound";
    std::filesystem::create_directories(empty);
    return empty;
}

inline const char* kSoundLibrary = "GaugeSound";

class Session {
public:
    // Loads the module, writes ImportTable, calls ModuleInit and registers
    // `instances` instances of its gauge. Fails the test on any error.
    static std::unique_ptr<Session> open(const std::filesystem::path& module, Sound sound, int instances = 1,
                                         panelhost::panel::HostOptions options = {}) {
        auto s = std::unique_ptr<Session>(new Session());
        options.library_dir = library_dir(sound);
        auto host = Host::create(options);
        if (!host) {
            ADD_FAILURE() << host.error().message;
            return nullptr;
        }
        s->host = std::move(*host);
        s->host->trace().attach(&s->sink);
        for (const char* entry : {"GaugePlaySound", "GaugeStopSound", "TerminateSounds"})
            s->host->watch_export(kSoundLibrary, entry);
        auto m = s->host->load_module(module);
        if (!m) {
            ADD_FAILURE() << m.error().message;
            return nullptr;
        }
        s->module = *m;
        if (!s->ok(s->host->write_import_table(*s->module)) || !s->ok(s->host->module_init(*s->module))) return nullptr;
        for (int i = 0; i < instances; ++i) {
            auto g = s->host->add_instance(*s->module);
            if (!g) {
                ADD_FAILURE() << g.error().message;
                return nullptr;
            }
            s->gauges.push_back(*g);
        }
        s->sink.events.clear();
        return s;
    }

    GaugeInstance& gauge(int i = 0) { return *gauges.at(static_cast<std::size_t>(i)); }

    bool ok(const panelhost::Result<void>& r) {
        if (r) return true;
        ADD_FAILURE() << r.error().message;
        return false;
    }
    void send(std::uint32_t code, int instance = 0) { ok(host->send(gauge(instance), code)); }
    void cycle(int instance = 0) { ok(host->update_cycle(gauge(instance))); }

    // The reduced trace since the last call (or since open()).
    std::vector<std::string> take_events();

    std::uint32_t sound_refs() const { return host->modules().ref_count(kSoundLibrary); }
    std::uint32_t export_address(std::string_view name) const { return host->export_address(*module, name); }
    std::uint32_t read_u32(std::uint32_t address) const {
        auto v = host->read_u32(address);
        if (!v) ADD_FAILURE() << v.error().message;
        return v ? *v : 0;
    }
    // The module's whole image, to show that a call changed nothing.
    std::vector<std::uint8_t> image_bytes() const {
        std::vector<std::uint8_t> bytes(module->module().size);
        auto r = host->machine().read(module->handle(), bytes);
        if (!r) ADD_FAILURE() << r.error().message;
        return bytes;
    }

    std::unique_ptr<Host> host;
    panelhost::trace::MemorySink sink;
    GaugeModule* module = nullptr;
    std::vector<GaugeInstance*> gauges;

private:
    Session() = default;
};

inline std::vector<std::string> Session::take_events() {
    using panelhost::trace::Json;
    std::vector<std::string> out;
    auto is_null = [](const Json& j) { return j.is_string() && j.get<std::string>() == "0x00000000"; };
    for (const Json& e : sink.events) {
        const std::string kind = e.value("event", "");
        if (kind == "syscall") {
            const std::string name = e.value("name", "");
            const std::string arg = e["arg"].is_string() ? e["arg"].get<std::string>() : e["arg"].dump();
            const bool none = is_null(e["result"]);
            if (name == "LoadLibraryA") out.push_back("load " + arg + (none ? " failed" : ""));
            else if (name == "GetModuleHandleA") out.push_back("find " + arg + (none ? " none" : ""));
            else if (name == "GetProcAddress") out.push_back("resolve " + arg + (none ? " none" : ""));
            else if (name == "FreeLibrary") out.push_back("free");
            else out.push_back("syscall " + name);
        } else if (kind == "library") {
            const std::string action = e.value("action", "");
            const std::string name = e.value("name", "");
            if (action != "attach" && action != "detach") continue;
            out.push_back(name == "GaugeSound.dll" ? action : action + " " + name);
        } else if (kind == "entry") {
            out.push_back(e.value("name", "") + " called");
        } else if (kind == "panel_service") {
            out.push_back("lookup " + e["token"].dump());
        } else if (kind == "error" && e.value("what", "") == "LoadLibraryA failed") {
            continue;   // the syscall line above says it
        } else if (kind == "error" || kind == "fault") {
            out.push_back(kind + ": " + e.dump());
        }
    }
    sink.events.clear();
    return out;
}

}  // namespace frame_test
