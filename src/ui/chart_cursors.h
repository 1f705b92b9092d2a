#pragma once
// Cursors A and B: each sits on a frame (its sample), drawn as a vertical line wherever the view
// puts that frame, and what lies between them is measured once, when a cursor is placed. The
// chart owns the item through its graphics parent; the model must outlive it.
#include <QGraphicsItem>
#include <array>
#include <optional>
#include <vector>

#include "measure/span_measure.h"
#include "overlay_panel.h"
#include "plot/chart_model.h"

namespace darvelon::ui {

class ChartCursors : public QGraphicsItem {
public:
    enum class Cursor { A, B };

    ChartCursors(const plot::ChartModel& model, QGraphicsItem* parent);

    // Onto the frame nearest to x; false, changing nothing, when there is no frame.
    bool place(Cursor which, double x);
    void clear();
    bool empty() const { return !m_points[0] && !m_points[1]; }
    std::optional<std::int64_t> sample(Cursor which) const;
    const std::optional<measure::SpanMeasurement>& span() const { return m_span; }
    // The figures of the cursors for their panel.
    std::vector<OverlayPanel::Row> panelRows() const;

    // The plot area and the x range it shows.
    void setView(const QRectF& area, double x0, double x1);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    const plot::ChartModel& m_model;
    std::array<std::optional<measure::FramePoint>, 2> m_points;
    std::optional<measure::SpanMeasurement> m_span;
    QRectF m_area;
    double m_x0 = 0;
    double m_x1 = 1;
};

}  // namespace darvelon::ui
