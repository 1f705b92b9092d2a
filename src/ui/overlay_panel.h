#pragma once
// A small table drawn over the plot (the legend, the cursors' figures, the live status): rows of
// cells in aligned columns, the first column read as names and the others as figures, set flush
// right; a row of one cell is a line of text across the box. Each row may be led by a colour
// swatch. The box is pale and leaves the lines behind it visible. The chart owns it through its graphics parent;
// whoever fills it places it.
#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QStringList>
#include <vector>

namespace darvelon::ui {

class OverlayPanel : public QGraphicsItem {
public:
    struct Row {
        QStringList cells;
        QColor swatch;  // none when invalid
        bool operator==(const Row&) const = default;
    };

    OverlayPanel(const QFont& font, QGraphicsItem* parent);

    // Hidden while empty.
    void setRows(std::vector<Row> rows);
    const std::vector<Row>& rows() const { return m_rows; }
    // Each row's cells joined by tabs, rows by line ends: what a reader of the panel sees.
    QString text() const;
    QSizeF size() const { return m_size; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QFont m_font;
    std::vector<Row> m_rows;
    std::vector<double> m_columnLeft;  // x of each column's left edge, swatch included
    std::vector<double> m_columnWidth;
    double m_textLeft = 0;
    double m_rowHeight = 0;
    QSizeF m_size;
};

}  // namespace darvelon::ui
