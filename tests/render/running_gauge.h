// One gauge module from dist/ running in the panel host for a test: loaded,
// initialised and pre-initialised; each cycle() sets tokens, runs one update
// cycle and returns the scene as the renderer gets it. The destructor ends
// the life and closes the engine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "panel/session.h"
#include "render/gauge_scene.h"
#include "render/module_bitmaps.h"

namespace panelhost::render::test {

class RunningGauge {
public:
    explicit RunningGauge(const char* file) {
        // An empty library folder: the sound library is absent, which the
        // gauges tolerate and which changes nothing on screen.
        const auto no_libs = std::filesystem::temp_directory_path() / "render_tests_no_libraries";
        std::filesystem::create_directories(no_libs);
        auto host = panel::Host::create({.library_dir = no_libs});
        if (!host) { error_ = host.error().message; return; }
        host_ = std::move(*host);
        auto module = host_->load_module(std::filesystem::path(DIST_DIR) / file);
        if (!module) { error_ = module.error().message; return; }
        module_ = *module;
        if (auto r = host_->write_import_table(*module_); !r) { error_ = r.error().message; return; }
        if (auto r = host_->module_init(*module_); !r) { error_ = r.error().message; return; }
        auto gauge = host_->add_instance(*module_);
        if (!gauge) { error_ = gauge.error().message; return; }
        gauge_ = *gauge;
        if (auto r = host_->send(*gauge_, gauge::kServicePreInitialize); !r) { error_ = r.error().message; return; }
        bitmaps_.emplace(module_->image());
    }

    ~RunningGauge() {
        if (!host_) return;
        if (gauge_) (void)host_->send(*gauge_, gauge::kServicePreKill);
        if (module_) {
            (void)host_->module_deinit(*module_);
            (void)host_->unload_module(*module_);
        }
    }

    // Empty when the gauge runs; otherwise why not.
    const std::string& error() const { return error_; }

    Result<Scene> cycle(const std::vector<std::pair<std::uint32_t, double>>& tokens) {
        for (auto [token, value] : tokens) host_->tokens().set(token, value);
        if (auto r = host_->update_cycle(*gauge_); !r) return std::unexpected(Error{r.error().message});
        auto tree = host_->elements(*gauge_);
        if (!tree) return std::unexpected(Error{tree.error().message});
        return scene_from_tree(*tree, *bitmaps_);
    }

    Result<std::shared_ptr<const Bitmap>> bitmap(std::uint32_t id) { return bitmaps_->get(id); }

private:
    std::string error_;
    std::unique_ptr<panel::Host> host_;
    panel::GaugeModule* module_ = nullptr;
    panel::GaugeInstance* gauge_ = nullptr;
    std::optional<ModuleBitmaps> bitmaps_;
};

}  // namespace panelhost::render::test
