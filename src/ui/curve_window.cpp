#include "curve_window.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QValueAxis>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "analysis/curve_csv.h"
#include "curve_density.h"
#include "message_boxes.h"
#include "polyline_clip.h"

namespace darvelon::ui {

namespace {

constexpr int kMaxBinRpm = 10000;

// The table and the marks in one pass over the frames.
class CurveSink : public decoder::FrameSink {
public:
    CurveSink(analysis::CurveTable& table, std::vector<CurveMark>& marks) : m_table(table), m_marks(marks) {}
    void frame(const decoder::Frame& f) override {
        m_table.frame(f);
        m_marks.push_back({float(f.speedRpm), float(f.angle.degrees)});
        lastSample = f.sample;
    }
    std::optional<std::int32_t> lastSample;

private:
    analysis::CurveTable& m_table;
    std::vector<CurveMark>& m_marks;
};

// A little room around the data, so the band's edges and the outermost marks stay inside.
std::pair<double, double> padded(double lo, double hi) {
    const double pad = hi > lo ? (hi - lo) * 0.03 : 1;
    return {lo - pad, hi + pad};
}

}  // namespace

CurveWindow::CurveWindow(FrameSource source, FileDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_source(std::move(source)), m_dialogs(dialogs) {
    setObjectName("frmCurve");
    setWindowTitle(QStringLiteral("Кривая угла от оборотов"));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(760, 520);

    auto* binLabel = new QLabel(QStringLiteral("Интервал оборотов:"), this);
    spnBin = new QSpinBox(this);
    spnBin->setObjectName("spnBin");
    spnBin->setRange(1, kMaxBinRpm);
    spnBin->setValue(int(analysis::kDefaultBinRpm));
    spnBin->setSuffix(QStringLiteral(" об/мин"));
    binLabel->setBuddy(spnBin);
    cmbScope = new QComboBox(this);
    cmbScope->setObjectName("cmbScope");
    cmbScope->addItem(QStringLiteral("Весь лог"));
    cmbScope->addItem(QStringLiteral("Видимый диапазон"));
    btnExport = new QPushButton(QStringLiteral("Экспорт таблицы в CSV..."), this);
    btnExport->setObjectName("btnExport");
    lblSummary = new QLabel(this);
    lblSummary->setObjectName("lblSummary");

    auto* chart = new QChart();
    chartView = new QChartView(chart, this);
    chartView->setObjectName("chartView");
    chartView->setRenderHint(QPainter::Antialiasing, true);
    chart->setBackgroundRoundness(0);
    chart->setBackgroundBrush(palette().window());
    chart->setBackgroundPen(Qt::NoPen);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->legend()->setAlignment(Qt::AlignTop);

    m_axisX = new QValueAxis(chart);
    m_axisX->setTitleText(QStringLiteral("Обороты, об/мин"));
    m_axisX->setLabelFormat("%.0f");
    m_axisY = new QValueAxis(chart);
    m_axisY->setTitleText(QStringLiteral("Угол, °"));
    m_axisY->setLabelFormat("%.4g");
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);

    m_band = new QAreaSeries(chart);
    m_band->setName(QStringLiteral("Угол: от наименьшего до наибольшего"));
    m_band->setUpperSeries(new QLineSeries(m_band));
    m_band->setLowerSeries(new QLineSeries(m_band));
    m_band->setBrush(QColor(240, 150, 40, 35));
    m_band->setPen(QPen(QColor(220, 120, 20, 160), 1));
    m_mean = new QLineSeries(chart);
    m_mean->setName(QStringLiteral("Средний угол"));
    m_mean->setPen(QPen(QColor(170, 20, 20), 2));
    // A lone bin still shows as a point.
    m_mean->setPointsVisible(true);
    m_mean->setMarkerSize(3);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(m_band), static_cast<QAbstractSeries*>(m_mean)}) {
        chart->addSeries(s);
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    m_density = new CurveDensity(chart);
    connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) { m_density->setArea(area); });

    auto* controls = new QHBoxLayout;
    controls->addWidget(binLabel);
    controls->addWidget(spnBin);
    controls->addSpacing(12);
    controls->addWidget(cmbScope);
    controls->addSpacing(12);
    controls->addWidget(lblSummary, 1);
    controls->addWidget(btnExport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(chartView, 1);

    m_rebuildTimer.setSingleShot(true);
    m_rebuildTimer.setInterval(kRebuildIntervalMs);
    connect(&m_rebuildTimer, &QTimer::timeout, this, [this] {
        if (m_onlyNewFrames) takeNewFrames();
        else rebuildNow();
    });
    connect(spnBin, &QSpinBox::valueChanged, this, &CurveWindow::rebuildNow);
    connect(cmbScope, &QComboBox::currentIndexChanged, this, &CurveWindow::rebuildNow);
    connect(btnExport, &QPushButton::clicked, this, [this] { runHandler(this, [this] { exportCsv(); }); });
}

void CurveWindow::framesChanged() {
    if (!m_stale) m_onlyNewFrames = cmbScope->currentIndex() == kWholeLog && m_table.has_value();
    m_stale = true;
    scheduleRebuild();
}

void CurveWindow::viewChanged() {
    if (cmbScope->currentIndex() != kVisibleRange) return;
    m_stale = true;
    m_onlyNewFrames = false;
    scheduleRebuild();
}

void CurveWindow::takeNewFrames() {
    m_rebuildTimer.stop();
    m_onlyNewFrames = false;
    CurveSink sink(*m_table, m_density->marks());
    const std::uint64_t generation = m_source(sink, false, m_nextSample);
    // The chart started over meanwhile (a new replay or recording): whatever came is from it.
    if (generation != m_generation) return rebuildNow();
    m_stale = false;
    ++m_rebuildCount;
    if (sink.lastSample) m_nextSample = double(*sink.lastSample) + 1;
    m_bins = m_table->bins();
    m_frames = m_table->frames();
    showTable();
}

void CurveWindow::scheduleRebuild() {
    // A hidden window reads the frames again when it is shown.
    if (!isVisible() || m_rebuildTimer.isActive()) return;
    m_rebuildTimer.start();
}

void CurveWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_stale) rebuildNow();
}

void CurveWindow::rebuildNow() {
    m_rebuildTimer.stop();
    m_stale = false;
    m_onlyNewFrames = false;
    ++m_rebuildCount;
    m_table.emplace(spnBin->value());
    std::vector<CurveMark>& marks = m_density->marks();
    marks.clear();
    CurveSink sink(*m_table, marks);
    m_generation = m_source(sink, cmbScope->currentIndex() == kVisibleRange, -std::numeric_limits<double>::infinity());
    m_nextSample = sink.lastSample ? double(*sink.lastSample) + 1 : -std::numeric_limits<double>::infinity();
    m_bins = m_table->bins();
    m_frames = m_table->frames();
    showTable();
}

void CurveWindow::showTable() {
    // The table keeps every frame; the view is set by the bulk of them, so a stray frame far
    // off leaves the band running out of the plot instead of flattening the curve.
    if (const auto bulk = bulkOf(m_density->marks())) {
        const auto [x0, x1] = padded(bulk->rpmLow, bulk->rpmHigh);
        const auto [y0, y1] = padded(bulk->degreesLow, bulk->degreesHigh);
        m_axisX->setRange(std::max(0.0, x0), x1);
        m_axisY->setRange(y0, y1);
    } else {
        m_axisX->setRange(0, 1000);
        m_axisY->setRange(0, 90);
    }
    // Round labels; the range only ever grows for them.
    m_axisX->applyNiceNumbers();
    m_axisY->applyNiceNumbers();

    QList<QPointF> mean;
    QList<QPointF> upper;
    QList<QPointF> lower;
    mean.reserve(qsizetype(m_bins.size()));
    upper.reserve(qsizetype(m_bins.size()));
    lower.reserve(qsizetype(m_bins.size()));
    for (const analysis::CurveBin& b : m_bins) {
        const double middle = (b.fromRpm + b.toRpm) / 2;
        mean.append({middle, b.meanDeg});
        upper.append({middle, b.maxDeg});
        lower.append({middle, b.minDeg});
    }
    // A plot height beyond each edge: whatever lies further is never seen.
    const double span = m_axisY->max() - m_axisY->min();
    const double low = m_axisY->min() - span;
    const double high = m_axisY->max() + span;
    m_mean->replace(keepWithin(mean, low, high));
    m_band->upperSeries()->replace(keepWithin(upper, low, high));
    m_band->lowerSeries()->replace(keepWithin(lower, low, high));
    m_density->setView(chartView->chart()->plotArea(), m_axisX->min(), m_axisX->max(), m_axisY->min(), m_axisY->max());
    lblSummary->setText(QStringLiteral("Кадров: %1   Интервалов: %2").arg(m_frames).arg(m_bins.size()));
}

void CurveWindow::exportCsv() {
    // The file holds every frame there is at the moment of the click, not those of the last tick.
    if (m_stale) rebuildNow();
    if (m_bins.empty()) {
        showNotice(this, QStringLiteral("Нет данных для экспорта"));
        return;
    }
    const QString name = m_dialogs.ask(FileDialogKind::Save, this, QStringLiteral("Таблица CSV *.csv|*.csv|"),
                                       m_lastCsvName, QStringLiteral("csv"));
    if (name.isEmpty()) return;
    m_lastCsvName = name;
    const std::filesystem::path path(name.toStdU16String());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file \"" + name.toStdString() + "\"");
    analysis::writeCurveCsv(m_bins, out);
    out.flush();
    if (!out) throw std::runtime_error("Cannot write file \"" + name.toStdString() + "\"");
}

}  // namespace darvelon::ui
