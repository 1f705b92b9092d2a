#include "polyline_clip.h"

#include <algorithm>

namespace darvelon::ui {

QList<QPointF> keepWithin(const QList<QPointF>& points, double low, double high) {
    QList<QPointF> out;
    out.reserve(points.size());
    const auto held = [&](const QPointF& p) { return QPointF(p.x(), std::clamp(p.y(), low, high)); };
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF& q = points[i];
        if (i > 0) {
            const QPointF& p = points[i - 1];
            // Up to two crossings, in the order the segment meets them.
            double t[2];
            int crossings = 0;
            for (const double edge : {low, high})
                if ((p.y() - edge) * (q.y() - edge) < 0) t[crossings++] = (edge - p.y()) / (q.y() - p.y());
            if (crossings == 2 && t[0] > t[1]) std::swap(t[0], t[1]);
            for (int k = 0; k < crossings; ++k) out.append(held(p + (q - p) * t[k]));
        }
        out.append(held(q));
    }
    return out;
}

}  // namespace darvelon::ui
