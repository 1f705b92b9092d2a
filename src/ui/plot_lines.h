#pragma once
// Draws the chart's lines from the points the decimation hands over. A QLineSeries lays out
// every point three times before one pixel is drawn (a path, a mitred outline for hit-testing
// and a bounding box), and the sharp turns of a min/max envelope are its most expensive case.
// Here raw points are mapped to pixels and drawn as one polyline, and an envelope as one
// filled pixel column per column, in the colour of its series. The series keep their names
// and pens; the chart owns this item through its graphics parent.
#include <QGraphicsItem>
#include <QPolygonF>
#include <array>
#include <vector>

#include "decoder/plot_target.h"
#include "plot/decimate.h"

class QLineSeries;

namespace darvelon::ui {

class PlotLines : public QGraphicsItem {
public:
    using SeriesList = std::array<QLineSeries*, decoder::kSeriesCount>;
    struct Line {
        std::vector<plot::PlotPoint> points;  // in data coordinates
        plot::Decimation shape = plot::Decimation::Raw;
    };

    PlotLines(const SeriesList& series, QGraphicsItem* parent);

    // The caller refills the lines, then calls setView().
    Line& line(int index) { return m_lines[std::size_t(index)]; }
    const Line& line(int index) const { return m_lines[std::size_t(index)]; }

    // The plot area in the parent's coordinates and the data ranges it spans.
    void setView(const QRectF& area, double x0, double x1, double y0, double y1);
    void setArea(const QRectF& area);
    const QRectF& area() const { return m_area; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void mapToPixels(const std::vector<plot::PlotPoint>& points);
    void drawEnvelope(QPainter* painter, const QColor& colour);

    SeriesList m_series;
    std::array<Line, decoder::kSeriesCount> m_lines;
    QRectF m_area;
    double m_x0 = 0;
    double m_x1 = 1;
    double m_y0 = 0;
    double m_y1 = 1;
    // Reused between paints.
    QPolygonF m_pixels;
    std::vector<QRect> m_rects;
};

}  // namespace darvelon::ui
