#include "chart_legend.h"

#include <QLineSeries>

#include "decoder/plot_target.h"
#include "measurement_chart.h"

namespace darvelon::ui {

std::vector<OverlayPanel::Row> legendRows(const MeasurementChart& chart) {
    // The two speed lines together: they are one quantity, split between alternate frames.
    const std::pair<int, const char16_t*> lines[] = {{decoder::kSpeedOddSeries, u"Обороты, об/мин"},
                                                     {decoder::kSpeedEvenSeries, u"Обороты, об/мин"},
                                                     {decoder::kAngleSeries, u"Угол x100, °"},
                                                     {decoder::kAuxSeries, u"Доп. x10"}};
    std::vector<OverlayPanel::Row> rows;
    for (const auto& [index, name] : lines) {
        const QLineSeries* series = chart.series(index);
        if (series->isVisible()) rows.push_back({{QString::fromUtf16(name)}, series->pen().color()});
    }
    return rows;
}

}  // namespace darvelon::ui
