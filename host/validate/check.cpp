#include "validate/check.h"

namespace panelhost::validate {

void Check::add(Severity severity, std::string what) {
    if (severity == Severity::error) ++errors_;
    if (findings_.size() >= kKeep) {
        ++dropped_;
        return;
    }
    findings_.push_back(Finding{severity, std::move(what)});
}

}  // namespace panelhost::validate
