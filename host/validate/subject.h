// What the tests of one validator pass share: the options, this pass's seed,
// the module file and what could be read from it.
#pragma once

#include "pe/image.h"
#include "validate/image_memory.h"
#include "validate/options.h"
#include "validate/sound_library.h"
#include "validate/static_gauge.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace panelhost::validate {

struct Observations;

struct Subject {
    Options options;
    std::uint64_t seed = 0;

    std::vector<std::uint8_t> bytes;          // the file as read
    std::optional<pe::Image> image;           // empty when the file is no PE image
    std::string image_error;                  // why, then
    std::unique_ptr<ImageMemory> memory;      // views `image`
    std::optional<StaticGauge> gauge;         // its stored records
    std::shared_ptr<const SoundLibraries> sounds;   // from level 2 on

    // Several tests read what one scenario observed; each scenario runs once
    // per pass, when the first of them asks.
    const Observations& observe(const std::string& scenario, const std::function<void(Subject&, Observations&)>& run);

private:
    std::map<std::string, std::shared_ptr<Observations>> observed_;
};

}  // namespace panelhost::validate
