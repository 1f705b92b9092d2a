#include "chart_cursors.h"

#include <QPainter>
#include <cmath>

namespace darvelon::ui {

namespace {

const std::array<QColor, 2> kCursorColours{QColor(190, 0, 190), QColor(220, 110, 0)};
const std::array<QString, 2> kCursorNames{QStringLiteral("A"), QStringLiteral("B")};

QString seconds(double s) { return QString::number(s, 'f', 4); }
QString rpm(double r) { return QString::number(r, 'f', 0); }
QString degrees(double d) { return QString::number(d, 'f', 2); }

}  // namespace

ChartCursors::ChartCursors(const plot::ChartModel& model, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_model(model) {
    // Over the lines (10), under the panels (20).
    setZValue(15);
}

bool ChartCursors::place(Cursor which, double x) {
    const auto f = m_model.frameNearest(x);
    if (!f) return false;
    auto& point = m_points[std::size_t(which)];
    point = measure::framePoint(m_model, f->sample);
    m_span.reset();
    if (m_points[0] && m_points[1]) m_span = measure::measureSpan(m_model, m_points[0]->sample, m_points[1]->sample);
    update();
    return true;
}

void ChartCursors::clear() {
    m_points = {};
    m_span.reset();
    update();
}

std::optional<std::int64_t> ChartCursors::sample(Cursor which) const {
    const auto& point = m_points[std::size_t(which)];
    return point ? std::optional(point->sample) : std::nullopt;
}

std::vector<OverlayPanel::Row> ChartCursors::panelRows() const {
    if (empty()) return {};
    std::vector<OverlayPanel::Row> rows;
    rows.push_back(
        {{QString(), QStringLiteral("Время, с"), QStringLiteral("Отсчёт"), QStringLiteral("Обороты, об/мин")}, {}});
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        if (!m_points[i]) continue;
        const auto& p = *m_points[i];
        rows.push_back(
            {{kCursorNames[i], seconds(p.seconds), QString::number(p.sample), rpm(p.speedRpm)}, kCursorColours[i]});
    }
    if (!m_span) return rows;
    const auto& s = *m_span;
    rows.push_back(
        {{QStringLiteral("B − A"), seconds(s.seconds), QString::number(s.b.sample - s.a.sample), rpm(s.speedRpm)}, {}});
    rows.push_back({{QStringLiteral("Ускорение %1 об/мин/с").arg(s.rpmPerSecond ? rpm(*s.rpmPerSecond) : "—")}, {}});
    rows.push_back({{QStringLiteral("Угол от A до B: среднее %1°, %2…%3°")
                         .arg(degrees(s.angleMean), degrees(s.angleMin), degrees(s.angleMax))},
                    {}});
    return rows;
}

void ChartCursors::setView(const QRectF& area, double x0, double x1) {
    prepareGeometryChange();
    m_area = area;
    m_x0 = x0;
    m_x1 = x1;
    update();
}

QRectF ChartCursors::boundingRect() const { return m_area.adjusted(-1, -1, 1, 1); }

void ChartCursors::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (m_area.isEmpty() || !(m_x1 > m_x0)) return;
    painter->setClipRect(m_area.adjusted(-0.5, -0.5, 0.5, 0.5));
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        if (!m_points[i]) continue;
        const double x = m_area.left() + (double(m_points[i]->sample) - m_x0) / (m_x1 - m_x0) * m_area.width();
        if (x < m_area.left() - 1 || x > m_area.right() + 1) continue;
        const double column = std::floor(x) + 0.5;
        painter->setPen(QPen(kCursorColours[i], 1, Qt::DashLine));
        painter->drawLine(QPointF(column, m_area.top()), QPointF(column, m_area.bottom()));
        painter->setPen(kCursorColours[i]);
        painter->drawText(QPointF(column + 3, m_area.bottom() - 4), kCursorNames[i]);
    }
}

}  // namespace darvelon::ui
