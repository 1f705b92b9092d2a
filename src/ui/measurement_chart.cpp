#include "measurement_chart.h"

#include <QChart>
#include <QContextMenuEvent>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "chart_tools.h"
#include "live_status.h"
#include "plot_lines.h"

namespace darvelon::ui {

namespace {

QColor toQColor(decoder::Rgb c) { return QColor(c.r, c.g, c.b); }

constexpr double kWheelZoomStep = 1.25;
constexpr int kTargetTicks = 6;

// 1, 2 or 5 times a power of ten, so the labels stay round numbers at any zoom.
double niceTickInterval(double span, double smallest) {
    const double raw = std::max(span / kTargetTicks, smallest);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw) return m * magnitude;
    return 10 * magnitude;
}

// The interval goes in before the range: the axis builds one item per tick at once, so a
// wide range under a narrow old interval would cost millions of items.
void setRangeWithNiceTicks(QValueAxis* axis, double lo, double hi, double smallest) {
    if (hi > lo) {
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setTickInterval(niceTickInterval(hi - lo, smallest));
    }
    axis->setRange(lo, hi);
}
constexpr int kRubberBandMinPixels = 4;

}  // namespace

// The view takes the chart from the start: a view built without one makes a default chart
// that setChart() would hand back to nobody.
MeasurementChart::MeasurementChart(QWidget* parent) : QChartView(new QChart(), parent) {
    QChart* chart = this->chart();
    chart->legend()->hide();
    chart->setTitle({});
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    chart->setPlotAreaBackgroundVisible(false);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundBrush(palette().window());
    chart->setBackgroundPen(Qt::NoPen);
    setRenderHint(QPainter::Antialiasing, false);
    setFrameShape(QFrame::NoFrame);

    m_axisX = new QValueAxis(chart);
    m_axisX->setLabelFormat("%.0f");
    m_axisY = new QValueAxis(chart);
    m_axisY->setLabelFormat("%.12g");
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    const decoder::Rgb colours[] = {decoder::kRed, decoder::kBlack, decoder::kBlue, decoder::kGreen};
    for (int i = 0; i < decoder::kSeriesCount; ++i) {
        auto* s = new QLineSeries(chart);
        s->setObjectName(QStringLiteral("Series%1").arg(i + 1));
        s->setPointsVisible(false);
        s->setPen(QPen(toQColor(colours[i]), 1));
        chart->addSeries(s);  // in index order, so Series4 is drawn on top
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        m_series[std::size_t(i)] = s;
    }
    m_lines = new PlotLines(m_series, chart);
    // The chart lays itself out after the axes change, and longer labels narrow the plot: the
    // lines move with it at once, and are decimated again for the new width.
    connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        const bool widthChanged = std::lround(area.width()) != std::lround(m_lines->area().width());
        m_lines->setArea(area);
        if (widthChanged) scheduleRefresh();
    });

    m_readout = new QLabel(this);
    m_readout->setObjectName("readout");
    m_readout->setAutoFillBackground(true);
    m_readout->hide();

    m_tools = std::make_unique<ChartTools>(*this);

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(kRefreshIntervalMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &MeasurementChart::refreshNow);
    setMouseTracking(true);
    refreshNow();
}

MeasurementChart::~MeasurementChart() = default;

void MeasurementChart::frame(const decoder::Frame& f) {
    m_model.frame(f);
    // One flag per frame; the timer is touched once per redraw. A view held by a zoom changes
    // only when the frame lands in it (or next to it, where its lines run on to the edge) or
    // raises the left axis.
    if (m_refreshPending) return;
    if (m_userRange && f.sample > m_userRange->second + 2 && m_model.maxY() <= m_drawnMaxY) return;
    scheduleRefresh();
}

void MeasurementChart::startFrames(const decoder::TFrameDecoder& decoder, bool toggle,
                                   std::unique_ptr<plot::ByteSource> bytes) {
    m_model.startFrames(decoder, toggle, std::move(bytes));
    scheduleRefresh();
}

void MeasurementChart::adoptFrames(plot::FrameIndex index, std::unique_ptr<plot::ByteSource> bytes) {
    m_model.adoptFrames(std::move(index), std::move(bytes));
    scheduleRefresh();
}

void MeasurementChart::add(int index, std::int32_t x, double y, decoder::Rgb colour) {
    m_model.add(index, x, y, colour);
    scheduleRefresh();
}

void MeasurementChart::clear(int index) {
    m_model.clear(index);
    scheduleRefresh();
}

void MeasurementChart::scheduleRefresh() {
    m_refreshPending = true;
    if (m_refreshTimer.isActive()) return;
    // Live data waits long enough that drawing it costs at most a small share of a core: a
    // cheap redraw comes every kRefreshIntervalMs, a dear one (many frames each decoded again
    // while the view is too narrow for block extremes) less often.
    const double budgetMs = m_redrawSeconds / kRedrawShareOfCore * 1000;
    m_refreshTimer.start(int(std::clamp(budgetMs, double(kRefreshIntervalMs), double(kSlowestRefreshMs))));
    emit refreshScheduled();
}

void MeasurementChart::refreshNow() {
    const auto started = std::chrono::steady_clock::now();
    struct Cost {
        std::chrono::steady_clock::time_point started;
        double& seconds;
        ~Cost() { seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); }
    } cost{started, m_refreshSeconds};
    m_refreshTimer.stop();
    m_refreshPending = false;
    ++m_refreshCount;
    auto [x0, x1] = m_userRange ? *m_userRange : m_tools->followedRange();
    if (x1 <= x0) x1 = x0 + 1;  // one point, or none: the axis still needs a width
    const double maxY = m_model.maxY();
    m_drawnMaxY = maxY;

    const int columns = std::max(1, int(std::lround(chart()->plotArea().width())));
    setRangeWithNiceTicks(m_axisX, x0, x1, 1);  // sample indices are whole numbers
    m_tools->liveStatus().chartRedrawing();
    const auto [y0, y1] = m_tools->yRange(x0, x1, maxY);
    setRangeWithNiceTicks(m_axisY, y0, y1, 1e-9);
    const auto shapes = m_model.lines(x0, x1, columns, m_linePoints);
    for (int i = 0; i < decoder::kSeriesCount; ++i) {
        PlotLines::Line& line = m_lines->line(i);
        line.shape = shapes[std::size_t(i)];
        line.points.swap(m_linePoints[std::size_t(i)]);
        // Every point brings its own colour; the decoder gives each series one colour, so the
        // pen of the series follows its latest point.
        const QColor colour = toQColor(m_model.colour(i));
        if (m_series[std::size_t(i)]->pen().color() != colour) m_series[std::size_t(i)]->setPen(QPen(colour, 1));
    }
    m_lines->setView(chart()->plotArea(), m_axisX->min(), m_axisX->max(), m_axisY->min(), m_axisY->max());
}

const std::vector<plot::PlotPoint>& MeasurementChart::drawnPoints(int index) const {
    return m_lines->line(index).points;
}

void MeasurementChart::setXRange(double x0, double x1) {
    if (!(x1 > x0)) return;
    m_userRange = {x0, x1};
    // The frame under the mouse is another one now; the next move shows it.
    m_readout->hide();
    refreshNow();
}

void MeasurementChart::zoomAround(double factor, double anchorX) {
    const auto [x0, x1] = m_userRange ? *m_userRange : std::pair{m_axisX->min(), m_axisX->max()};
    // Never narrower than a couple of samples: below that there is nothing more to see.
    const double width = std::max((x1 - x0) * factor, 2.0);
    const double t = (x1 > x0) ? (anchorX - x0) / (x1 - x0) : 0.5;
    setXRange(anchorX - t * width, anchorX + (1 - t) * width);
}

void MeasurementChart::panByPixels(double dx) {
    const double perPixel = (m_axisX->max() - m_axisX->min()) / std::max(1.0, chart()->plotArea().width());
    setXRange(m_axisX->min() - dx * perPixel, m_axisX->max() - dx * perPixel);
}

void MeasurementChart::resetView() {
    m_userRange.reset();
    m_readout->hide();
    refreshNow();
}

double MeasurementChart::valueAtPixel(double px) const {
    const QRectF area = chart()->plotArea();
    return m_axisX->min() + (px - area.left()) / std::max(1.0, area.width()) * (m_axisX->max() - m_axisX->min());
}

QString MeasurementChart::readoutAt(double x) const {
    const auto f = m_model.frameNearest(x);
    if (!f) return {};
    return QStringLiteral("Отсчёт %1   Время %2 с   Обороты %3 об/мин   Угол %4°   Доп. %5")
        .arg(f->sample)
        .arg(*m_model.secondsAt(f->sample), 0, 'f', 4)
        .arg(f->speedRpm, 0, 'f', 0)
        .arg(f->angle.degrees, 0, 'g', 10)
        .arg(int(f->aux));
}

QString MeasurementChart::readoutText() const { return m_readout->isVisible() ? m_readout->text() : QString(); }

QPixmap MeasurementChart::snapshot() {
    const bool shown = m_readout->isVisible();
    m_readout->hide();
    const QPixmap image = grab();
    m_readout->setVisible(shown);
    return image;
}

void MeasurementChart::paintEvent(QPaintEvent* event) {
    const auto started = std::chrono::steady_clock::now();
    QChartView::paintEvent(event);
    m_redrawSeconds =
        m_refreshSeconds + std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void MeasurementChart::updateMargins() {
    // Margins in per cent of the chart's size: left 1, right 1, top 0, bottom 6.
    const QSize s = size();
    chart()->setMargins(QMargins(int(std::lround(s.width() * 0.01)), 0, int(std::lround(s.width() * 0.01)),
                                 int(std::lround(s.height() * 0.06))));
}

void MeasurementChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    updateMargins();
    refreshNow();
}

void MeasurementChart::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    zoomAround(std::pow(kWheelZoomStep, -notches), valueAtPixel(event->position().x()));
    event->accept();
}

void MeasurementChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QChartView::mousePressEvent(event);
    m_dragStart = event->position();
    m_rubberBanding = event->modifiers() & Qt::ShiftModifier;
    if (m_rubberBanding) {
        if (!m_rubberBand) m_rubberBand = new QRubberBand(QRubberBand::Rectangle, this);
        m_rubberBand->setGeometry(QRect(m_dragStart->toPoint(), QSize(1, height())));
        m_rubberBand->show();
    }
    event->accept();
}

void MeasurementChart::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    if (m_dragStart && m_rubberBanding) {
        const QRectF area = chart()->plotArea();
        m_rubberBand->setGeometry(QRectF(QPointF(std::min(pos.x(), m_dragStart->x()), area.top()),
                                         QPointF(std::max(pos.x(), m_dragStart->x()), area.bottom()))
                                      .toRect());
    } else if (m_dragStart) {
        panByPixels(pos.x() - m_dragStart->x());
        m_dragStart = pos;
    }
    const QString text = chart()->plotArea().contains(pos) ? readoutAt(valueAtPixel(pos.x())) : QString();
    m_readout->setText(text);
    m_readout->adjustSize();
    m_readout->move(int(chart()->plotArea().right()) - m_readout->width() - 4, int(chart()->plotArea().top()) + 4);
    m_readout->setVisible(!text.isEmpty());
    event->accept();
}

void MeasurementChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragStart) return QChartView::mouseReleaseEvent(event);
    if (m_rubberBanding) {
        m_rubberBand->hide();
        const double a = event->position().x();
        const double b = m_dragStart->x();
        if (std::abs(a - b) >= kRubberBandMinPixels)
            setXRange(valueAtPixel(std::min(a, b)), valueAtPixel(std::max(a, b)));
    }
    m_dragStart.reset();
    m_rubberBanding = false;
    event->accept();
}

void MeasurementChart::mouseDoubleClickEvent(QMouseEvent* event) {
    resetView();
    event->accept();
}

void MeasurementChart::leaveEvent(QEvent* event) {
    m_readout->hide();
    QChartView::leaveEvent(event);
}

void MeasurementChart::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Сохранить график в PNG..."), this, &MeasurementChart::savePngRequested);
    menu.addAction(QStringLiteral("Экспорт кадров в CSV..."), this, &MeasurementChart::exportCsvRequested);
    m_tools->addExportActions(menu);
    menu.addAction(QStringLiteral("Кривая угла от оборотов..."), this, &MeasurementChart::curveRequested);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Сбросить масштаб"), this, &MeasurementChart::resetView);
    m_tools->addMenuActions(menu, event->pos());
    menu.exec(event->globalPos());
}

}  // namespace darvelon::ui
