// Errors of the renderer: values, never exceptions. The message says what is
// wrong; the caller adds where (the file, the resource id).
#pragma once

#include <expected>
#include <string>

namespace panelhost::render {

struct Error {
    std::string message;
};

template <class T> using Result = std::expected<T, Error>;

}  // namespace panelhost::render
