#include "curve_density.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace darvelon::ui {

namespace {

// A lone frame still shows; the busiest cell is the darkest, and the steps between follow the
// logarithm of the count, since a steady speed piles up thousands of frames in a few cells.
constexpr int kLightestAlpha = 90;
constexpr int kDarkestAlpha = 230;
constexpr QRgb kMarkColour = qRgb(40, 70, 150);

// Enough marks to place a thousandth within a few hundredths of a per cent, few enough to sort
// in a blink.
constexpr std::size_t kRangeSamples = 200'000;
constexpr double kOutermost = 0.001;

std::pair<double, double> bulkRange(std::vector<float>& values) {
    const std::size_t last = values.size() - 1;
    const auto low = values.begin() + std::ptrdiff_t(double(last) * kOutermost);
    const auto high = values.begin() + std::ptrdiff_t(std::ceil(double(last) * (1 - kOutermost)));
    std::nth_element(values.begin(), low, values.end());
    const double lowest = *low;
    // Only what lies above the low one can be the high one; the low one moves in this pass.
    std::nth_element(low, high, values.end());
    return {lowest, *high};
}

}  // namespace

std::optional<MarkRanges> bulkOf(const std::vector<CurveMark>& marks) {
    if (marks.empty()) return std::nullopt;
    const std::size_t stride = std::max<std::size_t>(1, marks.size() / kRangeSamples);
    std::vector<float> rpm;
    std::vector<float> degrees;
    rpm.reserve(marks.size() / stride + 1);
    degrees.reserve(marks.size() / stride + 1);
    for (std::size_t i = 0; i < marks.size(); i += stride) {
        rpm.push_back(marks[i].rpm);
        degrees.push_back(marks[i].degrees);
    }
    const auto [rpmLow, rpmHigh] = bulkRange(rpm);
    const auto [degreesLow, degreesHigh] = bulkRange(degrees);
    return MarkRanges{rpmLow, rpmHigh, degreesLow, degreesHigh};
}

CurveDensity::CurveDensity(QGraphicsItem* parent) : QGraphicsItem(parent) {
    // Above the grid, below the band and the mean line.
    setZValue(3.5);
}

void CurveDensity::setArea(const QRectF& area) {
    if (area == m_area) return;
    prepareGeometryChange();
    m_area = area;
    rasterise();
}

void CurveDensity::setView(const QRectF& area, double x0, double x1, double y0, double y1) {
    m_x0 = x0;
    m_x1 = x1;
    m_y0 = y0;
    m_y1 = y1;
    if (area != m_area) prepareGeometryChange();
    m_area = area;
    rasterise();
}

void CurveDensity::rasterise() {
    const int width = std::max(0, int(m_area.width()));
    const int height = std::max(0, int(m_area.height()));
    if (width == 0 || height == 0 || !(m_x1 > m_x0) || !(m_y1 > m_y0)) {
        m_image = QImage();
        update();
        return;
    }
    m_counts.assign(std::size_t(width) * std::size_t(height), 0);
    const double sx = width / (m_x1 - m_x0);
    const double sy = height / (m_y1 - m_y0);
    std::uint32_t busiest = 0;
    for (const CurveMark& m : m_marks) {
        // Compared before the conversion, so a mark far outside never becomes an int it cannot
        // be. A mark on the far edge of a range belongs to the last cell.
        const double px = (m.rpm - m_x0) * sx;
        const double py = (m_y1 - m.degrees) * sy;
        if (!(px >= 0 && px <= width && py >= 0 && py <= height)) continue;
        const auto cx = std::min(std::size_t(px), std::size_t(width - 1));
        const auto cy = std::min(std::size_t(py), std::size_t(height - 1));
        std::uint32_t& count = m_counts[cy * std::size_t(width) + cx];
        busiest = std::max(busiest, ++count);
    }
    m_image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    m_image.fill(Qt::transparent);
    const double scale = busiest > 1 ? (kDarkestAlpha - kLightestAlpha) / std::log(double(busiest)) : 0;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        const std::uint32_t* counts = m_counts.data() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            if (counts[x] == 0) continue;
            const int alpha = kLightestAlpha + int(scale * std::log(double(counts[x])));
            line[x] = qPremultiply(qRgba(qRed(kMarkColour), qGreen(kMarkColour), qBlue(kMarkColour), alpha));
        }
    }
    update();
}

QRectF CurveDensity::boundingRect() const { return m_area; }

void CurveDensity::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (!m_image.isNull()) painter->drawImage(m_area.topLeft(), m_image);
}

}  // namespace darvelon::ui
