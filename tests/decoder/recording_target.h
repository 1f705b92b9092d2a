#pragma once
#include <vector>

#include "decoder/plot_target.h"

namespace darvelon::test {

struct PlottedPoint {
    int index;
    std::int32_t x;
    double y;
    decoder::Rgb colour;
    friend bool operator==(const PlottedPoint&, const PlottedPoint&) = default;
};

// Keeps every point in arrival order so tests can check series, order and colour at once.
class RecordingTarget : public decoder::PlotTarget {
public:
    void add(int index, std::int32_t x, double y, decoder::Rgb colour) override {
        points.push_back({index, x, y, colour});
    }
    std::vector<PlottedPoint> points;
};

}  // namespace darvelon::test
