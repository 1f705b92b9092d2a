#include "chart_tools.h"

#include <QActionGroup>
#include <QChart>
#include <QKeyEvent>
#include <QLineSeries>
#include <QMenu>
#include <QValueAxis>
#include <cmath>

#include "chart_legend.h"
#include "live_status.h"
#include "measure/recent_range.h"
#include "measurement_chart.h"
#include "overlay_panel.h"
#include "time_axis_labels.h"

namespace darvelon::ui {

namespace {

constexpr double kPanelInset = 6;
// Room above and below the points when the left axis is fitted to them.
constexpr double kFitMargin = 0.03;
constexpr std::array<double, 3> kFollowChoices{10, 60, 300};

// The keys A and B, and the keys in their place on a Russian layout (Ф and И).
std::optional<ChartCursors::Cursor> cursorKey(int key) {
    if (key == Qt::Key_A || key == 0x424) return ChartCursors::Cursor::A;
    if (key == Qt::Key_B || key == 0x418) return ChartCursors::Cursor::B;
    return std::nullopt;
}

}  // namespace

ChartTools::ChartTools(MeasurementChart& chart) : m_chart(chart) {
    QChart& qchart = *chart.chart();
    m_cursors = new ChartCursors(chart.model(), &qchart);
    m_timeLabels = new TimeAxisLabels(chart.model(), *chart.axisX(), qchart);
    m_legend = new OverlayPanel(chart.font(), &qchart);
    m_cursorPanel = new OverlayPanel(chart.font(), &qchart);
    m_statusPanel = new OverlayPanel(chart.font(), &qchart);
    m_liveStatus = std::make_unique<LiveStatus>(
        chart.model(), [this] { return viewState(); }, *m_statusPanel);
    connect(m_liveStatus.get(), &LiveStatus::refreshed, this, &ChartTools::placePanels);
    connect(chart.axisX(), &QValueAxis::rangeChanged, this, &ChartTools::viewChanged);
    connect(chart.axisX(), &QValueAxis::tickIntervalChanged, this, &ChartTools::viewChanged);
    connect(&qchart, &QChart::plotAreaChanged, this, &ChartTools::viewChanged);
    chart.installEventFilter(this);
    chart.viewport()->installEventFilter(this);
}

ChartTools::~ChartTools() {
    m_chart.viewport()->removeEventFilter(this);
    m_chart.removeEventFilter(this);
}

std::pair<double, double> ChartTools::followedRange() const {
    return m_followSeconds ? measure::recentRange(m_chart.model(), *m_followSeconds) : m_chart.model().dataXRange();
}

std::pair<double, double> ChartTools::yRange(double x0, double x1, double maxY) {
    if (!m_fitY) return {0, maxY};
    measure::SeriesExtents::SeriesMask shown{};
    for (int i = 0; i < decoder::kSeriesCount; ++i) shown[std::size_t(i)] = lineShown(i);
    m_extents.update(m_chart.model());
    const auto range = m_extents.range(m_chart.model(), x0, x1, shown);
    if (!range) return {0, maxY};
    const auto [lo, hi] = *range;
    const double margin = hi > lo ? (hi - lo) * kFitMargin : std::max(1.0, std::abs(hi) * kFitMargin);
    return {lo - margin, hi + margin};
}

void ChartTools::addExportActions(QMenu& menu) {
    menu.addAction(QStringLiteral("Экспорт видимого участка в CSV..."), this, &ChartTools::exportVisibleCsvRequested);
}

void ChartTools::addMenuActions(QMenu& menu, QPointF at) {
    const bool onFrame = m_chart.chart()->plotArea().contains(at) && m_chart.model().frameNearest(valueAtPixel(at.x()));
    menu.addSeparator();
    const std::pair<ChartCursors::Cursor, QString> cursors[] = {
        {ChartCursors::Cursor::A, QStringLiteral("Поставить курсор A (клавиша A)")},
        {ChartCursors::Cursor::B, QStringLiteral("Поставить курсор B (клавиша B)")}};
    for (const auto& [which, text] : cursors) {
        QAction* place = menu.addAction(text, this, [this, which = which, at] { placeCursor(which, at); });
        place->setEnabled(onFrame);
    }
    QAction* clear = menu.addAction(QStringLiteral("Убрать курсоры"), this, [this] {
        m_cursors->clear();
        placePanels();
    });
    clear->setEnabled(!m_cursors->empty());
    menu.addSeparator();

    const auto toggle = [this](QMenu& into, const QString& text, bool on, auto set) {
        QAction* action = into.addAction(text);
        action->setCheckable(true);
        action->setChecked(on);
        connect(action, &QAction::toggled, this, set);
    };
    toggle(menu, QStringLiteral("Ось X в секундах"), secondsAxis(), [this](bool on) { setSecondsAxis(on); });
    toggle(menu, QStringLiteral("Ось Y по видимым точкам"), m_fitY, [this](bool on) { setFitY(on); });
    toggle(menu, QStringLiteral("Легенда"), m_legendShown, [this](bool on) { setLegendShown(on); });
    QMenu* lines = menu.addMenu(QStringLiteral("Линии"));
    const std::pair<int, QString> names[] = {{decoder::kSpeedOddSeries, QStringLiteral("Обороты (красная)")},
                                             {decoder::kSpeedEvenSeries, QStringLiteral("Обороты (синяя)")},
                                             {decoder::kAngleSeries, QStringLiteral("Угол x100 (чёрная)")},
                                             {decoder::kAuxSeries, QStringLiteral("Доп. x10 (зелёная)")}};
    for (const auto& [series, text] : names)
        toggle(*lines, text, lineShown(series), [this, series = series](bool on) { setLineShown(series, on); });

    QMenu* follow = menu.addMenu(QStringLiteral("Следить за последними N с"));
    auto* choices = new QActionGroup(follow);
    const auto choice = [&](const QString& text, std::optional<double> seconds) {
        QAction* action = follow->addAction(text);
        action->setCheckable(true);
        action->setChecked(m_followSeconds == seconds);
        choices->addAction(action);
        connect(action, &QAction::triggered, this, [this, seconds] { setFollowSeconds(seconds); });
    };
    for (const double seconds : kFollowChoices) choice(QStringLiteral("%1 с").arg(seconds), seconds);
    choice(QStringLiteral("Выкл. (вся запись)"), std::nullopt);
    toggle(menu, QStringLiteral("Состояние записи"), m_liveStatus->shown(),
           [this](bool on) { m_liveStatus->setShown(on); });
}

void ChartTools::dataCleared() {
    m_cursors->clear();
    m_extents.reset();
    viewChanged();
}

bool ChartTools::placeCursor(ChartCursors::Cursor which, QPointF at) {
    if (!m_chart.chart()->plotArea().contains(at) || !m_cursors->place(which, valueAtPixel(at.x()))) return false;
    placePanels();
    return true;
}

void ChartTools::setSecondsAxis(bool on) { m_timeLabels->setShown(on); }

bool ChartTools::secondsAxis() const { return m_timeLabels->shown(); }

void ChartTools::setFitY(bool on) {
    m_fitY = on;
    m_chart.refreshNow();
}

void ChartTools::setLineShown(int series, bool shown) {
    m_chart.series(series)->setVisible(shown);
    m_chart.refreshNow();
    placePanels();
}

bool ChartTools::lineShown(int series) const { return m_chart.series(series)->isVisible(); }

void ChartTools::setLegendShown(bool shown) {
    m_legendShown = shown;
    placePanels();
}

void ChartTools::setFollowSeconds(std::optional<double> seconds) {
    m_followSeconds = seconds;
    m_chart.refreshNow();
    m_liveStatus->refresh();
}

bool ChartTools::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_chart.viewport()) {
        if (event->type() == QEvent::MouseMove) m_mouse = static_cast<QMouseEvent*>(event)->position();
        else if (event->type() == QEvent::Leave) m_mouse.reset();
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto which = cursorKey(key->key());
        if (which && key->modifiers() == Qt::NoModifier && m_mouse) {
            placeCursor(*which, *m_mouse);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ChartTools::viewChanged() {
    const QValueAxis* axis = m_chart.axisX();
    m_cursors->setView(m_chart.chart()->plotArea(), axis->min(), axis->max());
    m_timeLabels->viewChanged();
    placePanels();
}

void ChartTools::placePanels() {
    m_legend->setRows(m_legendShown ? legendRows(m_chart) : std::vector<OverlayPanel::Row>{});
    m_cursorPanel->setRows(m_cursors->panelRows());
    const QRectF area = m_chart.chart()->plotArea();
    QPointF corner = area.topLeft() + QPointF(kPanelInset, kPanelInset);
    for (OverlayPanel* panel : {m_legend, m_cursorPanel}) {
        panel->setPos(corner);
        if (panel->isVisible()) corner.ry() += panel->size().height() + kPanelInset;
    }
    m_statusPanel->setPos(area.left() + kPanelInset, area.bottom() - kPanelInset - m_statusPanel->size().height());
}

QString ChartTools::viewState() const {
    if (!m_chart.following()) return QStringLiteral("Вид: масштаб задан вручную (двойной щелчок — следить)");
    if (m_followSeconds) return QStringLiteral("Вид: следит за последними %1 с").arg(*m_followSeconds);
    return QStringLiteral("Вид: следит за всей записью");
}

double ChartTools::valueAtPixel(double px) const {
    const QRectF area = m_chart.chart()->plotArea();
    const QValueAxis* axis = m_chart.axisX();
    return axis->min() + (px - area.left()) / std::max(1.0, area.width()) * (axis->max() - axis->min());
}

}  // namespace darvelon::ui
