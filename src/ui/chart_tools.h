#pragma once
// The chart's measuring tools: time on the bottom axis, cursors A and B, the left axis fitted to
// what is shown, lines shown or hidden, the legend, the live status and a view that follows only
// the last seconds. Reached from the chart's context menu and the keys A and B; everything is
// off, and the chart looks as it always did, until switched on, and nothing outlives the window.
// The chart owns this and calls its hooks; it reads data only through the chart's model.
#include <QObject>
#include <QPointF>
#include <memory>
#include <optional>
#include <utility>

#include "chart_cursors.h"
#include "measure/series_extents.h"

class QMenu;

namespace darvelon::ui {

class LiveStatus;
class MeasurementChart;
class OverlayPanel;
class TimeAxisLabels;

class ChartTools : public QObject {
    Q_OBJECT
public:
    explicit ChartTools(MeasurementChart& chart);
    ~ChartTools() override;

    // Hooks of the chart: the x range it shows while following the data, the y range of the
    // left axis for the x range shown, and the context menu's entries.
    std::pair<double, double> followedRange() const;
    std::pair<double, double> yRange(double x0, double x1, double maxY);
    void addExportActions(QMenu& menu);
    void addMenuActions(QMenu& menu, QPointF at);
    // Hook of the window: the chart was emptied for a new replay or recording.
    void dataCleared();

    // Cursor `which` onto the frame under a point of the view; false when there is none.
    bool placeCursor(ChartCursors::Cursor which, QPointF at);
    const ChartCursors& cursors() const { return *m_cursors; }
    const OverlayPanel& cursorPanel() const { return *m_cursorPanel; }

    void setSecondsAxis(bool on);
    bool secondsAxis() const;
    const TimeAxisLabels& timeLabels() const { return *m_timeLabels; }
    void setFitY(bool on);
    bool fitY() const { return m_fitY; }
    void setLineShown(int series, bool shown);
    bool lineShown(int series) const;
    void setLegendShown(bool shown);
    const OverlayPanel& legend() const { return *m_legend; }
    // While following, only the last `seconds` of the data; empty: all of it.
    void setFollowSeconds(std::optional<double> seconds);
    std::optional<double> followSeconds() const { return m_followSeconds; }

    LiveStatus& liveStatus() { return *m_liveStatus; }
    const OverlayPanel& liveStatusPanel() const { return *m_statusPanel; }

signals:
    void exportVisibleCsvRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewChanged();
    void placePanels();
    QString viewState() const;
    double valueAtPixel(double px) const;

    MeasurementChart& m_chart;
    // Items owned by the chart's graphics scene.
    ChartCursors* m_cursors;
    TimeAxisLabels* m_timeLabels;
    OverlayPanel* m_legend;
    OverlayPanel* m_cursorPanel;
    OverlayPanel* m_statusPanel;
    std::unique_ptr<LiveStatus> m_liveStatus;
    measure::SeriesExtents m_extents;
    bool m_fitY = false;
    bool m_legendShown = false;
    std::optional<double> m_followSeconds;
    std::optional<QPointF> m_mouse;  // in the view, while over it
};

}  // namespace darvelon::ui
