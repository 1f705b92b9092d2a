#include "plot_lines.h"

#include <QLineSeries>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace darvelon::ui {

namespace {

// A point far outside the plot must not reach the rasteriser as a coordinate it cannot hold.
// Held a million pixels beyond the edge, a line's visible part tilts by far less than a pixel.
constexpr double kFarPixels = 1 << 20;

}  // namespace

PlotLines::PlotLines(const SeriesList& series, QGraphicsItem* parent) : QGraphicsItem(parent), m_series(series) {
    // Above the grid and the axis lines, as the series' own lines would be.
    setZValue(10);
}

void PlotLines::setArea(const QRectF& area) {
    if (area == m_area) return;
    prepareGeometryChange();
    m_area = area;
    update();
}

void PlotLines::setView(const QRectF& area, double x0, double x1, double y0, double y1) {
    setArea(area);
    m_x0 = x0;
    m_x1 = x1;
    m_y0 = y0;
    m_y1 = y1;
    update();
}

QRectF PlotLines::boundingRect() const { return m_area.adjusted(-1, -1, 1, 1); }

void PlotLines::mapToPixels(const std::vector<plot::PlotPoint>& points) {
    const double sx = m_area.width() / (m_x1 - m_x0);
    const double sy = m_y1 > m_y0 ? m_area.height() / (m_y1 - m_y0) : 0;
    const double left = m_area.left();
    const double bottom = m_area.bottom();
    const auto n = qsizetype(points.size());
    m_pixels.resize(n);
    for (qsizetype k = 0; k < n; ++k) {
        const plot::PlotPoint& p = points[std::size_t(k)];
        m_pixels[k] = {left + (p.x - m_x0) * sx, bottom - (p.y - m_y0) * sy};
    }
    // Only the neighbours beyond the ends lie outside in x, and zoomed in they may lie millions
    // of pixels away: each is moved along its segment to just outside the edge.
    const auto pullIn = [](QPointF& outer, const QPointF& inner, double edgeX) {
        const double t = (edgeX - outer.x()) / (inner.x() - outer.x());
        outer = {edgeX, outer.y() + t * (inner.y() - outer.y())};
    };
    if (n >= 2 && m_pixels[0].x() < left - 1) pullIn(m_pixels[0], m_pixels[1], left - 1);
    if (n >= 2 && m_pixels[n - 1].x() > m_area.right() + 1)
        pullIn(m_pixels[n - 1], m_pixels[n - 2], m_area.right() + 1);
    const double highest = m_area.top() - kFarPixels;
    const double lowest = bottom + kFarPixels;
    for (QPointF& p : m_pixels) p.setY(std::clamp(p.y(), highest, lowest));
}

void PlotLines::drawEnvelope(QPainter* painter, const QColor& colour) {
    // One pixel column per column, from its highest to its lowest point, stretched to meet the
    // previous column so the trace stays joined across steps. A line drawn pixel by pixel costs
    // several times what a filled rectangle of the same pixels costs.
    m_rects.clear();
    int prevTop = 0;
    int prevBottom = 0;
    bool first = true;
    for (qsizetype k = 0; k < m_pixels.size();) {
        const double x = m_pixels[k].x();
        double high = m_pixels[k].y();  // on screen a higher value is a smaller y
        double low = high;
        for (++k; k < m_pixels.size() && m_pixels[k].x() == x; ++k) {
            high = std::min(high, m_pixels[k].y());
            low = std::max(low, m_pixels[k].y());
        }
        const int top = int(std::lround(high));
        const int bottom = int(std::lround(low));
        const int joinedTop = first ? top : std::min(top, prevBottom + 1);
        const int joinedBottom = first ? bottom : std::max(bottom, prevTop - 1);
        m_rects.push_back(QRect(int(std::floor(x)), joinedTop, 1, joinedBottom - joinedTop + 1));
        prevTop = top;
        prevBottom = bottom;
        first = false;
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawRects(m_rects.data(), int(m_rects.size()));
}

void PlotLines::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (m_area.isEmpty() || !(m_x1 > m_x0)) return;
    // Half a pixel more on each side keeps a line that runs along an edge of the plot visible.
    painter->setClipRect(m_area.adjusted(-0.5, -0.5, 0.5, 0.5));
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        // A line needs two points: a lone point draws nothing, as it did in the series.
        if (line.points.size() < 2 || !m_series[i]->isVisible()) continue;
        mapToPixels(line.points);
        const QPen pen = m_series[i]->pen();
        if (line.shape == plot::Decimation::Envelope) {
            drawEnvelope(painter, pen.color());
        } else {
            painter->setPen(pen);
            painter->drawPolyline(m_pixels);
        }
    }
}

}  // namespace darvelon::ui
