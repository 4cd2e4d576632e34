#include "win/module_table.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "emu/strprintf.h"
#include "win/names.h"

namespace panelhost::win {

namespace fs = std::filesystem;
using trace::hex;
using trace::Json;

namespace {

constexpr std::uint64_t kMaxFileSize = 256u << 20;
constexpr std::uint16_t kRelocsStripped = 0x0001;

Result<std::vector<std::uint8_t>> read_file(const fs::path& path) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    if (ec) return fail("cannot open the file: " + ec.message());
    if (size > kMaxFileSize) return fail("the file is too large for a module");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot open the file");
    std::vector<std::uint8_t> bytes(size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return fail("cannot read the file");
    return bytes;
}

std::uint32_t section_perms(const pe::Section& s) {
    std::uint32_t p = 0;
    if (s.readable()) p |= emu::kRead;
    if (s.writable()) p |= emu::kWrite;
    if (s.executable()) p |= emu::kExec | emu::kRead;
    return p;
}

const char* reason_name(std::uint32_t reason) {
    switch (reason) {
    case kDllProcessAttach: return "attach";
    case kDllProcessDetach: return "detach";
    case kDllThreadAttach: return "thread_attach";
    case kDllThreadDetach: return "thread_detach";
    }
    return "entry";
}

}  // namespace

ModuleTable::ModuleTable(emu::Machine& machine, trace::Trace& trace, LoaderOptions options)
    : machine_(machine), trace_(trace), options_(std::move(options)) {}

std::string ModuleTable::library_file_name(std::string_view name) {
    std::string file(base_name(name));
    if (file.empty()) return file;
    // A trailing dot means "this name has no extension".
    if (file.back() == '.') {
        file.pop_back();
        return file;
    }
    if (file.find('.') == std::string::npos) file += ".dll";
    return file;
}

// ------------------------------------------------------------ queries

const Module* ModuleTable::find(std::uint32_t handle) const {
    for (const auto& m : modules_)
        if (m->handle == handle && handle != 0) return m.get();
    return nullptr;
}

const Module* ModuleTable::find(std::string_view name) const {
    std::string file = library_file_name(name);
    if (file.empty()) return nullptr;
    for (const auto& m : modules_)
        if (same_name(m->name, file)) return m.get();
    return nullptr;
}

const Module* ModuleTable::containing(std::uint32_t address) const {
    for (const auto& m : modules_)
        if (address >= m->handle && address - m->handle < m->size) return m.get();
    return nullptr;
}

std::uint32_t ModuleTable::ref_count(std::string_view name) const {
    const Module* m = find(name);
    return m ? m->refs : 0;
}

std::vector<const Module*> ModuleTable::modules() const {
    std::vector<const Module*> out;
    for (const auto& m : modules_) out.push_back(m.get());
    return out;
}

std::uint32_t ModuleTable::stub_address(std::string_view dll, std::string_view name) const {
    if (!same_name(library_file_name(dll), "kernel32.dll")) return 0;
    for (const auto& p : kernel32_)
        if (p.name == name) return p.address;
    return 0;
}

// ------------------------------------------------------------ loading

Result<Module*> ModuleTable::map_image(const fs::path& path, std::string name) {
    auto bytes = read_file(path);
    if (!bytes) return std::unexpected(bytes.error());
    auto parsed = pe::Image::parse(std::move(*bytes));
    if (!parsed) return fail(parsed.error().message);
    auto image = std::make_shared<const pe::Image>(std::move(*parsed));
    if (!image->is_dll()) return fail("not a DLL");

    const std::uint32_t size = (image->size_of_image() + emu::kPageSize - 1) / emu::kPageSize * emu::kPageSize;
    if (size == 0) return fail("the image is empty");
    std::uint32_t base = image->image_base();
    bool relocated = options_.relocate_all || base % 0x10000 != 0 || !machine_.is_free(base, size);
    if (relocated) {
        if (image->characteristics() & kRelocsStripped)
            return fail(strprintf("its preferred base 0x%08x is taken and it has no relocations", base));
        std::uint32_t preferred = base;
        auto free = machine_.find_free(size);
        if (!free) return std::unexpected(free.error());
        base = *free;
        // Never "relocate" onto the preferred base itself.
        if (base == preferred) {
            free = machine_.find_free(size + 0x10000);
            if (!free) return std::unexpected(free.error());
            base = *free + 0x10000;
        }
    }

    std::vector<std::uint8_t> memory = image->memory_image();
    memory.resize(size, 0);
    if (base != image->image_base())
        if (auto r = image->relocate(memory, base); !r) return fail(r.error().message);

    auto module = std::make_unique<Module>();
    module->handle = base;
    module->name = std::move(name);
    module->path = path;
    module->image = image;
    module->size = size;
    module->relocated = base != image->image_base();
    module->entry = image->entry_point_rva() ? base + image->entry_point_rva() : 0;
    if (module->entry && image->entry_point_rva() >= size) return fail("its entry point lies outside the image");

    // Imports: every one must be a KERNEL32 function we provide.
    for (const auto& imp : image->imports()) {
        std::uint32_t stub = imp.by_ordinal ? 0 : stub_address(imp.dll, imp.name);
        if (!stub) {
            std::string what = imp.by_ordinal ? strprintf("#%u", imp.ordinal) : imp.name;
            if (trace_.on())
                trace_.emit("error", {{"what", "unsupported import"}, {"module", module->name},
                                      {"dll", imp.dll}, {"name", what}});
            return fail("imports " + imp.dll + "!" + what + ", which panelhost does not provide");
        }
        if (std::uint64_t{imp.iat_rva} + 4 > size) return fail("an import address lies outside the image");
        std::memcpy(memory.data() + imp.iat_rva, &stub, 4);
    }

    if (auto r = machine_.map(base, size, emu::kRead | emu::kWrite, module->name); !r)
        return std::unexpected(r.error());
    auto undo = [&] { (void)machine_.unmap(base, size); };
    if (auto r = machine_.write(base, memory); !r) {
        undo();
        return std::unexpected(r.error());
    }
    // Headers read-only; each section with its own protection.
    std::uint32_t headers = std::min(size, (image->size_of_headers() + emu::kPageSize - 1) / emu::kPageSize * emu::kPageSize);
    if (headers) (void)machine_.protect(base, headers, emu::kRead);
    if (image->section_alignment() >= emu::kPageSize) {
        for (const auto& s : image->sections()) {
            std::uint64_t start = s.rva, length = std::max(s.virtual_size, s.raw_size);
            length = (length + emu::kPageSize - 1) / emu::kPageSize * emu::kPageSize;
            if (start % emu::kPageSize || start + length > size || length == 0) continue;
            (void)machine_.protect(base + s.rva, static_cast<std::uint32_t>(length), section_perms(s));
        }
    } else {
        (void)machine_.protect(base, size, emu::kRead | emu::kWrite | emu::kExec);
    }
    machine_.invalidate_code(base, size);

    for (const auto& imp : image->imports())
        bindings_.push_back(Binding{module->name, imp.dll, imp.name, stub_address(imp.dll, imp.name)});
    modules_.push_back(std::move(module));
    Module* m = modules_.back().get();
    if (trace_.on())
        trace_.emit("library", {{"action", "load"}, {"name", m->name}, {"base", hex(m->handle)},
                                {"refs", 0}, {"relocated", m->relocated}});
    if (on_map_) on_map_(*m);
    return m;
}

Result<void> ModuleTable::call_entry(Module& module, std::uint32_t reason) {
    if (!module.entry) {
        if (trace_.on())
            trace_.emit("library", {{"action", reason_name(reason)}, {"name", module.name},
                                    {"base", hex(module.handle)}, {"refs", module.refs}, {"result", nullptr}});
        return {};
    }
    std::uint32_t args[] = {module.handle, reason, 0};
    std::string fname = module.name + " entry point";
    auto r = machine_.call({.name = fname, .address = module.entry, .args = args,
                            .returns = emu::Returns::int32,
                            .budget = options_.entry_budget ? std::optional(options_.entry_budget) : std::nullopt});
    if (!r) {
        if (trace_.on())
            trace_.emit("fault", {{"function", fname}, {"kind", std::string(emu::to_string(r.error().kind))},
                                  {"pc", hex(r.error().pc)}, {"address", hex(r.error().address)},
                                  {"message", r.error().message()}});
        return fail(r.error().message());
    }
    if (trace_.on()) {
        Json e = {{"action", reason_name(reason)}, {"name", module.name}, {"base", hex(module.handle)},
                  {"refs", module.refs}, {"result", r->eax}};
        if (machine_.counting()) e["instructions"] = r->instructions;
        trace_.emit("library", std::move(e));
    }
    if (reason == kDllProcessAttach && r->eax == 0) return fail("its entry point refused process attach");
    return {};
}

void ModuleTable::unmap(Module& module) {
    if (on_unmap_) on_unmap_(module);
    (void)machine_.unmap(module.handle, module.size);
    if (trace_.on()) trace_.emit("library", {{"action", "unload"}, {"name", module.name}, {"base", hex(module.handle)}, {"refs", 0}});
    std::erase_if(bindings_, [&](const Binding& b) { return b.module == module.name; });
    std::erase_if(modules_, [&](const auto& m) { return m.get() == &module; });
}

Result<const Module*> ModuleTable::load_path(const fs::path& path, std::string name) {
    auto mapped = map_image(path, std::move(name));
    if (!mapped) return std::unexpected(mapped.error());
    Module* m = *mapped;
    m->refs = 1;
    if (auto r = call_entry(*m, kDllProcessAttach); !r) {
        // A refused or failed attach leaves nothing behind.
        m->refs = 0;
        unmap(*m);
        return std::unexpected(r.error());
    }
    return m;
}

Result<const Module*> ModuleTable::load_file(const fs::path& path) {
    std::string name = path.filename().string();
    if (Module* m = const_cast<Module*>(find(name))) {
        ++m->refs;
        if (trace_.on()) trace_.emit("library", {{"action", "reference"}, {"name", m->name}, {"base", hex(m->handle)}, {"refs", m->refs}});
        return m;
    }
    return load_path(path, name);
}

std::uint32_t ModuleTable::load_library(std::string_view name) {
    std::string file = library_file_name(name);
    auto refuse = [&](std::string why) -> std::uint32_t {
        if (trace_.on()) trace_.emit("error", {{"what", "LoadLibraryA failed"}, {"name", std::string(name)}, {"reason", why}});
        return 0;
    };
    if (file.empty()) return refuse("empty name");
    if (Module* m = const_cast<Module*>(find(file))) {
        ++m->refs;
        if (trace_.on()) trace_.emit("library", {{"action", "reference"}, {"name", m->name}, {"base", hex(m->handle)}, {"refs", m->refs}});
        return m->handle;
    }
    // Without a path: the library directory. With one: that path, relative
    // paths taken from the library directory.
    fs::path path = options_.library_dir;
    if (has_directory(name)) {
        std::string given(name);
        std::replace(given.begin(), given.end(), '\\', '/');
        fs::path dir = fs::path(given).parent_path();
        path = dir.is_absolute() ? dir : options_.library_dir / dir;
    }
    fs::path candidate = path / file;
    std::error_code ec;
    if (!fs::is_regular_file(candidate, ec)) {
        // Windows file names are case-insensitive.
        candidate.clear();
        for (const auto& entry : fs::directory_iterator(path, ec))
            if (entry.is_regular_file(ec) && same_name(entry.path().filename().string(), file)) {
                candidate = entry.path();
                break;
            }
        if (candidate.empty()) return refuse("not found in " + path.string());
    }
    auto loaded = load_path(candidate, candidate.filename().string());
    if (!loaded) return refuse(loaded.error().message);
    return (*loaded)->handle;
}

std::uint32_t ModuleTable::module_handle(std::string_view name) const {
    const Module* m = find(name);
    return m ? m->handle : 0;
}

std::uint32_t ModuleTable::proc_address(std::uint32_t handle, std::string_view name) const {
    const Module* m = find(handle);
    if (!m) return 0;
    const pe::Export* e = m->image->find_export(name);
    if (!e || e->forwarder || e->rva == 0 || e->rva >= m->size) return 0;
    return m->handle + e->rva;
}

std::uint32_t ModuleTable::proc_address(std::uint32_t handle, std::uint16_t ordinal) const {
    const Module* m = find(handle);
    if (!m) return 0;
    const pe::Export* e = m->image->find_export(std::uint32_t{ordinal});
    if (!e || e->forwarder || e->rva == 0 || e->rva >= m->size) return 0;
    return m->handle + e->rva;
}

bool ModuleTable::free_library(std::uint32_t handle) {
    Module* m = const_cast<Module*>(find(handle));
    if (!m || m->refs == 0) return false;   // unknown, or already on its way out
    --m->refs;
    if (m->refs > 0) {
        if (trace_.on()) trace_.emit("library", {{"action", "release"}, {"name", m->name}, {"base", hex(m->handle)}, {"refs", m->refs}});
        return true;
    }
    (void)call_entry(*m, kDllProcessDetach);   // its result does not matter; a fault is traced
    unmap(*m);
    return true;
}

Result<void> ModuleTable::notify_threads(std::uint32_t reason) {
    // In load order, as Windows does; a module unloaded meanwhile is skipped.
    std::vector<std::uint32_t> handles;
    for (const auto& m : modules_) handles.push_back(m->handle);
    for (std::uint32_t h : handles) {
        Module* m = const_cast<Module*>(find(h));
        if (!m) continue;
        if (auto r = call_entry(*m, reason); !r) return fail(m->name + ": " + r.error().message);
    }
    return {};
}

}  // namespace panelhost::win
