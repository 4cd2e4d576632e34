// The loader through the module table: relocation, imports, and every
// malformed or unsupported file as a one-line error with the host still
// usable afterwards.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "fixtures.h"
#include "panel/session.h"

using namespace panelhost;

namespace {

std::unique_ptr<panel::Host> make_host(panel::HostOptions o = {}) {
    auto h = panel::Host::create(std::move(o));
    EXPECT_TRUE(h) << h.error().message;
    return std::move(*h);
}

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

struct BadFile {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* says;   // part of the error message, or "" for any
};

class LoaderErrorTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(LoaderErrorTest, IsOneLineErrorAndHostStaysUsable) {
    const auto& c = GetParam();
    auto bytes = fixtures::read(fixtures::host_probe());
    ASSERT_GT(bytes.size(), 1024u);
    c.damage(bytes);
    auto dir = fixtures::scratch("loader");
    fixtures::write(dir / "Bad.dll", bytes);

    auto host = make_host();
    auto r = host->modules().load_file(dir / "Bad.dll");
    ASSERT_FALSE(r) << c.what;
    EXPECT_FALSE(r.error().message.empty());
    EXPECT_EQ(r.error().message.find('\n'), std::string::npos) << r.error().message;
    EXPECT_NE(r.error().message.find(c.says), std::string::npos) << c.what << ": " << r.error().message;
    EXPECT_TRUE(host->modules().modules().empty());

    auto good = host->modules().load_file(fixtures::host_probe());
    ASSERT_TRUE(good) << good.error().message;
}

std::size_t pe_at(const std::vector<std::uint8_t>& b) { return u32(b, 0x3C); }

INSTANTIATE_TEST_SUITE_P(
    Cases, LoaderErrorTest,
    ::testing::Values(
        BadFile{"empty", [](auto& b) { b.clear(); }, ""},
        BadFile{"truncated", [](auto& b) { b.resize(600); }, ""},
        BadFile{"not PE", [](auto& b) { std::fill(b.begin(), b.end(), 'x'); }, ""},
        BadFile{"PE signature", [](auto& b) { b[pe_at(b)] = 'X'; }, ""},
        BadFile{"PE32+", [](auto& b) { put16(b, pe_at(b) + 24, 0x20B); }, ""},
        BadFile{"wrong machine", [](auto& b) { put16(b, pe_at(b) + 4, 0x8664); }, ""},
        BadFile{"section outside the file",
                [](auto& b) {
                    std::size_t sections = pe_at(b) + 24 + (b[pe_at(b) + 20] | b[pe_at(b) + 21] << 8);
                    put32(b, sections + 20, 0x7FFFFF00);   // PointerToRawData of the first section
                },
                ""},
        BadFile{"lfanew outside the file", [](auto& b) { put32(b, 0x3C, 0xFFFFFFF0); }, ""},
        BadFile{"import we do not provide",
                [](auto& b) {
                    const char name[] = "FreeLibrary";
                    auto it = std::search(b.begin(), b.end(), name, name + sizeof name);   // with its zero byte
                    ASSERT_NE(it, b.end());
                    *(it + 10) = 'Z';
                },
                "FreeLibrarZ"}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(Loader, MissingFileIsAnError) {
    auto host = make_host();
    auto r = host->modules().load_file("/nonexistent/Nothing.dll");
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("cannot open"), std::string::npos) << r.error().message;
}

std::uint32_t call_export(panel::Host& host, const win::Module& m, const char* name, std::vector<std::uint32_t> args = {}) {
    std::uint32_t f = host.modules().proc_address(m.handle, name);
    EXPECT_NE(f, 0u) << name;
    auto r = host.machine().call({.name = name, .address = f, .args = args, .returns = emu::Returns::int32});
    EXPECT_TRUE(r) << r.error().message();
    return r ? r->eax : 0;
}

TEST(Loader, RelocatesWhenAskedOrWhenThePreferredBaseIsTaken) {
    for (int how = 0; how < 3; ++how) {
        auto host = make_host({.relocate_all = how == 1});
        if (how == 2) {
            ASSERT_TRUE(host->machine().map(0x62000000, 0x10000, emu::kRead, "squatter"));
        }
        auto m = host->modules().load_file(fixtures::host_probe());
        ASSERT_TRUE(m) << m.error().message;
        EXPECT_EQ((*m)->relocated, how != 0);
        EXPECT_EQ((*m)->handle == 0x62000000u, how == 0);
        // Reads a global through an absolute pointer: right only when the
        // relocations were applied.
        EXPECT_EQ(call_export(*host, **m, "ProbeReadThroughPointer"), 1234u) << how;
        EXPECT_EQ(call_export(*host, **m, "ProbeAdd", {40, 2}), 42u);
    }
}

TEST(Loader, DoubleResultsKeepTheirBits) {
    auto host = make_host();
    auto m = host->modules().load_file(fixtures::host_probe());
    ASSERT_TRUE(m) << m.error().message;
    std::uint32_t f = host->modules().proc_address((*m)->handle, "ProbeDouble");
    for (std::uint64_t bits : {0x8000000000000000ull, 0x7FF8000000000001ull, 0xFFF0000000000000ull,
                               0x3FF0000000000001ull, 0x0000000000000001ull}) {
        std::uint32_t args[] = {static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32)};
        auto r = host->machine().call({.name = "ProbeDouble", .address = f, .args = args, .returns = emu::Returns::float64});
        ASSERT_TRUE(r) << r.error().message();
        EXPECT_EQ(std::bit_cast<std::uint64_t>(r->st0), bits);
    }
}

TEST(Loader, GuestFaultsNameTheFunctionAndAddress) {
    auto host = make_host({.budget = 100000});
    auto m = host->modules().load_file(fixtures::host_probe());
    ASSERT_TRUE(m) << m.error().message;
    std::uint32_t read = host->modules().proc_address((*m)->handle, "ProbeRead");
    std::uint32_t args[] = {8};
    auto r = host->machine().call({.name = "ProbeRead", .address = read, .args = args, .returns = emu::Returns::int32});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, emu::FaultKind::read_unmapped);
    EXPECT_EQ(r.error().address, 8u);
    EXPECT_GE(r.error().pc, (*m)->handle);
    EXPECT_LT(r.error().pc, (*m)->handle + (*m)->size);

    std::uint32_t spin = host->modules().proc_address((*m)->handle, "ProbeSpin");
    auto s = host->machine().call({.name = "ProbeSpin", .address = spin});
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error().kind, emu::FaultKind::budget_exceeded);
    EXPECT_NE(s.error().message().find("ProbeSpin"), std::string::npos);
    EXPECT_EQ(call_export(*host, **m, "ProbeAdd", {1, 1}), 2u);
}

}  // namespace
