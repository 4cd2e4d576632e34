// A shipped module's bytes and where its headers and tables lie, read straight
// from the bytes (not through the parser under test), so that the bad-input
// cases can damage one field each.
#pragma once

#include "support/pe_bytes.h"

namespace cli_test {

using namespace pe_bytes;

}  // namespace cli_test
