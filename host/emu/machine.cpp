#include "emu/machine.h"
#include "emu/strprintf.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace panelhost::emu {

namespace {

// Values the callee must preserve; distinct so a swap shows too.
constexpr std::uint32_t kCanaryEbx = 0xB0B0B0B1, kCanaryEsi = 0xB0B0B0B2,
                        kCanaryEdi = 0xB0B0B0B3, kCanaryEbp = 0xB0B0B0B4;
// Room left between a running call's stack and a nested call's arguments.
constexpr std::uint32_t kNestedGap = 256;
constexpr std::uint32_t kTopLevelEsp = kStackBase + kStackSize - 64;

std::uint32_t uc_perms(std::uint32_t perms) {
    std::uint32_t p = 0;
    if (perms & kRead) p |= UC_PROT_READ;
    if (perms & kWrite) p |= UC_PROT_WRITE;
    if (perms & kExec) p |= UC_PROT_EXEC;
    return p;
}

std::string uc_message(uc_err err) { return uc_strerror(err); }

// An x87 80-bit register as Unicorn hands it out, converted exactly (every
// double is representable in 80 bits; NaN stays NaN, -0.0 keeps its sign).
double from_float80(const std::array<std::uint8_t, 10>& raw) {
    static_assert(sizeof(long double) >= 10);
    long double v = 0.0L;
    std::memcpy(&v, raw.data(), raw.size());
    return static_cast<double>(v);
}

}  // namespace

std::string_view to_string(FaultKind kind) {
    switch (kind) {
    case FaultKind::read_unmapped: return "read of unmapped memory";
    case FaultKind::write_unmapped: return "write to unmapped memory";
    case FaultKind::fetch_unmapped: return "execution of unmapped memory";
    case FaultKind::read_protected: return "read of protected memory";
    case FaultKind::write_protected: return "write to protected memory";
    case FaultKind::fetch_protected: return "execution of non-executable memory";
    case FaultKind::invalid_instruction: return "invalid instruction";
    case FaultKind::budget_exceeded: return "instruction budget exceeded";
    case FaultKind::stack_unbalanced: return "stack left unbalanced";
    case FaultKind::register_clobbered: return "callee-saved register not preserved";
    case FaultKind::fpu_stack: return "x87 stack left unbalanced";
    case FaultKind::host_stop: return "stopped by the host";
    case FaultKind::engine: return "emulator error";
    }
    return "fault";
}

std::string Fault::message() const {
    std::string m = strprintf("%s (0x%08x): %s", function.c_str(), entry, std::string(to_string(kind)).c_str());
    switch (kind) {
    case FaultKind::read_unmapped:
    case FaultKind::write_unmapped:
    case FaultKind::fetch_unmapped:
    case FaultKind::read_protected:
    case FaultKind::write_protected:
    case FaultKind::fetch_protected:
        m += strprintf(" 0x%08x at 0x%08x", address, pc);
        break;
    default:
        m += strprintf(" at 0x%08x", pc);
    }
    if (!detail.empty()) m += ": " + detail;
    return m;
}

// ------------------------------------------------------------ call frames

struct Machine::Frame {
    CallSequence* sequence = nullptr;
    std::size_t index = 0;            // the call now running
    std::uint32_t base_esp = 0;       // stack top for every call of the sequence
    // The running call.
    std::string_view name;
    std::uint32_t address = 0;
    std::uint32_t nargs = 0;
    Returns returns = Returns::nothing;
    std::uint32_t esp = 0;            // ESP at its entry (pointing at the return address)
    std::uint64_t start = 0;          // counter when it began
    std::uint64_t budget = 0;
    std::optional<Fault> stop;        // set by a hook that ended the run
    Frame* outer = nullptr;
};

// Hook trampolines: Unicorn calls plain functions with a user pointer.
struct Machine::Impl {
    static void on_stub(uc_engine* uc, std::uint64_t address, std::uint32_t, void* user) {
        auto& m = *static_cast<Machine*>(user);
        if (address == kContinue) {
            m.continue_sequence();
            return;
        }
        std::uint32_t offset = static_cast<std::uint32_t>(address) - kStubBase;
        if (offset % kStubSlot != 0) return;
        std::size_t index = offset / kStubSlot;
        if (index >= m.stubs_.size()) return;
        std::uint32_t esp = 0;
        if (uc_reg_read(uc, UC_X86_REG_ESP, &esp) != UC_ERR_OK) return;
        const Stub& stub = m.stubs_[index];
        StubCall call(m, esp, stub.name);
        std::uint32_t eax = stub.handler ? stub.handler(call) : 0;
        uc_reg_write(uc, UC_X86_REG_EAX, &eax);
    }

    static void on_count(uc_engine* uc, std::uint64_t, std::uint32_t, void* user) {
        auto& m = *static_cast<Machine*>(user);
        ++m.instructions_;
        Frame* f = m.frame_;
        if (f && f->budget && m.instructions_ - f->start > f->budget && !f->stop) {
            Fault fault;
            fault.kind = FaultKind::budget_exceeded;
            fault.detail = strprintf("%llu instructions", static_cast<unsigned long long>(f->budget));
            f->stop = fault;
            uc_emu_stop(uc);
        }
    }

    static bool on_invalid_memory(uc_engine* uc, uc_mem_type type, std::uint64_t address, int,
                                  std::int64_t, void* user) {
        auto& m = *static_cast<Machine*>(user);
        Frame* f = m.frame_;
        if (!f || f->stop) return false;
        Fault fault;
        switch (type) {
        case UC_MEM_READ_UNMAPPED: fault.kind = FaultKind::read_unmapped; break;
        case UC_MEM_WRITE_UNMAPPED: fault.kind = FaultKind::write_unmapped; break;
        case UC_MEM_FETCH_UNMAPPED: fault.kind = FaultKind::fetch_unmapped; break;
        case UC_MEM_READ_PROT: fault.kind = FaultKind::read_protected; break;
        case UC_MEM_WRITE_PROT: fault.kind = FaultKind::write_protected; break;
        case UC_MEM_FETCH_PROT: fault.kind = FaultKind::fetch_protected; break;
        default: fault.kind = FaultKind::engine; break;
        }
        fault.address = static_cast<std::uint32_t>(address);
        std::uint32_t pc = 0;
        uc_reg_read(uc, UC_X86_REG_EIP, &pc);
        // A fetch fault happens at the target itself.
        fault.pc = (type == UC_MEM_FETCH_UNMAPPED || type == UC_MEM_FETCH_PROT) ? fault.address : pc;
        f->stop = fault;
        return false;
    }

    static bool on_invalid_instruction(uc_engine* uc, void* user) {
        auto& m = *static_cast<Machine*>(user);
        Frame* f = m.frame_;
        if (f && !f->stop) {
            Fault fault;
            fault.kind = FaultKind::invalid_instruction;
            uc_reg_read(uc, UC_X86_REG_EIP, &fault.pc);
            f->stop = fault;
        }
        return false;
    }

    static void on_write(uc_engine* uc, uc_mem_type, std::uint64_t address, int size, std::int64_t,
                         void* user) {
        auto& m = *static_cast<Machine*>(user);
        if (!m.write_watch_) return;
        std::uint32_t pc = 0;
        uc_reg_read(uc, UC_X86_REG_EIP, &pc);
        m.write_watch_(pc, static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(size));
    }

    static void on_watch(uc_engine*, std::uint64_t address, std::uint32_t, void* user) {
        auto* entry = static_cast<CodeWatchEntry*>(user);
        if (entry->watch) entry->watch(static_cast<std::uint32_t>(address));
    }
};

// ------------------------------------------------------------ life

Result<std::unique_ptr<Machine>> Machine::create(MachineOptions options) {
    std::unique_ptr<Machine> m(new Machine(options));
    if (auto r = m->init(); !r) return std::unexpected(r.error());
    return m;
}

Machine::~Machine() {
    if (uc_) uc_close(uc_);
}

Result<void> Machine::init() {
    if (uc_err err = uc_open(UC_ARCH_X86, UC_MODE_32, &uc_); err != UC_ERR_OK) {
        uc_ = nullptr;
        return fail("cannot start the emulator: " + uc_message(err));
    }
    if (auto r = map(kStubBase, kStubPageSize, kRead | kExec, "stubs"); !r) return r;
    std::vector<std::uint8_t> int3(kStubPageSize, 0xCC);
    if (auto r = write(kStubBase, int3); !r) return r;
    if (auto r = map(kHostDataBase, kHostDataSize, kRead | kWrite, "host data"); !r) return r;
    if (auto r = map(kStackBase, kStackSize, kRead | kWrite, "stack"); !r) return r;

    auto check = [](uc_err err, const char* what) -> Result<void> {
        if (err != UC_ERR_OK) return fail(strprintf("cannot add the %s hook: %s", what, uc_strerror(err)));
        return {};
    };
    if (auto r = check(uc_hook_add(uc_, &code_hook_, UC_HOOK_CODE, reinterpret_cast<void*>(&Impl::on_stub),
                                   this, kStubBase, kStubBase + kStubPageSize - 1),
                       "stub");
        !r)
        return r;
    if (auto r = check(uc_hook_add(uc_, &invalid_hook_, UC_HOOK_MEM_INVALID,
                                   reinterpret_cast<void*>(&Impl::on_invalid_memory), this, 1, 0),
                       "memory fault");
        !r)
        return r;
    std::uint64_t insn_hook = 0;
    if (auto r = check(uc_hook_add(uc_, &insn_hook, UC_HOOK_INSN_INVALID,
                                   reinterpret_cast<void*>(&Impl::on_invalid_instruction), this, 1, 0),
                       "invalid instruction");
        !r)
        return r;
    // Every guest instruction is counted: the per-call budget is exact, and
    // chained calls keep the cost of the hook small (about 3% of a cycle).
    if (auto r = check(uc_hook_add(uc_, &count_hook_, UC_HOOK_CODE, reinterpret_cast<void*>(&Impl::on_count), this, 1, 0),
                       "counting");
        !r)
        return r;
    return {};
}

// ------------------------------------------------------------ memory

Result<void> Machine::map(std::uint32_t address, std::uint32_t size, std::uint32_t perms, std::string what) {
    if (address % kPageSize || size == 0 || size % kPageSize)
        return fail(strprintf("cannot map %s at 0x%08x: %u bytes are not whole pages", what.c_str(), address, size));
    if (!is_free(address, size)) return fail(strprintf("cannot map %s at 0x%08x: the range is in use", what.c_str(), address));
    if (uc_err err = uc_mem_map(uc_, address, size, uc_perms(perms)); err != UC_ERR_OK)
        return fail(strprintf("cannot map %s at 0x%08x: %s", what.c_str(), address, uc_strerror(err)));
    regions_[address] = Region{size, perms, std::move(what)};
    return {};
}

Result<void> Machine::unmap(std::uint32_t address, std::uint32_t size) {
    auto it = regions_.find(address);
    if (it == regions_.end() || it->second.size != size)
        return fail(strprintf("nothing of %u bytes is mapped at 0x%08x", size, address));
    if (uc_err err = uc_mem_unmap(uc_, address, size); err != UC_ERR_OK)
        return fail(strprintf("cannot unmap 0x%08x: %s", address, uc_strerror(err)));
    invalidate_code(address, size);
    regions_.erase(it);
    return {};
}

Result<void> Machine::protect(std::uint32_t address, std::uint32_t size, std::uint32_t perms) {
    if (uc_err err = uc_mem_protect(uc_, address, size, uc_perms(perms)); err != UC_ERR_OK)
        return fail(strprintf("cannot protect 0x%08x+0x%x: %s", address, size, uc_strerror(err)));
    return {};
}

bool Machine::is_free(std::uint32_t address, std::uint64_t size) const {
    std::uint64_t end = std::uint64_t{address} + size;
    if (address < 0x10000 || end > 0x100000000ull) return false;
    auto it = regions_.upper_bound(address);
    if (it != regions_.end() && it->first < end) return false;
    if (it != regions_.begin()) {
        auto prev = std::prev(it);
        if (std::uint64_t{prev->first} + prev->second.size > address) return false;
    }
    return true;
}

Result<std::uint32_t> Machine::find_free(std::uint32_t size) const {
    constexpr std::uint32_t kGranule = 0x10000;
    std::uint64_t rounded = (std::uint64_t{size} + kGranule - 1) / kGranule * kGranule;
    for (std::uint64_t a = kImageArenaBase; a + rounded <= kImageArenaEnd; a += kGranule)
        if (is_free(static_cast<std::uint32_t>(a), rounded)) return static_cast<std::uint32_t>(a);
    return fail(strprintf("no free range of %u bytes for an image", size));
}

std::string Machine::region_name(std::uint32_t address) const {
    auto it = regions_.upper_bound(address);
    if (it == regions_.begin()) return {};
    --it;
    if (std::uint64_t{it->first} + it->second.size <= address) return {};
    return it->second.what;
}

Result<void> Machine::read(std::uint32_t address, std::span<std::uint8_t> out) const {
    if (out.empty()) return {};
    if (uc_err err = uc_mem_read(uc_, address, out.data(), out.size()); err != UC_ERR_OK)
        return fail(strprintf("cannot read %zu bytes at 0x%08x", out.size(), address));
    return {};
}

Result<void> Machine::write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {};
    if (uc_err err = uc_mem_write(uc_, address, bytes.data(), bytes.size()); err != UC_ERR_OK)
        return fail(strprintf("cannot write %zu bytes at 0x%08x", bytes.size(), address));
    return {};
}

Result<std::string> Machine::read_string(std::uint32_t address, std::size_t max_length) const {
    std::string s;
    std::array<std::uint8_t, 64> chunk{};
    while (s.size() < max_length) {
        // Read up to the end of the page, so a string just before an
        // unmapped page still reads.
        std::uint32_t cursor = address + static_cast<std::uint32_t>(s.size());
        std::size_t n = std::min<std::size_t>({chunk.size(), kPageSize - cursor % kPageSize, max_length - s.size()});
        if (!read(cursor, std::span(chunk.data(), n)))
            return fail(strprintf("cannot read the string at 0x%08x", address));
        for (std::size_t i = 0; i < n; ++i) {
            if (chunk[i] == 0) return s;
            s.push_back(static_cast<char>(chunk[i]));
        }
    }
    return fail(strprintf("the string at 0x%08x has no end within %zu bytes", address, max_length));
}

Result<std::uint32_t> Machine::allocate(std::uint32_t size, std::uint32_t alignment) {
    std::uint32_t a = (host_data_next_ + alignment - 1) / alignment * alignment;
    if (std::uint64_t{a} + size > kHostDataBase + kHostDataSize) return fail("host data region is full");
    host_data_next_ = a + size;
    return a;
}

void Machine::invalidate_code(std::uint32_t address, std::uint32_t size) {
    if (size) uc_ctl_remove_cache(uc_, address, std::uint64_t{address} + size);
}

// ------------------------------------------------------------ stubs

Result<std::uint32_t> Machine::add_stub(StubSpec request) {
    std::size_t limit = (kContinue - kStubBase) / kStubSlot;
    if (stubs_.size() >= limit) return fail("the stub page is full");
    std::uint32_t address = kStubBase + static_cast<std::uint32_t>(stubs_.size()) * kStubSlot;
    std::uint16_t pop = static_cast<std::uint16_t>(request.arg_count * 4);
    std::array<std::uint8_t, kStubSlot> code{0xC2, static_cast<std::uint8_t>(pop & 0xFF),
                                             static_cast<std::uint8_t>(pop >> 8), 0xCC};
    if (auto r = write(address, code); !r) return std::unexpected(r.error());
    invalidate_code(address, kStubSlot);
    stubs_.push_back(Stub{std::move(request.name), request.arg_count, std::move(request.handler)});
    return address;
}

const std::string* Machine::stub_name(std::uint32_t address) const {
    if (address < kStubBase || (address - kStubBase) % kStubSlot) return nullptr;
    std::size_t index = (address - kStubBase) / kStubSlot;
    return index < stubs_.size() ? &stubs_[index].name : nullptr;
}

std::uint32_t StubCall::arg(std::size_t i) const {
    auto v = machine_.read_as<std::uint32_t>(esp_ + 4 + 4 * static_cast<std::uint32_t>(i));
    return v ? *v : 0;
}

std::uint32_t StubCall::return_address() const {
    auto v = machine_.read_as<std::uint32_t>(esp_);
    return v ? *v : 0;
}

void StubCall::fail(std::string reason) { machine_.stop_call(std::string(name_), std::move(reason)); }

void Machine::stop_call(std::string where, std::string reason) {
    if (!frame_ || frame_->stop) return;
    Fault fault;
    fault.kind = FaultKind::host_stop;
    uc_reg_read(uc_, UC_X86_REG_EIP, &fault.pc);
    fault.detail = where.empty() ? std::move(reason) : where + ": " + reason;
    frame_->stop = fault;
    uc_emu_stop(uc_);
}

// ------------------------------------------------------------ calls

namespace {

// call(): a sequence of one.
class SingleCall final : public CallSequence {
public:
    explicit SingleCall(const CallSpec& request) : spec_(request) {}
    std::size_t size() const override { return 1; }
    Result<CallSpec> before(std::size_t) override { return spec_; }
    void after(std::size_t, const CallResult& r) override { result = r; }
    CallResult result;

private:
    const CallSpec& spec_;
};

}  // namespace

std::expected<CallResult, Fault> Machine::call(const CallSpec& request) {
    SingleCall single(request);
    if (auto r = run(single); !r) return std::unexpected(r.error());
    return single.result;
}

Result<void> Machine::prepare(Frame& f, const CallSpec& request, bool set_eip) {
    f.name = request.name;
    f.address = request.address;
    f.nargs = static_cast<std::uint32_t>(request.args.size());
    f.returns = request.returns;
    f.budget = request.budget.value_or(options_.default_budget);
    f.esp = f.base_esp - 4 * (f.nargs + 1);
    if (f.nargs > 64) return fail("too many arguments");

    std::uint32_t words[65];
    words[0] = f.index + 1 < f.sequence->size() ? kContinue : kReturnTrap;
    std::memcpy(words + 1, request.args.data(), 4 * f.nargs);
    if (auto r = write(f.esp, std::span(reinterpret_cast<const std::uint8_t*>(words), 4 * (f.nargs + 1))); !r)
        return fail("cannot write the arguments: " + r.error().message);

    // Registers as a fresh stdcall call sees them, and the FPU as Windows
    // sets it up (Unicorn's own reset state runs the x87 at 24-bit precision).
    std::uint32_t zero = 0, eflags = 0x202, fpcw = 0x27F, fptag = 0xFFFF, fpsw = 0, mxcsr = 0x1F80;
    std::uint32_t ebx = kCanaryEbx, esi = kCanaryEsi, edi = kCanaryEdi, ebp = kCanaryEbp;
    std::uint32_t esp = f.esp, eip = request.address;
    int ids[] = {UC_X86_REG_ESP, UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_EBX,
                 UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP, UC_X86_REG_EFLAGS, UC_X86_REG_FPCW,
                 UC_X86_REG_FPTAG, UC_X86_REG_FPSW, UC_X86_REG_MXCSR, UC_X86_REG_EIP};
    void* vals[] = {&esp, &zero, &zero, &zero, &ebx, &esi, &edi, &ebp, &eflags, &fpcw, &fptag, &fpsw, &mxcsr, &eip};
    int count = static_cast<int>(std::size(ids)) - (set_eip ? 0 : 1);
    if (uc_reg_write_batch(uc_, ids, vals, count) != UC_ERR_OK) return fail("cannot set up the registers");
    f.start = instructions_;
    return {};
}

// The checks after a call returned: what the i386 stdcall ABI promises.
std::expected<CallResult, Fault> Machine::finish(Frame& f) {
    auto fault_of = [&](FaultKind kind, std::uint32_t pc, std::string detail) {
        Fault fault;
        fault.kind = kind;
        fault.function = std::string(f.name);
        fault.entry = f.address;
        fault.pc = pc;
        fault.detail = std::move(detail);
        return std::unexpected(std::move(fault));
    };
    CallResult result;
    result.instructions = instructions_ - f.start;
    std::uint32_t eip = 0, esp_after = 0, eax = 0, fpsw_after = 0;
    std::uint32_t ebx_after = 0, esi_after = 0, edi_after = 0, ebp_after = 0;
    int ids[] = {UC_X86_REG_EIP, UC_X86_REG_ESP, UC_X86_REG_EAX, UC_X86_REG_FPSW,
                 UC_X86_REG_EBX, UC_X86_REG_ESI, UC_X86_REG_EDI, UC_X86_REG_EBP};
    void* vals[] = {&eip, &esp_after, &eax, &fpsw_after, &ebx_after, &esi_after, &edi_after, &ebp_after};
    if (uc_reg_read_batch(uc_, ids, vals, static_cast<int>(std::size(ids))) != UC_ERR_OK)
        return fault_of(FaultKind::engine, 0, "cannot read the registers");

    std::uint32_t expected_esp = f.esp + 4 + 4 * f.nargs;
    if (esp_after != expected_esp)
        return fault_of(FaultKind::stack_unbalanced, eip,
                        strprintf("ESP moved by %d bytes, expected %u", static_cast<std::int32_t>(esp_after - f.esp),
                                  4 + 4 * f.nargs));
    std::string clobbered;
    auto note = [&](const char* name, std::uint32_t got, std::uint32_t want) {
        if (got != want) clobbered += clobbered.empty() ? name : std::string(", ") + name;
    };
    note("EBX", ebx_after, kCanaryEbx);
    note("ESI", esi_after, kCanaryEsi);
    note("EDI", edi_after, kCanaryEdi);
    note("EBP", ebp_after, kCanaryEbp);
    if (!clobbered.empty()) return fault_of(FaultKind::register_clobbered, eip, clobbered);

    // TOP is 0 after a call that leaves the x87 stack empty, 7 after one
    // that returns a double in ST0 (the physical register TOP names).
    std::uint32_t top = (fpsw_after >> 11) & 7;
    std::uint32_t want_top = f.returns == Returns::float64 ? 7 : 0;
    if (top != want_top) return fault_of(FaultKind::fpu_stack, eip, strprintf("x87 TOP is %u, expected %u", top, want_top));
    result.eax = eax;
    if (f.returns == Returns::float64) {
        std::array<std::uint8_t, 10> raw{};
        if (uc_reg_read(uc_, UC_X86_REG_FP0 + static_cast<int>(top), raw.data()) != UC_ERR_OK)
            return fault_of(FaultKind::engine, eip, "cannot read ST0");
        result.st0 = from_float80(raw);
    }
    return result;
}

// At kContinue: the running call returned.
void Machine::continue_sequence() {
    Frame* f = frame_;
    if (!f || f->stop) {
        uc_emu_stop(uc_);
        return;
    }
    auto r = finish(*f);
    if (!r) {
        f->stop = r.error();
        uc_emu_stop(uc_);
        return;
    }
    f->sequence->after(f->index, *r);
    ++f->index;
    auto request = f->sequence->before(f->index);
    Result<void> ready = request ? prepare(*f, *request, true) : std::unexpected(request.error());
    if (!ready) {
        Fault fault;
        fault.kind = FaultKind::host_stop;
        fault.function = request ? std::string(request->name) : "(host)";
        fault.entry = request ? request->address : 0;
        fault.pc = kContinue;
        fault.detail = ready.error().message;
        f->stop = fault;
        uc_emu_stop(uc_);
    }
}

std::expected<void, Fault> Machine::run(CallSequence& sequence) {
    auto host_fault = [](std::string_view name, std::uint32_t address, std::string detail) {
        Fault f;
        f.kind = FaultKind::host_stop;
        f.function = std::string(name);
        f.entry = address;
        f.pc = address;
        f.detail = std::move(detail);
        return std::unexpected(std::move(f));
    };
    const std::size_t n = sequence.size();
    if (n == 0) return {};
    if (depth_ >= 16) return host_fault("(host)", 0, "guest calls nested too deeply");

    // A nested run (from a stub handler) goes below the running call's
    // stack and must leave every register of the running call as it was.
    const bool nested = depth_ > 0;
    uc_context* saved = nullptr;
    std::uint32_t base = kTopLevelEsp;
    if (nested) {
        if (uc_context_alloc(uc_, &saved) != UC_ERR_OK || uc_context_save(uc_, saved) != UC_ERR_OK) {
            if (saved) uc_context_free(saved);
            return host_fault("(host)", 0, "cannot save the running call's registers");
        }
        std::uint32_t outer_esp = 0;
        uc_reg_read(uc_, UC_X86_REG_ESP, &outer_esp);
        base = (outer_esp - kNestedGap) & ~3u;
    }
    struct Restore {
        uc_engine* uc;
        uc_context* ctx;
        ~Restore() {
            if (ctx) {
                uc_context_restore(uc, ctx);
                uc_context_free(ctx);
            }
        }
    } restore{uc_, saved};

    Frame frame;
    frame.sequence = &sequence;
    frame.base_esp = base;
    auto first = sequence.before(0);
    if (!first) return host_fault("(host)", 0, first.error().message);
    if (auto r = prepare(frame, *first, false); !r) return host_fault(first->name, first->address, r.error().message);

    frame.outer = frame_;
    frame_ = &frame;
    ++depth_;
    uc_err err = uc_emu_start(uc_, first->address, kReturnTrap, 0, 0);
    --depth_;
    frame_ = frame.outer;

    if (frame.stop) {
        Fault f = *frame.stop;
        if (f.function.empty()) {
            f.function = std::string(frame.name);
            f.entry = frame.address;
        }
        if (f.pc == 0) uc_reg_read(uc_, UC_X86_REG_EIP, &f.pc);
        return std::unexpected(std::move(f));
    }
    std::uint32_t eip = 0;
    uc_reg_read(uc_, UC_X86_REG_EIP, &eip);
    auto engine_fault = [&](std::string detail) {
        Fault f;
        f.kind = FaultKind::engine;
        f.function = std::string(frame.name);
        f.entry = frame.address;
        f.pc = eip;
        f.detail = std::move(detail);
        return std::unexpected(std::move(f));
    };
    if (err != UC_ERR_OK) return engine_fault(uc_strerror(err));
    if (eip != kReturnTrap || frame.index + 1 != n) return engine_fault("emulation stopped before the return");
    auto r = finish(frame);
    if (!r) return std::unexpected(r.error());
    sequence.after(frame.index, *r);
    return {};
}

// ------------------------------------------------------------ observation

void Machine::set_write_watch(WriteWatch watch) {
    write_watch_ = std::move(watch);
    if (write_watch_ && !write_hook_) {
        uc_hook_add(uc_, &write_hook_, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&Impl::on_write), this, 1, 0);
    } else if (!write_watch_ && write_hook_) {
        uc_hook_del(uc_, write_hook_);
        write_hook_ = 0;
    }
}

Result<int> Machine::add_code_watch(std::uint32_t address, CodeWatch watch) {
    int id = next_watch_++;
    auto& entry = code_watches_[id];
    entry.watch = std::move(watch);
    if (uc_err err = uc_hook_add(uc_, &entry.hook, UC_HOOK_CODE, reinterpret_cast<void*>(&Impl::on_watch), &entry,
                                 address, address);
        err != UC_ERR_OK) {
        code_watches_.erase(id);
        return fail(strprintf("cannot watch 0x%08x: %s", address, uc_strerror(err)));
    }
    invalidate_code(address, 1);
    return id;
}

void Machine::remove_code_watch(int id) {
    auto it = code_watches_.find(id);
    if (it == code_watches_.end()) return;
    uc_hook_del(uc_, it->second.hook);
    code_watches_.erase(it);
}

}  // namespace panelhost::emu
