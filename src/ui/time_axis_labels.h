#pragma once
// Seconds under the bottom axis instead of frame numbers. The ticks stay where the axis puts
// them, at round frame numbers; each is labelled with the time of the frame nearest to it
// (ChartModel::secondsAt). Time is not proportional to the frame number when the speed changes,
// so the labels are honest but not evenly spaced; ticks at round seconds would need every
// frame's time on screen, while this costs one time lookup per tick. The axis keeps its own
// labels, drawn transparent, so the plot keeps its size when this is switched on or off.
#include <QBrush>
#include <QGraphicsItem>
#include <vector>

#include "plot/chart_model.h"

class QValueAxis;
class QChart;

namespace darvelon::ui {

class TimeAxisLabels : public QGraphicsItem {
public:
    struct Label {
        double x;  // frame number at the tick
        QString text;
    };

    // The chart owns the item; the model and the axis must outlive it.
    TimeAxisLabels(const plot::ChartModel& model, QValueAxis& axis, QChart& chart);

    void setShown(bool shown);
    bool shown() const { return m_shown; }
    // The labels of the ticks as they stand now.
    std::vector<Label> labels() const;
    // The axis moved, or the data under it changed.
    void viewChanged();

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    const plot::ChartModel& m_model;
    QValueAxis& m_axis;
    QChart& m_chart;
    bool m_shown = false;
    QBrush m_axisBrush;  // the axis's own label brush, given back when switched off
};

}  // namespace darvelon::ui
