// The committed bitmaps of the volts-amperes meter are exactly what the art
// tool draws: redrawing gives the same bytes.
#include <gtest/gtest.h>

#include "lib/bmp.h"
#include "lib/registry.h"

TEST(VaArt, RedrawingGivesTheCommittedBytes) {
    const art::DrawSet draw = art::find_drawing_set("va_meter");
    ASSERT_NE(draw, nullptr);
    auto files = draw();
    ASSERT_TRUE(files.has_value()) << files.error();
    ASSERT_EQ(files->size(), 2u);
    for (const art::OutputFile& f : *files) {
        auto committed = art::read_file(std::string(SOURCE_DIR) + "/" + f.path);
        ASSERT_TRUE(committed.has_value()) << committed.error();
        EXPECT_TRUE(*committed == f.bytes) << f.path << " differs from its drawing; run the redraw-art target";
    }
}
