// What one validator test found: errors fail the module, warnings (things a
// gauge may do on purpose) are reported and do not.
#pragma once

#include <string>
#include <vector>

namespace panelhost::validate {

enum class Severity { warning, error };

struct Finding {
    Severity severity;
    std::string what;    // what was seen, where, with which inputs
};

class Check {
public:
    void error(std::string what) { add(Severity::error, std::move(what)); }
    void warn(std::string what) { add(Severity::warning, std::move(what)); }
    // Context for the findings (the steps that led to a fault); no verdict.
    void note(std::string what) { notes_.push_back(std::move(what)); }
    const std::vector<std::string>& notes() const { return notes_; }

    // A test that meets a fault it cannot continue past (the module's state
    // is undefined after a runaway call) stops; the rest of its findings
    // would only repeat the first.
    bool failed() const { return errors_ > 0; }
    const std::vector<Finding>& findings() const { return findings_; }
    std::size_t dropped() const { return dropped_; }    // findings beyond the kept ones

private:
    // A broken module can produce the same finding thousands of times (a
    // fuzz run, every cycle); the report keeps the first few and counts the
    // rest.
    static constexpr std::size_t kKeep = 8;

    void add(Severity severity, std::string what);

    std::vector<Finding> findings_;
    std::vector<std::string> notes_;
    std::size_t errors_ = 0;
    std::size_t dropped_ = 0;
};

}  // namespace panelhost::validate
