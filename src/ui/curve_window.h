#pragma once
// A second window: the angle against engine speed. Every frame is a light mark (one density
// image, whatever the number of frames), every speed bin its mean angle as a line and its
// lowest..highest angle as a band. The frames come from a source the owner hands in; changes
// are picked up on a clock, never frame by frame. Nothing is kept between runs.
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/curve_table.h"
#include "decoder/frame.h"
#include "file_dialogs.h"

class QAreaSeries;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QValueAxis;

namespace darvelon::ui {

class CurveDensity;

class CurveWindow : public QWidget {
    Q_OBJECT
public:
    // Hands `sink` every frame of the whole log from sample `fromSample` on, or only those of the
    // chart's visible range; returns the chart's generation of frames (see ChartModel), so a
    // curve taken up frame by frame knows when the frames started over.
    using FrameSource = std::function<std::uint64_t(decoder::FrameSink& sink, bool visibleOnly, double fromSample)>;
    // Live data rebuilds the curve at most twice a second.
    static constexpr int kRebuildIntervalMs = 500;
    enum Scope { kWholeLog = 0, kVisibleRange = 1 };

    // `dialogs` must outlive the window's use of it (the owner's, for a child window).
    CurveWindow(FrameSource source, FileDialogs& dialogs, QWidget* parent = nullptr);

    QSpinBox* spnBin;
    QComboBox* cmbScope;
    QPushButton* btnExport;
    QLabel* lblSummary;
    QChartView* chartView;

    // The table as shown.
    const std::vector<analysis::CurveBin>& bins() const { return m_bins; }
    std::uint64_t rebuildCount() const { return m_rebuildCount; }
    QLineSeries* meanLine() const { return m_mean; }
    QAreaSeries* band() const { return m_band; }
    CurveDensity* density() const { return m_density; }
    QValueAxis* axisX() const { return m_axisX; }
    QValueAxis* axisY() const { return m_axisY; }

    // Reads the source again at once (a control changed, or in tests).
    void rebuildNow();

public slots:
    // New frames arrived, or the log was cleared.
    void framesChanged();
    // The chart's visible range moved; only the visible scope cares.
    void viewChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scheduleRebuild();
    // Live frames of the whole log: only those the curve has not taken yet.
    void takeNewFrames();
    void showTable();
    void exportCsv();

    FrameSource m_source;
    FileDialogs& m_dialogs;
    QLineSeries* m_mean;
    QAreaSeries* m_band;
    QValueAxis* m_axisX;
    QValueAxis* m_axisY;
    CurveDensity* m_density;  // owned by the chart
    QTimer m_rebuildTimer;
    bool m_stale = true;
    bool m_onlyNewFrames = false;  // the next rebuild may take up just the new frames
    std::optional<analysis::CurveTable> m_table;
    std::uint64_t m_generation = 0;
    double m_nextSample = 0;
    std::vector<analysis::CurveBin> m_bins;
    std::uint64_t m_frames = 0;
    std::uint64_t m_rebuildCount = 0;
    QString m_lastCsvName;
};

}  // namespace darvelon::ui
