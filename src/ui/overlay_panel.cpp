#include "overlay_panel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace darvelon::ui {

namespace {

constexpr double kPadding = 4;
constexpr double kColumnGap = 10;
constexpr double kSwatchWidth = 16;

}  // namespace

OverlayPanel::OverlayPanel(const QFont& font, QGraphicsItem* parent) : QGraphicsItem(parent), m_font(font) {
    // Above the lines, which the chart draws at 10.
    setZValue(20);
    hide();
}

void OverlayPanel::setRows(std::vector<Row> rows) {
    if (rows == m_rows) return;
    prepareGeometryChange();
    m_rows = std::move(rows);
    const QFontMetricsF metrics(m_font);
    const bool swatches = std::any_of(m_rows.begin(), m_rows.end(), [](const Row& r) { return r.swatch.isValid(); });
    m_columnWidth.clear();
    double lineWidth = 0;
    for (const Row& row : m_rows) {
        if (row.cells.size() == 1) lineWidth = std::max(lineWidth, metrics.horizontalAdvance(row.cells[0]));
        if (row.cells.size() < 2) continue;
        m_columnWidth.resize(std::max(m_columnWidth.size(), std::size_t(row.cells.size())));
        for (qsizetype c = 0; c < row.cells.size(); ++c) {
            double& width = m_columnWidth[std::size_t(c)];
            width = std::max(width, metrics.horizontalAdvance(row.cells[c]));
        }
    }
    m_columnLeft.clear();
    m_textLeft = kPadding + (swatches ? kSwatchWidth + kPadding : 0);
    double x = m_textLeft;
    for (const double w : m_columnWidth) {
        m_columnLeft.push_back(x);
        x += w + kColumnGap;
    }
    const double tableWidth = m_columnWidth.empty() ? 0 : x - kColumnGap - m_textLeft;
    m_rowHeight = metrics.height();
    m_size = m_rows.empty() ? QSizeF()
                            : QSizeF(m_textLeft + std::max(tableWidth, lineWidth) + kPadding,
                                     m_rowHeight * double(m_rows.size()) + 2 * kPadding);
    setVisible(!m_rows.empty());
    update();
}

QString OverlayPanel::text() const {
    QStringList lines;
    for (const Row& row : m_rows) lines << row.cells.join('\t');
    return lines.join('\n');
}

QRectF OverlayPanel::boundingRect() const { return QRectF(QPointF(0, 0), m_size).adjusted(-1, -1, 1, 1); }

void OverlayPanel::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (m_rows.empty()) return;
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QColor(160, 160, 160));
    painter->setBrush(QColor(255, 255, 255, 235));
    painter->drawRect(QRectF(QPointF(0, 0), m_size));
    painter->setFont(m_font);
    const QFontMetricsF metrics(m_font);
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const Row& row = m_rows[r];
        const double top = kPadding + m_rowHeight * double(r);
        if (row.swatch.isValid())
            painter->fillRect(QRectF(kPadding, top + m_rowHeight / 2 - 1, kSwatchWidth, 3), row.swatch);
        painter->setPen(Qt::black);
        const double baseline = top + metrics.ascent();
        if (row.cells.size() == 1) {
            painter->drawText(QPointF(m_textLeft, baseline), row.cells[0]);
            continue;
        }
        for (qsizetype c = 0; c < row.cells.size(); ++c) {
            const auto i = std::size_t(c);
            const double shift = c == 0 ? 0 : m_columnWidth[i] - metrics.horizontalAdvance(row.cells[c]);
            painter->drawText(QPointF(m_columnLeft[i] + shift, baseline), row.cells[c]);
        }
    }
}

}  // namespace darvelon::ui
