#include "live_status.h"

#include "overlay_panel.h"

namespace darvelon::ui {

namespace {

QString clock(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'));
}

}  // namespace

LiveStatus::LiveStatus(const plot::ChartModel& model, std::function<QString()> viewState, OverlayPanel& panel)
    : m_model(model), m_viewState(std::move(viewState)), m_panel(panel) {
    m_timer.setInterval(kStillChartMs);
    connect(&m_timer, &QTimer::timeout, this, &LiveStatus::refresh);
}

void LiveStatus::start(const QString& logName, std::function<std::uint64_t()> bytesLogged) {
    m_logName = logName;
    m_bytesLogged = std::move(bytesLogged);
    m_elapsed.start();
    m_timer.start();
    refresh();
}

void LiveStatus::stop() {
    m_timer.stop();
    m_bytesLogged = nullptr;
    refresh();
}

void LiveStatus::setShown(bool shown) {
    m_shown = shown;
    refresh();
}

void LiveStatus::chartRedrawing() {
    if (!active() || (m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < kRefreshIntervalMs)) return;
    refresh();
    m_timer.start();  // the clock waits for a still chart again
}

void LiveStatus::refresh() {
    m_sinceRefresh.start();
    std::vector<OverlayPanel::Row> rows;
    if (active() && m_shown) {
        const auto latest = m_model.frameNearest(m_model.dataXRange().second);
        const QString values = latest ? QStringLiteral("%1 об/мин   %2°   Доп. %3")
                                            .arg(latest->speedRpm, 0, 'f', 0)
                                            .arg(latest->angle.degrees, 0, 'f', 2)
                                            .arg(int(latest->aux))
                                      : QStringLiteral("—");
        rows = {{{QStringLiteral("Запись"), m_logName}, {}},
                {{QStringLiteral("Записано байт"), QString::number(m_bytesLogged())}, {}},
                {{QStringLiteral("Кадров"), QString::number(m_model.frames())}, {}},
                {{QStringLiteral("Время записи"), clock(m_elapsed.elapsed())}, {}},
                {{QStringLiteral("Последний кадр"), values}, {}},
                {{m_viewState()}, {}}};
    }
    m_panel.setRows(std::move(rows));
    emit refreshed();
}

}  // namespace darvelon::ui
