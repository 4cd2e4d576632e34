#include <cstring>
#include <memory>

#include "target.h"
#include "render/painter.h"
#include "render/scene.h"

namespace panelhost::fuzz {
namespace {

// Takes values off the front of the input; zeros once it runs out.
class Consumer {
public:
    explicit Consumer(Input bytes) : bytes_(bytes) {}

    template <class T> T take() {
        T value{};
        const std::size_t n = std::min(sizeof(T), bytes_.size());
        std::memcpy(&value, bytes_.data(), n);
        bytes_ = bytes_.subspan(n);
        return value;
    }
    // A number in [low, high].
    int range(int low, int high) { return low + take<std::uint8_t>() % (high - low + 1); }

private:
    Input bytes_;
};

std::shared_ptr<const render::Bitmap> bitmap(Consumer& in) {
    auto b = std::make_shared<render::Bitmap>();
    b->width = in.range(1, 40);
    b->height = in.range(1, 40);
    const auto seed = in.take<std::uint8_t>();
    for (int i = 0; i < b->width * b->height; ++i) {
        // A few colours, pure black among them, in a pattern from the seed.
        const std::uint8_t v = static_cast<std::uint8_t>((i * 37 + seed) % 5 * 60);
        b->pixels.push_back({v, static_cast<std::uint8_t>(v / 2), 0});
        b->black.push_back(v == 0);
    }
    return b;
}

}  // namespace

// Every field a module's records supply is taken whole (any int32 position,
// any double, any flag word); only the sizes are kept small, as the sizes of
// real bitmaps are bounded by the file that holds them.
std::string painter(Input bytes) {
    Consumer in(bytes);
    render::Scene scene;
    scene.width = in.range(1, 300);
    scene.height = in.range(1, 300);
    const int count = in.range(0, 6);
    for (int i = 0; i < count; ++i) {
        render::Element e;
        e.kind = static_cast<render::ElementKind>(in.range(0, 2));
        e.position = {in.take<std::int32_t>(), in.take<std::int32_t>()};
        e.pivot = {in.take<std::int32_t>(), in.take<std::int32_t>()};
        e.draw_flags = in.take<std::uint32_t>();
        if (in.take<std::uint8_t>() & 1) e.value = in.take<double>();
        const int rows = in.range(0, 5);
        for (int r = 0; r < rows; ++r) {
            render::TableRow row;
            row.point = {in.take<std::int32_t>(), in.take<std::int32_t>()};
            row.value = in.take<double>();
            e.table.push_back(row);
        }
        e.switch_mode = in.take<std::uint32_t>();
        e.picture_count = in.take<std::uint32_t>();
        e.scale = in.take<double>();
        e.offset = in.take<std::int32_t>();
        const int pictures = in.range(0, 3);
        for (int p = 0; p < pictures; ++p) e.bitmaps.push_back(bitmap(in));
        scene.elements.push_back(std::move(e));
    }
    const render::Frame frame = render::render(scene);
    std::size_t drawn = 0;
    for (const render::Rgba& p : frame.pixels) drawn += p.a != 0;
    return std::to_string(frame.width) + " x " + std::to_string(frame.height) + ", " +
           std::to_string(drawn) + " drawn";
}

}  // namespace panelhost::fuzz
