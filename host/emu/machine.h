// The emulated 32-bit x86 machine: one Unicorn engine, the guest address
// space, the stub page through which guest code reaches host functions, and
// contained calls of guest functions.
//
// Address space (everything else unmapped, so stray accesses fail loudly):
//   0x00000000-0x0000FFFF  never mapped: null-pointer accesses fault
//   kStubBase              stub page: one `ret imm16` per host function; a
//                          code hook on this page only runs the handler
//   kHostDataBase          host data: panel-services table, strings the
//                          host hands to guest code
//   kStackBase             the guest stack
//   image arena            module images (preferred base when it is free)
//
// A guest call (call()) is stdcall: arguments pushed right to left, the
// return address is kReturnTrap, where emulation stops. Before each call the
// FPU and SSE state is set as Windows leaves it (FPCW 0x27F, empty tag word,
// MXCSR 0x1F80), because Unicorn starts with a control word that drops the
// precision to 24 bits. After each call the host checks what the i386 ABI
// promises: ESP popped by exactly the argument bytes, EBX/ESI/EDI/EBP
// preserved, the x87 stack empty (or holding exactly the one double result).
// Any failure is a Fault value; the machine stays usable for the next call.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "emu/error.h"

struct uc_struct;

namespace panelhost::emu {

inline constexpr std::uint32_t kPageSize = 0x1000;
inline constexpr std::uint32_t kStubBase = 0x00010000;
inline constexpr std::uint32_t kStubPageSize = 0x1000;
inline constexpr std::uint32_t kStubSlot = 4;  // bytes per stub: C2 nn nn CC
// Pushed as the return address of the last call of a sequence; emulation
// stops before it executes. It holds `int3` in case anything jumps there.
inline constexpr std::uint32_t kReturnTrap = kStubBase + kStubPageSize - kStubSlot;
// Return address of the other calls of a sequence: its hook checks the call
// that returned and starts the next one within the same emulation run
// (starting the emulator costs about 2 microseconds; chaining 0.1).
inline constexpr std::uint32_t kContinue = kReturnTrap - kStubSlot;
inline constexpr std::uint32_t kHostDataBase = 0x00020000;
inline constexpr std::uint32_t kHostDataSize = 0x00010000;
inline constexpr std::uint32_t kStackBase = 0x00100000;
inline constexpr std::uint32_t kStackSize = 0x00100000;
inline constexpr std::uint32_t kImageArenaBase = 0x01000000;
inline constexpr std::uint32_t kImageArenaEnd = 0x80000000;

enum Perm : std::uint32_t { kRead = 1, kWrite = 2, kExec = 4 };

enum class FaultKind {
    read_unmapped,
    write_unmapped,
    fetch_unmapped,
    read_protected,
    write_protected,
    fetch_protected,
    invalid_instruction,
    budget_exceeded,     // the instruction budget ran out before the return
    stack_unbalanced,    // ESP after the return is not entry ESP + 4 + argument bytes
    register_clobbered,  // EBX, ESI, EDI or EBP not preserved
    fpu_stack,           // x87 stack not empty (or not exactly the result)
    host_stop,           // a stub handler ended the call (for instance an unknown panel entry)
    engine,              // any other error reported by the emulator
};
std::string_view to_string(FaultKind kind);

// Why a guest call failed. message() is one line naming the function, the
// address where it happened and the cause.
struct Fault {
    FaultKind kind = FaultKind::engine;
    std::string function;         // what the host called, e.g. "GaugeCallback"
    std::uint32_t entry = 0;      // its address
    std::uint32_t pc = 0;         // guest instruction where it happened
    std::uint32_t address = 0;    // accessed address, for memory faults
    std::string detail;
    std::string message() const;
};

enum class Returns { nothing, int32, float64 };

struct CallSpec {
    std::string_view name;                     // for faults and the trace
    std::uint32_t address = 0;
    std::span<const std::uint32_t> args = {};
    Returns returns = Returns::nothing;
    std::optional<std::uint64_t> budget;       // instructions; default: the machine's
};

struct CallResult {
    std::uint32_t eax = 0;
    double st0 = 0.0;                  // the double result (Returns::float64)
    std::uint64_t instructions = 0;    // guest instructions the call executed
};

class Machine;

// Guest calls made one after another in one emulation run (Machine::run).
// Host work between the calls (writing guest memory, tracing) happens in
// before() and after(), in order with the calls.
class CallSequence {
public:
    virtual ~CallSequence() = default;
    virtual std::size_t size() const = 0;
    // Host work before call i, and the call. CallSpec::name must stay valid
    // until the call has returned; args only until before() returns. An
    // error ends the sequence with a host_stop fault.
    virtual Result<CallSpec> before(std::size_t i) = 0;
    // Call i returned and passed the checks.
    virtual void after(std::size_t i, const CallResult& result) = 0;
};

// What a stub handler sees: the arguments on the guest stack and a way to
// end the running guest call.
class StubCall {
public:
    StubCall(Machine& machine, std::uint32_t esp, std::string_view name)
        : machine_(machine), esp_(esp), name_(name) {}
    Machine& machine() { return machine_; }
    std::string_view name() const { return name_; }
    // The i-th 32-bit argument ([esp + 4 + 4 i]); 0 when it cannot be read.
    std::uint32_t arg(std::size_t i) const;
    std::uint32_t return_address() const;
    // Ends the running guest call with a host_stop fault carrying `reason`.
    void fail(std::string reason);

private:
    Machine& machine_;
    std::uint32_t esp_;
    std::string_view name_;
};

// Returns EAX for the guest.
using StubHandler = std::function<std::uint32_t(StubCall&)>;

struct StubSpec {
    std::string name;
    std::uint16_t arg_count = 0;   // 32-bit arguments the stub pops (stdcall)
    StubHandler handler;
};

struct MachineOptions {
    std::uint64_t default_budget = 1'000'000;   // instructions per guest call
    // Report instruction counts in the trace ("instructions" on every
    // host-made call). Counting itself is always on: the budget needs it.
    bool count_instructions = false;
};

// Called for every guest write while a write watch is set.
using WriteWatch = std::function<void(std::uint32_t pc, std::uint32_t address, std::uint32_t size)>;
// Called when guest code reaches a watched address.
using CodeWatch = std::function<void(std::uint32_t address)>;

class Machine {
public:
    static Result<std::unique_ptr<Machine>> create(MachineOptions options = {});
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // ---- memory
    // Maps [address, address + size) (page-aligned) with Perm bits.
    Result<void> map(std::uint32_t address, std::uint32_t size, std::uint32_t perms, std::string what);
    Result<void> unmap(std::uint32_t address, std::uint32_t size);
    Result<void> protect(std::uint32_t address, std::uint32_t size, std::uint32_t perms);
    bool is_free(std::uint32_t address, std::uint64_t size) const;
    // A free, 64 KiB-aligned range in the image arena.
    Result<std::uint32_t> find_free(std::uint32_t size) const;
    // What is mapped at address ("" when nothing).
    std::string region_name(std::uint32_t address) const;

    Result<void> read(std::uint32_t address, std::span<std::uint8_t> out) const;
    Result<void> write(std::uint32_t address, std::span<const std::uint8_t> bytes);
    template <class T> Result<T> read_as(std::uint32_t address) const {
        static_assert(std::is_trivially_copyable_v<T>);
        T value{};
        auto r = read(address, std::span(reinterpret_cast<std::uint8_t*>(&value), sizeof value));
        if (!r) return std::unexpected(r.error());
        return value;
    }
    template <class T> Result<void> write_as(std::uint32_t address, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        return write(address, std::span(reinterpret_cast<const std::uint8_t*>(&value), sizeof value));
    }
    // A zero-terminated 8-bit string of at most max_length characters.
    Result<std::string> read_string(std::uint32_t address, std::size_t max_length = 4096) const;
    // Host-owned guest memory (never freed; the host data region is small).
    Result<std::uint32_t> allocate(std::uint32_t size, std::uint32_t alignment = 8);
    // After writing over code that already ran.
    void invalidate_code(std::uint32_t address, std::uint32_t size);

    // ---- host functions reachable from guest code
    // Returns the stub's guest address.
    Result<std::uint32_t> add_stub(StubSpec request);
    // The name of the stub at address, or nullptr.
    const std::string* stub_name(std::uint32_t address) const;

    // ---- guest calls
    std::expected<CallResult, Fault> call(const CallSpec& request);
    // Runs the sequence's calls; stops at the first fault, which names the
    // call. Calls made from a stub handler (nested) keep every register of
    // the running call.
    std::expected<void, Fault> run(CallSequence& sequence);
    // Nesting depth of guest calls now running (0 outside any call).
    int call_depth() const { return depth_; }

    // ---- observation
    void set_write_watch(WriteWatch watch);
    Result<int> add_code_watch(std::uint32_t address, CodeWatch watch);
    void remove_code_watch(int id);
    // Guest instructions executed since create().
    std::uint64_t instructions() const { return instructions_; }
    bool counting() const { return options_.count_instructions; }

    // Ends the innermost running guest call with a host_stop fault.
    void stop_call(std::string where, std::string reason);

    struct Impl;   // hook trampolines (machine.cpp)

private:
    explicit Machine(MachineOptions options) : options_(options) {}
    Result<void> init();

    struct Region {
        std::uint32_t size;
        std::uint32_t perms;
        std::string what;
    };
    struct Stub {
        std::string name;
        std::uint16_t arg_count;
        StubHandler handler;
    };
    struct CodeWatchEntry {
        std::uint64_t hook;
        CodeWatch watch;
    };
    struct Frame;   // state of one running sequence
    Result<void> prepare(Frame& frame, const CallSpec& request, bool set_eip);
    std::expected<CallResult, Fault> finish(Frame& frame);
    void continue_sequence();

    MachineOptions options_;
    uc_struct* uc_ = nullptr;
    std::map<std::uint32_t, Region> regions_;
    std::deque<Stub> stubs_;   // stable addresses: a handler may add stubs
    std::uint32_t host_data_next_ = kHostDataBase;
    std::uint64_t code_hook_ = 0, invalid_hook_ = 0, count_hook_ = 0, write_hook_ = 0;
    WriteWatch write_watch_;
    std::map<int, CodeWatchEntry> code_watches_;
    int next_watch_ = 1;
    std::uint64_t instructions_ = 0;
    int depth_ = 0;
    Frame* frame_ = nullptr;   // innermost running call
};

}  // namespace panelhost::emu
