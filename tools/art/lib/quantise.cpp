#include "lib/quantise.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <numeric>

namespace art {

namespace {

// Opaque colours of the pictures with their pixel counts, in colour order.
struct Sample {
    std::array<int, 3> c;
    std::int64_t count;
};

// Channel weights of the colour distance (the eye is most sensitive to green).
constexpr std::array<std::int64_t, 3> weight{3, 4, 2};

std::int64_t distance2(const std::array<int, 3>& a, Rgb8 b) {
    const std::int64_t dr = a[0] - b.r, dg = a[1] - b.g, db = a[2] - b.b;
    return weight[0] * dr * dr + weight[1] * dg * dg + weight[2] * db * db;
}

std::array<int, 3> key(Rgb8 c) { return {c.r, c.g, c.b}; }

// The opaque colour of a pixel as it will be stored: never pure black (an
// opaque pixel must not turn transparent).
Rgb8 opaque_rgb8(const Rgba& c) {
    Rgb8 v = to_rgb8(c);
    if (v == pure_black) v = {1, 1, 1};
    return v;
}

std::vector<Sample> collect(std::span<const Canvas* const> pictures) {
    std::map<std::array<int, 3>, std::int64_t> histogram;
    for (const Canvas* p : pictures)
        for (int y = 0; y < p->height(); ++y)
            for (int x = 0; x < p->width(); ++x)
                if (!is_transparent(p->at(x, y))) ++histogram[key(opaque_rgb8(p->at(x, y)))];
    std::vector<Sample> out;
    out.reserve(histogram.size());
    for (const auto& [c, n] : histogram) out.push_back({c, n});
    return out;
}

// Median cut: split the box with the largest weighted spread along its
// widest channel at the weighted median, until there are `boxes` boxes.
std::vector<Rgb8> median_cut(std::vector<Sample> samples, int boxes) {
    struct Range {
        std::size_t begin, end;
    };
    auto spread = [&](Range r, int& channel) {
        std::array<int, 3> lo{255, 255, 255}, hi{0, 0, 0};
        for (std::size_t i = r.begin; i < r.end; ++i)
            for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], samples[i].c[k]), hi[k] = std::max(hi[k], samples[i].c[k]);
        std::int64_t best = -1;
        for (int k = 0; k < 3; ++k) {
            const std::int64_t s = (hi[k] - lo[k]) * weight[k];
            if (s > best) best = s, channel = k;
        }
        std::int64_t n = 0;
        for (std::size_t i = r.begin; i < r.end; ++i) n += samples[i].count;
        return best * best * n;  // widest channel, weighted by population
    };
    std::vector<Range> ranges{{0, samples.size()}};
    while (int(ranges.size()) < boxes) {
        std::size_t pick = ranges.size();
        int channel = 0;
        std::int64_t best = 0;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            if (ranges[i].end - ranges[i].begin < 2) continue;
            int ch = 0;
            const std::int64_t s = spread(ranges[i], ch);
            if (s > best) best = s, pick = i, channel = ch;
        }
        if (pick == ranges.size()) break;  // nothing left to split
        const Range r = ranges[pick];
        std::stable_sort(samples.begin() + std::ptrdiff_t(r.begin), samples.begin() + std::ptrdiff_t(r.end),
                         [channel](const Sample& a, const Sample& b) { return a.c[channel] < b.c[channel]; });
        std::int64_t total = 0, run = 0;
        for (std::size_t i = r.begin; i < r.end; ++i) total += samples[i].count;
        std::size_t cut = r.begin + 1;
        for (std::size_t i = r.begin; i < r.end - 1; ++i) {
            run += samples[i].count;
            cut = i + 1;
            if (2 * run >= total) break;
        }
        ranges[pick] = {r.begin, cut};
        ranges.push_back({cut, r.end});
    }
    std::vector<Rgb8> out;
    for (const Range r : ranges) {
        std::array<std::int64_t, 3> sum{};
        std::int64_t n = 0;
        for (std::size_t i = r.begin; i < r.end; ++i) {
            for (int k = 0; k < 3; ++k) sum[k] += std::int64_t(samples[i].c[k]) * samples[i].count;
            n += samples[i].count;
        }
        if (n == 0) continue;
        Rgb8 c{std::uint8_t((sum[0] + n / 2) / n), std::uint8_t((sum[1] + n / 2) / n), std::uint8_t((sum[2] + n / 2) / n)};
        if (c == pure_black) c = {1, 1, 1};
        out.push_back(c);
    }
    return out;
}

// Index of the nearest entry for an opaque colour, skipping pure black; ties
// go to the lower index.
int nearest(const std::array<int, 3>& c, std::span<const Rgb8> palette) {
    int best = -1;
    std::int64_t best_d = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        if (palette[i] == pure_black) continue;
        const std::int64_t d = distance2(c, palette[i]);
        if (d < best_d) best_d = d, best = int(i);
    }
    return best;
}

}  // namespace

std::expected<std::vector<Rgb8>, std::string> build_palette(std::span<const Canvas* const> pictures,
                                                             const QuantiseOptions& options) {
    const int n = options.colours;
    if (n < 1 || n > 256) return std::unexpected("palette size must be 1..256");
    std::vector<bool> is_pinned(std::size_t(n), false);
    std::vector<Rgb8> palette(std::size_t(n), pure_black);
    for (const auto& [i, c] : options.pinned) {
        if (i < 0 || i >= n) return std::unexpected("pinned entry out of range");
        if (is_pinned[std::size_t(i)]) return std::unexpected("entry pinned twice");
        is_pinned[std::size_t(i)] = true;
        palette[std::size_t(i)] = c;
    }
    std::vector<std::size_t> free_slots;
    for (std::size_t i = 0; i < std::size_t(n); ++i)
        if (!is_pinned[i]) free_slots.push_back(i);

    const std::vector<Sample> samples = collect(pictures);
    bool any_transparent = false;
    for (const Canvas* p : pictures)
        for (int y = 0; y < p->height() && !any_transparent; ++y)
            for (int x = 0; x < p->width(); ++x)
                if (is_transparent(p->at(x, y))) { any_transparent = true; break; }
    if (any_transparent && std::ranges::find(palette, pure_black) == palette.end())
        return std::unexpected("transparent pixels need a pinned pure-black entry");

    // Seed the free entries by median cut, then refine.
    const std::vector<Rgb8> seeds = median_cut(samples, int(free_slots.size()));
    for (std::size_t k = 0; k < free_slots.size(); ++k)
        palette[free_slots[k]] = k < seeds.size() ? seeds[k] : Rgb8{1, 1, 1};

    std::vector<int> owner(samples.size());
    auto assign = [&] {
        for (std::size_t i = 0; i < samples.size(); ++i) owner[i] = nearest(samples[i].c, palette);
    };
    for (int round = 0; round < options.refinements; ++round) {
        assign();
        std::vector<std::array<std::int64_t, 4>> acc(std::size_t(n), {0, 0, 0, 0});
        for (std::size_t i = 0; i < samples.size(); ++i) {
            auto& a = acc[std::size_t(owner[i])];
            for (int k = 0; k < 3; ++k) a[std::size_t(k)] += std::int64_t(samples[i].c[k]) * samples[i].count;
            a[3] += samples[i].count;
        }
        bool moved = false;
        for (std::size_t s : free_slots) {
            const auto& a = acc[s];
            if (a[3] == 0) continue;
            Rgb8 c{std::uint8_t((a[0] + a[3] / 2) / a[3]), std::uint8_t((a[1] + a[3] / 2) / a[3]),
                   std::uint8_t((a[2] + a[3] / 2) / a[3])};
            if (c == pure_black) c = {1, 1, 1};
            if (c != palette[s]) palette[s] = c, moved = true;
        }
        if (!moved) break;
    }

    if (options.all_used) {
        // Pinned pure black is used by the transparent pixels; every other
        // entry needs an opaque pixel. Give each unused entry the colour that
        // is matched worst, taken from an entry that keeps other colours.
        for (int pass = 0; pass < n + 1; ++pass) {
            assign();
            std::vector<std::int64_t> members(std::size_t(n), 0);
            for (int o : owner) ++members[std::size_t(o)];
            std::vector<std::size_t> unused;
            for (std::size_t i = 0; i < std::size_t(n); ++i) {
                const bool used_by_transparency = palette[i] == pure_black && any_transparent &&
                                                  std::ranges::find(palette, pure_black) - palette.begin() == std::ptrdiff_t(i);
                if (members[i] == 0 && !used_by_transparency) unused.push_back(i);
            }
            if (unused.empty()) return palette;
            std::vector<std::size_t> order(samples.size());
            std::iota(order.begin(), order.end(), std::size_t{0});
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return distance2(samples[a].c, palette[std::size_t(owner[a])]) * samples[a].count >
                       distance2(samples[b].c, palette[std::size_t(owner[b])]) * samples[b].count;
            });
            std::size_t next = 0;
            for (std::size_t slot : unused) {
                if (is_pinned[slot]) return std::unexpected("a pinned colour is used by no pixel");
                while (next < order.size() &&
                       (members[std::size_t(owner[order[next]])] < 2 ||
                        distance2(samples[order[next]].c, palette[std::size_t(owner[order[next]])]) == 0))
                    ++next;
                if (next == order.size()) return std::unexpected("too few distinct colours to use every entry");
                const Sample& s = samples[order[next]];
                --members[std::size_t(owner[order[next]])];
                palette[slot] = Rgb8{std::uint8_t(s.c[0]), std::uint8_t(s.c[1]), std::uint8_t(s.c[2])};
                ++next;
            }
        }
        return std::unexpected("could not use every palette entry");
    }
    return palette;
}

std::expected<IndexedImage, std::string> map_to_palette(const Canvas& picture, std::span<const Rgb8> palette) {
    if (palette.empty() || palette.size() > 256) return std::unexpected("palette must have 1..256 entries");
    const auto black = std::ranges::find(palette, pure_black);
    IndexedImage out{picture.width(), picture.height(), {palette.begin(), palette.end()}, {}};
    out.indices.resize(std::size_t(picture.width()) * std::size_t(picture.height()));
    std::map<std::array<int, 3>, int> memo;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const Rgba& c = picture.at(x, y);
            int index;
            if (is_transparent(c)) {
                if (black == palette.end()) return std::unexpected("transparent pixel but no pure-black entry");
                index = int(black - palette.begin());
            } else {
                const auto k = key(opaque_rgb8(c));
                auto it = memo.find(k);
                if (it == memo.end()) it = memo.emplace(k, nearest(k, palette)).first;
                index = it->second;
                if (index < 0) return std::unexpected("opaque pixel but only pure-black entries");
            }
            out.indices[std::size_t(y) * std::size_t(picture.width()) + std::size_t(x)] = std::uint8_t(index);
        }
    return out;
}

std::expected<IndexedImage, std::string> quantise(const Canvas& picture, const QuantiseOptions& options) {
    const Canvas* one[] = {&picture};
    auto palette = build_palette(one, options);
    if (!palette) return std::unexpected(palette.error());
    return map_to_palette(picture, *palette);
}

}  // namespace art
