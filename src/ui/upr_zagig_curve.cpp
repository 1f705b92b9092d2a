// The curve window, fed from the chart's frames: the whole log, or the range the chart shows.
#include <QValueAxis>

#include "curve_window.h"
#include "measurement_chart.h"
#include "upr_zagig.h"

namespace darvelon::ui {

void TfrmUprZagig::showCurveWindow() {
    if (!m_curveWindow) {
        auto frames = [this](decoder::FrameSink& sink, bool visibleOnly, double fromSample) {
            const plot::ChartModel& model = Chart1->model();
            const auto [first, last] =
                visibleOnly ? std::pair{Chart1->axisX()->min(), Chart1->axisX()->max()} : model.dataXRange();
            model.forEachFrame(std::max(first, fromSample), last, sink);
            return model.generation();
        };
        m_curveWindow = new CurveWindow(frames, *m_dialogs, this);
        // The chart announces new data once per redraw, so the curve hears of it at that pace
        // at most, and rebuilds on its own slower clock.
        connect(Chart1, &MeasurementChart::refreshScheduled, m_curveWindow, &CurveWindow::framesChanged);
        connect(Chart1->axisX(), &QValueAxis::rangeChanged, m_curveWindow, &CurveWindow::viewChanged);
    }
    m_curveWindow->show();
    m_curveWindow->raise();
    m_curveWindow->activateWindow();
}

}  // namespace darvelon::ui
