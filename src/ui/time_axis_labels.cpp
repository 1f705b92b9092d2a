#include "time_axis_labels.h"

#include <QChart>
#include <QFontMetricsF>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace darvelon::ui {

namespace {

// Where the axis sets its labels: below the tick marks, their tops this far under the plot.
constexpr double kLabelTop = 8;
constexpr int kMostTicks = 100;

std::vector<double> tickPositions(const QValueAxis& axis) {
    std::vector<double> ticks;
    const double lo = axis.min();
    const double hi = axis.max();
    if (!(hi > lo)) return ticks;
    if (axis.tickType() == QValueAxis::TicksDynamic && axis.tickInterval() > 0) {
        const double step = axis.tickInterval();
        for (double k = std::ceil((lo - axis.tickAnchor()) / step); ticks.size() < kMostTicks; ++k) {
            const double x = axis.tickAnchor() + k * step;
            if (x > hi) break;
            ticks.push_back(x);
        }
    } else {
        const int count = std::max(2, axis.tickCount());
        for (int k = 0; k < count; ++k) ticks.push_back(lo + (hi - lo) * k / (count - 1));
    }
    return ticks;
}

}  // namespace

TimeAxisLabels::TimeAxisLabels(const plot::ChartModel& model, QValueAxis& axis, QChart& chart)
    : QGraphicsItem(&chart), m_model(model), m_axis(axis), m_chart(chart) {
    setZValue(20);
    hide();
}

void TimeAxisLabels::setShown(bool shown) {
    if (shown == m_shown) return;
    m_shown = shown;
    if (shown) {
        m_axisBrush = m_axis.labelsBrush();
        m_axis.setLabelsBrush(Qt::transparent);
    } else {
        m_axis.setLabelsBrush(m_axisBrush);
    }
    setVisible(shown);
    viewChanged();
}

std::vector<TimeAxisLabels::Label> TimeAxisLabels::labels() const {
    std::vector<Label> labels;
    std::vector<double> times;
    for (const double x : tickPositions(m_axis)) {
        const auto f = m_model.frameNearest(x);
        if (!f) continue;
        labels.push_back({x, {}});
        times.push_back(*m_model.secondsAt(f->sample));
    }
    // One decimal more than tells the closest two labels apart, so uneven steps read as uneven;
    // never finer than a microsecond, about a tick.
    double closest = 10;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1]) closest = std::min(closest, times[i] - times[i - 1]);
    const int decimals = std::clamp(int(std::ceil(-std::log10(closest))) + 1, 0, 6);
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i].text = QStringLiteral("%1 с").arg(times[i], 0, 'f', decimals);
    return labels;
}

void TimeAxisLabels::viewChanged() {
    prepareGeometryChange();
    update();
}

// The whole chart: the band under the plot moves whenever the plot area does.
QRectF TimeAxisLabels::boundingRect() const { return QRectF(QPointF(0, 0), m_chart.size()); }

void TimeAxisLabels::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (!m_shown) return;
    const QRectF area = m_chart.plotArea();
    const double x0 = m_axis.min();
    const double x1 = m_axis.max();
    if (!(x1 > x0)) return;
    const QFont font = m_axis.labelsFont();
    const QFontMetricsF metrics(font);
    painter->setFont(font);
    painter->setPen(m_axisBrush.color());
    for (const Label& label : labels()) {
        const double px = area.left() + (label.x - x0) / (x1 - x0) * area.width();
        const double width = metrics.horizontalAdvance(label.text);
        painter->drawText(QPointF(px - width / 2, area.bottom() + kLabelTop + metrics.ascent()), label.text);
    }
}

}  // namespace darvelon::ui
