// Which picture an icon shows for a value: always one of its own.
#include <gtest/gtest.h>

#include <limits>

#include "render/icon_picture.h"

namespace panelhost::render {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Case {
    double value;
    std::uint32_t count;
    double scale;
    std::int32_t offset;
    std::uint32_t picture;
};

TEST(IconPicture, ModeThreeAlwaysPicksOwnPicture) {
    const Case cases[] = {
        // Two pictures, scale 0 and offset 0 as the lamps store them.
        {0.0, 2, 0.0, 0, 0}, {1.0, 2, 0.0, 0, 1}, {-0.0, 2, 0.0, 0, 0},
        {15001.0, 2, 0.0, 0, 1}, {15000.0, 2, 0.0, 0, 1}, {-1.0, 2, 0.0, 0, 0},
        {kNaN, 2, 0.0, 0, 0}, {kInf, 2, 0.0, 0, 1}, {-kInf, 2, 0.0, 0, 0},
        {0.49, 2, 0.0, 0, 0}, {0.5, 2, 0.0, 0, 1},
        // More pictures; a scale other than 0 and an offset apply.
        {2.0, 4, 0.0, 0, 2}, {1.4, 4, 2.0, 0, 3}, {1.0, 4, 0.0, 1, 2}, {5.0, 4, 0.0, -4, 1},
        // A NaN scale from the record: the first picture.
        {1.0, 2, kNaN, 0, 0},
        // No pictures: nothing to pick from, 0.
        {1.0, 0, 0.0, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(icon_picture(c.value, 3, c.count, c.scale, c.offset), c.picture)
            << "value " << c.value << " count " << c.count << " scale " << c.scale
            << " offset " << c.offset;
}

}  // namespace
}  // namespace panelhost::render
