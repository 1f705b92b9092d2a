#pragma once
// The curve window's frames as one light image: each frame a mark at its speed and angle,
// counted per pixel cell, so a million frames cost one image instead of a million items; cells
// that more frames fall in are darker. The chart owns this item through its graphics parent.
#include <QGraphicsItem>
#include <QImage>
#include <cstdint>
#include <optional>
#include <vector>

namespace darvelon::ui {

struct CurveMark {
    float rpm;
    float degrees;
};

struct MarkRanges {
    double rpmLow;
    double rpmHigh;
    double degreesLow;
    double degreesHigh;
};

// The ranges that hold the marks but for the outermost thousandth at each end: a frame whose
// stamps straddle the counter's wrap decodes some hundred thousand degrees off, and a handful of
// those must not squash the curve into a line. Empty without marks.
std::optional<MarkRanges> bulkOf(const std::vector<CurveMark>& marks);

class CurveDensity : public QGraphicsItem {
public:
    explicit CurveDensity(QGraphicsItem* parent);

    // The caller refills the marks, then calls setView().
    std::vector<CurveMark>& marks() { return m_marks; }
    // The plot area in the parent's coordinates and the data ranges it spans.
    void setView(const QRectF& area, double x0, double x1, double y0, double y1);
    void setArea(const QRectF& area);
    const QRectF& area() const { return m_area; }
    // One pixel per cell of the plot area; transparent where no frame fell.
    const QImage& image() const { return m_image; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void rasterise();

    std::vector<CurveMark> m_marks;
    QRectF m_area;
    double m_x0 = 0;
    double m_x1 = 1;
    double m_y0 = 0;
    double m_y1 = 1;
    QImage m_image;
    std::vector<std::uint32_t> m_counts;  // reused between rasterisations
};

}  // namespace darvelon::ui
