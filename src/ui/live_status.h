#pragma once
// While recording: the log's name, what has arrived, the latest frame's values and whether the
// view follows the data, in a panel over the plot. Refreshed on a clock, never per frame.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "plot/chart_model.h"

namespace darvelon::ui {

class OverlayPanel;

class LiveStatus : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 250;
    // With the chart redrawing anyway, the panel is refreshed within its redraws; its own clock
    // only ticks when the chart stays still this long.
    static constexpr int kStillChartMs = 2 * kRefreshIntervalMs;

    // `viewState` says how the view stands; the model, the panel and what the functions read
    // must outlive this.
    LiveStatus(const plot::ChartModel& model, std::function<QString()> viewState, OverlayPanel& panel);

    // `bytesLogged` is read on the clock, on this thread.
    void start(const QString& logName, std::function<std::uint64_t()> bytesLogged);
    void stop();
    bool active() const { return m_timer.isActive(); }
    // Off hides the panel; the recording goes on being watched.
    void setShown(bool shown);
    bool shown() const { return m_shown; }
    void refresh();
    // The chart is about to redraw: the panel's new rows ride along instead of costing a paint
    // of their own.
    void chartRedrawing();

signals:
    // The panel has new rows and may need placing again.
    void refreshed();

private:
    const plot::ChartModel& m_model;
    std::function<QString()> m_viewState;
    OverlayPanel& m_panel;
    QString m_logName;
    std::function<std::uint64_t()> m_bytesLogged;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    QElapsedTimer m_sinceRefresh;
    bool m_shown = true;
};

}  // namespace darvelon::ui
