#include "lib/registry.h"

#include <cstdio>
#include <cstdlib>

namespace art {

namespace {

// Function-local so that registrars in other files, constructed during static
// initialisation in any order, always find it built.
std::map<std::string, DrawSet>& sets() {
    static std::map<std::string, DrawSet> all;
    return all;
}

}  // namespace

const std::map<std::string, DrawSet>& drawing_sets() { return sets(); }

DrawSet find_drawing_set(const std::string& name) {
    const auto it = sets().find(name);
    return it == sets().end() ? nullptr : it->second;
}

Registrar::Registrar(const char* name, DrawSet draw) {
    if (!sets().emplace(name, draw).second) {
        // Two files claiming one name is a programming error caught at start-up.
        std::fprintf(stderr, "art: drawing set \"%s\" registered twice\n", name);
        std::abort();
    }
}

}  // namespace art
