#include "lib/analysis.h"

#include <utility>
#include <vector>

namespace art {

std::size_t count_pixels(int width, int height, const PixelTest& test) {
    std::size_t n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) n += test(x, y) ? 1 : 0;
    return n;
}

bool all_connected_to_edge(int width, int height, const PixelTest& test) {
    std::vector<char> seen(std::size_t(width) * std::size_t(height), 0);
    std::vector<std::pair<int, int>> todo;
    auto visit = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        char& s = seen[std::size_t(y) * std::size_t(width) + std::size_t(x)];
        if (s || !test(x, y)) return;
        s = 1;
        todo.emplace_back(x, y);
    };
    for (int x = 0; x < width; ++x) visit(x, 0), visit(x, height - 1);
    for (int y = 0; y < height; ++y) visit(0, y), visit(width - 1, y);
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        visit(x + 1, y), visit(x - 1, y), visit(x, y + 1), visit(x, y - 1);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (test(x, y) && !seen[std::size_t(y) * std::size_t(width) + std::size_t(x)]) return false;
    return true;
}

}  // namespace art
