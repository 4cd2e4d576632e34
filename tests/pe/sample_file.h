// The fixture DLL's bytes, and the byte-level reader of its headers that
// does not use the parser under test.
#pragma once

#include "support/pe_bytes.h"

namespace pe_test {

using namespace pe_bytes;

inline Bytes sample_bytes() { return read_file(FIXTURE_DIR "/PeSample.dll"); }

}  // namespace pe_test
