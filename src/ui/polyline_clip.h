#pragma once
// A polyline held between two heights for drawing. Where it leaves the band a point goes where
// it crosses the edge, and the points beyond move onto the edge, so inside the band it draws
// exactly as before. With the band reaching past the plot nothing visible changes, and the
// painter never meets a point millions of pixels away, which it would crawl over.
#include <QList>
#include <QPointF>

namespace darvelon::ui {

QList<QPointF> keepWithin(const QList<QPointF>& points, double low, double high);

}  // namespace darvelon::ui
