// The error value every host library returns: one line that says what went
// wrong; the CLI prefixes the file or command it was working on.
#pragma once

#include <expected>
#include <string>

namespace panelhost {

struct Error {
    std::string message;
};

template <class T> using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string message) {
    return std::unexpected(Error{std::move(message)});
}

}  // namespace panelhost
