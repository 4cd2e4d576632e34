// The emulated machine on hand-assembled guest code: the stdcall contract,
// the x87 result, and containment of every way a call can go wrong.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "emu/machine.h"

using namespace panelhost::emu;

namespace {

constexpr std::uint32_t kCode = 0x00400000;

class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto m = Machine::create();
        ASSERT_TRUE(m) << m.error().message;
        machine = std::move(*m);
        ASSERT_TRUE(machine->map(kCode, 0x1000, kRead | kExec, "code"));
    }
    // Writes a function at kCode + offset and returns its address.
    std::uint32_t put(std::uint32_t offset, std::vector<std::uint8_t> bytes) {
        EXPECT_TRUE(machine->write(kCode + offset, bytes));
        machine->invalidate_code(kCode + offset, static_cast<std::uint32_t>(bytes.size()));
        return kCode + offset;
    }
    static std::vector<std::uint32_t> double_args(double v) {
        auto bits = std::bit_cast<std::uint64_t>(v);
        return {static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};
    }
    std::unique_ptr<Machine> machine;
};

// mov eax,[esp+4]; add eax,[esp+8]; ret 8
const std::vector<std::uint8_t> kAdd = {0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08, 0xC2, 0x08, 0x00};
// fld qword [esp+4]; ret 8
const std::vector<std::uint8_t> kReturnDouble = {0xDD, 0x44, 0x24, 0x04, 0xC2, 0x08, 0x00};

TEST_F(MachineTest, StdcallPopsArgumentsAndReturnsEax) {
    auto add = put(0, kAdd);
    std::uint32_t args[] = {40, 2};
    for (int i = 0; i < 3; ++i) {   // the machine stays usable call after call
        auto r = machine->call({.name = "add", .address = add, .args = args, .returns = Returns::int32});
        ASSERT_TRUE(r) << r.error().message();
        EXPECT_EQ(r->eax, 42u);
    }
}

TEST_F(MachineTest, DoubleResultComesFromSt0BitForBit) {
    auto f = put(0, kReturnDouble);
    const double cases[] = {0.0, -0.0, 1.5, -1e308, 5e-324, std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::bit_cast<double>(0x7FF8000000000123ull)};
    for (double v : cases) {
        auto args = double_args(v);
        auto r = machine->call({.name = "ident", .address = f, .args = args, .returns = Returns::float64});
        ASSERT_TRUE(r) << r.error().message();
        EXPECT_EQ(std::bit_cast<std::uint64_t>(r->st0), std::bit_cast<std::uint64_t>(v)) << v;
    }
}

TEST_F(MachineTest, FpuRunsAtDoublePrecision) {
    // fld1; fdiv qword [esp+4]; ret 8 -- 1/3 at 53 bits, not Unicorn's reset 24 bits.
    auto f = put(0, {0xD9, 0xE8, 0xDC, 0x74, 0x24, 0x04, 0xC2, 0x08, 0x00});
    auto args = double_args(3.0);
    for (int i = 0; i < 2; ++i) {
        auto r = machine->call({.name = "third", .address = f, .args = args, .returns = Returns::float64});
        ASSERT_TRUE(r) << r.error().message();
        EXPECT_EQ(r->st0, 1.0 / 3.0);
    }
}

struct FaultCase {
    const char* what;
    std::vector<std::uint8_t> code;
    std::vector<std::uint32_t> args;
    Returns returns;
    FaultKind kind;
    std::uint32_t address;   // expected fault address, when a memory fault
};

class MachineFaultTest : public MachineTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MachineFaultTest, FaultIsContainedAndNamed) {
    const auto& c = GetParam();
    auto f = put(0x100, c.code);
    auto r = machine->call({.name = "probe", .address = f, .args = c.args, .returns = c.returns, .budget = 10000});
    ASSERT_FALSE(r) << c.what;
    EXPECT_EQ(r.error().kind, c.kind) << c.what << ": " << r.error().message();
    EXPECT_EQ(r.error().function, "probe");
    EXPECT_EQ(r.error().entry, f);
    if (c.address) {
        EXPECT_EQ(r.error().address, c.address) << r.error().message();
    }
    EXPECT_NE(r.error().message().find("probe"), std::string::npos);

    // The machine is still usable afterwards.
    auto add = put(0, kAdd);
    std::uint32_t args[] = {1, 2};
    auto ok = machine->call({.name = "add", .address = add, .args = args, .returns = Returns::int32});
    ASSERT_TRUE(ok) << ok.error().message();
    EXPECT_EQ(ok->eax, 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MachineFaultTest,
    ::testing::Values(
        FaultCase{"null read", {0xA1, 0, 0, 0, 0, 0xC3}, {}, Returns::int32, FaultKind::read_unmapped, 0},
        FaultCase{"wild write", {0xC7, 0x05, 0x00, 0x00, 0x00, 0x90, 1, 0, 0, 0, 0xC3}, {}, Returns::nothing,
                  FaultKind::write_unmapped, 0x90000000},
        FaultCase{"write to code", {0xC7, 0x05, 0x00, 0x00, 0x40, 0x00, 1, 0, 0, 0, 0xC3}, {}, Returns::nothing,
                  FaultKind::write_protected, kCode},
        FaultCase{"jump to nowhere", {0xB8, 0x00, 0x00, 0x00, 0x70, 0xFF, 0xE0}, {}, Returns::nothing,
                  FaultKind::fetch_unmapped, 0x70000000},
        FaultCase{"endless loop", {0xEB, 0xFE}, {}, Returns::nothing, FaultKind::budget_exceeded, 0},
        FaultCase{"cdecl return of a stdcall function", {0xC3}, {7}, Returns::nothing, FaultKind::stack_unbalanced, 0},
        FaultCase{"pops too much", {0xC2, 0x08, 0x00}, {7}, Returns::nothing, FaultKind::stack_unbalanced, 0},
        FaultCase{"EBX clobbered", {0xBB, 1, 0, 0, 0, 0xC3}, {}, Returns::nothing, FaultKind::register_clobbered, 0},
        FaultCase{"x87 value left behind", {0xD9, 0xE8, 0xC3}, {}, Returns::nothing, FaultKind::fpu_stack, 0},
        FaultCase{"two x87 values for one result", {0xD9, 0xE8, 0xD9, 0xE8, 0xC3}, {}, Returns::float64,
                  FaultKind::fpu_stack, 0},
        FaultCase{"no x87 result", {0xC3}, {}, Returns::float64, FaultKind::fpu_stack, 0},
        FaultCase{"invalid instruction", {0x0F, 0x0B}, {}, Returns::nothing, FaultKind::invalid_instruction, 0}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST_F(MachineTest, StubPopsItsArgumentsAndCanCallGuestCodeAgain) {
    auto add = put(0, kAdd);
    // A host function of one argument that calls the guest's add(arg, 10).
    auto stub = machine->add_stub({.name = "AddTen", .arg_count = 1, .handler = [&](StubCall& c) {
                                       std::uint32_t args[] = {c.arg(0), 10};
                                       auto r = c.machine().call({.name = "add", .address = add, .args = args,
                                                                  .returns = Returns::int32});
                                       return r ? r->eax : 0u;
                                   }});
    ASSERT_TRUE(stub);
    // mov ebx,[esp+4]; push ebx ... keep EBX intact: push esi; mov eax,stub;
    // push 7; call eax; add eax,[esp+8]; pop esi; ret 4
    std::vector<std::uint8_t> code = {0x56, 0xB8};
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<std::uint8_t>(*stub >> (8 * i)));
    code.insert(code.end(), {0x6A, 0x07, 0xFF, 0xD0, 0x03, 0x44, 0x24, 0x08, 0x5E, 0xC2, 0x04, 0x00});
    auto f = put(0x200, code);
    std::uint32_t args[] = {100};
    auto r = machine->call({.name = "outer", .address = f, .args = args, .returns = Returns::int32});
    ASSERT_TRUE(r) << r.error().message();
    EXPECT_EQ(r->eax, 117u);
    EXPECT_EQ(machine->call_depth(), 0);
}

TEST_F(MachineTest, StubCanEndTheCall) {
    auto stub = machine->add_stub({.name = "Refuse", .arg_count = 0, .handler = [](StubCall& c) {
                                       c.fail("not provided");
                                       return 0u;
                                   }});
    ASSERT_TRUE(stub);
    std::vector<std::uint8_t> code = {0xB8};
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<std::uint8_t>(*stub >> (8 * i)));
    code.insert(code.end(), {0xFF, 0xD0, 0xC3});
    auto r = machine->call({.name = "caller", .address = put(0, code)});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, FaultKind::host_stop);
    EXPECT_NE(r.error().message().find("Refuse: not provided"), std::string::npos) << r.error().message();
}

}  // namespace

namespace {

// Three calls in one run; the host writes guest memory between them.
class Sequence final : public CallSequence {
public:
    Sequence(Machine& m, std::vector<std::uint32_t> functions) : m_(m), functions_(std::move(functions)) {}
    std::size_t size() const override { return functions_.size(); }
    panelhost::Result<CallSpec> before(std::size_t i) override {
        log.push_back("before " + std::to_string(i));
        arg_ = static_cast<std::uint32_t>(i * 10);
        return CallSpec{.name = names_[i], .address = functions_[i], .args = std::span(&arg_, 1),
                        .returns = Returns::int32, .budget = 1000};
    }
    void after(std::size_t i, const CallResult& r) override {
        log.push_back("after " + std::to_string(i) + " = " + std::to_string(r.eax));
    }
    std::vector<std::string> log;

private:
    Machine& m_;
    std::vector<std::uint32_t> functions_;
    std::uint32_t arg_ = 0;
    const char* names_[3] = {"first", "second", "third"};
};

TEST_F(MachineTest, SequenceRunsCallsInOrderAndStopsAtTheFaultingOne) {
    // mov eax,[esp+4]; inc eax; ret 4
    auto inc = put(0, {0x8B, 0x44, 0x24, 0x04, 0x40, 0xC2, 0x04, 0x00});
    // ret (leaves the argument: unbalanced)
    auto bad = put(0x40, {0xC3});

    Sequence good(*machine, {inc, inc, inc});
    ASSERT_TRUE(machine->run(good));
    EXPECT_EQ(good.log, (std::vector<std::string>{"before 0", "after 0 = 1", "before 1", "after 1 = 11", "before 2",
                                                   "after 2 = 21"}));

    Sequence broken(*machine, {inc, bad, inc});
    auto r = machine->run(broken);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, FaultKind::stack_unbalanced);
    EXPECT_EQ(r.error().function, "second");
    EXPECT_EQ(broken.log, (std::vector<std::string>{"before 0", "after 0 = 1", "before 1"}));
}

}  // namespace
