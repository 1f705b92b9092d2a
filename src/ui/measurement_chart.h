#pragma once
// The chart the decoder hands its frames to. The data live in a ChartModel; the chart widget
// only ever holds what the visible x range needs (a min/max envelope per pixel column, or the
// raw points once few are visible), drawn by one light item over the plot area. Redraws are
// coalesced behind a short timer, so live data at any rate costs at most ~30 redraws a second.
#include <QChartView>
#include <QPixmap>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "decoder/frame.h"
#include "decoder/frame_decoder.h"
#include "decoder/plot_target.h"
#include "plot/chart_model.h"
#include "plot/decimate.h"

class QLineSeries;
class QValueAxis;
class QLabel;
class QRubberBand;

namespace darvelon::ui {

class ChartTools;
class PlotLines;

class MeasurementChart : public QChartView, public decoder::FrameSink {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 100;
    static constexpr int kSlowestRefreshMs = 1000;
    static constexpr double kRedrawShareOfCore = 0.003;

    explicit MeasurementChart(QWidget* parent = nullptr);
    ~MeasurementChart() override;

    void frame(const decoder::Frame& f) override;
    // One point on its own, for data that did not come from the decoder.
    void add(int index, std::int32_t x, double y, decoder::Rgb colour);
    void clear(int index);
    // See plot::ChartModel: the frames that follow decode from `bytes`, or come built.
    void startFrames(const decoder::TFrameDecoder& decoder, bool toggle, std::unique_ptr<plot::ByteSource> bytes);
    void adoptFrames(plot::FrameIndex index, std::unique_ptr<plot::ByteSource> bytes);
    // Redraws at once instead of at the next tick (after a replay, or in tests).
    void refreshNow();
    // How many times the series were handed over: shows the coalescing at work.
    std::uint64_t refreshCount() const { return m_refreshCount; }

    const plot::ChartModel& model() const { return m_model; }
    // Cursors, time axis, scales, legend and live status: see chart_tools.h.
    ChartTools& tools() const { return *m_tools; }
    // The series give the lines their names and pens; the points drawn are these.
    QLineSeries* series(int index) const { return m_series[std::size_t(index)]; }
    const std::vector<plot::PlotPoint>& drawnPoints(int index) const;
    QValueAxis* axisX() const { return m_axisX; }
    QValueAxis* axisY() const { return m_axisY; }

    // The view: following the data (the whole log, growing with live data) or a range the
    // user chose by zooming or panning.
    bool following() const { return !m_userRange; }
    void setXRange(double x0, double x1);
    void zoomAround(double factor, double anchorX);  // factor < 1 zooms in
    void panByPixels(double dx);
    void resetView();

    // "sample, speed, angle, aux" of the frame nearest to x; empty when there is none.
    QString readoutAt(double x) const;
    QString readoutText() const;
    // The chart as it stands, without the readout, which belongs to the mouse, not the data.
    QPixmap snapshot();

signals:
    // New data waits for the next redraw; at most once per redraw, however fast data comes.
    void refreshScheduled();
    void savePngRequested();
    void exportCsvRequested();
    void curveRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void scheduleRefresh();
    void updateMargins();
    double valueAtPixel(double px) const;

    plot::ChartModel m_model;
    std::array<QLineSeries*, decoder::kSeriesCount> m_series{};
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    PlotLines* m_lines;  // owned by the chart
    QLabel* m_readout;
    QRubberBand* m_rubberBand = nullptr;
    QTimer m_refreshTimer;
    std::optional<std::pair<double, double>> m_userRange;
    std::optional<QPointF> m_dragStart;
    bool m_rubberBanding = false;
    std::uint64_t m_refreshCount = 0;
    bool m_refreshPending = false;
    double m_drawnMaxY = 0;
    double m_refreshSeconds = 0;          // the last refresh's own work
    double m_redrawSeconds = 0;           // and with the paint that followed it
    plot::SeriesPoints m_linePoints;      // reused between redraws
    std::unique_ptr<ChartTools> m_tools;  // gone before the scene it draws in
};

}  // namespace darvelon::ui
