#include "validate/subject.h"

#include "validate/drive.h"

namespace panelhost::validate {

const Observations& Subject::observe(const std::string& scenario,
                                     const std::function<void(Subject&, Observations&)>& run) {
    auto& slot = observed_[scenario];
    if (!slot) {
        slot = std::make_shared<Observations>();
        run(*this, *slot);
    }
    return *slot;
}

}  // namespace panelhost::validate
