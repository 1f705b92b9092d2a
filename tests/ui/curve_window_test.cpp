// The curve window as the operator reaches it: from the chart's menu, over the replayed sample
// log, its table must be the one the analysis library builds from the log file itself.
#include <gtest/gtest.h>

#include <QAreaSeries>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QValueAxis>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "analysis/curve_csv.h"
#include "support/curve_tables.h"
#include "support/frames.h"
#include "support/gui_test_support.h"
#include "support/shown_window.h"
#include "ui/curve_density.h"
#include "ui/curve_window.h"
#include "ui/measurement_chart.h"
#include "ui/polyline_clip.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
using namespace darvelon::test;
namespace fs = std::filesystem;

namespace {

// Right-clicks the chart (a view hears it through its viewport) and picks the entry by its text.
bool chooseFromChartMenu(ui::MeasurementChart& chart, const QString& text) {
    bool chosen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        menu->close();
        for (QAction* action : menu->actions()) {
            if (chosen || action->text() != text) continue;
            chosen = true;
            action->trigger();
        }
    });
    poll.start(5);
    const QPoint at = chart.viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, chart.viewport()->mapToGlobal(at));
    QApplication::sendEvent(chart.viewport(), &event);
    return chosen;
}

class CurveWindowTest : public ShownWindow {
protected:
    ui::CurveWindow* openCurve() {
        EXPECT_TRUE(chooseFromChartMenu(*window->Chart1, QStringLiteral("Кривая угла от оборотов...")));
        return window->findChild<ui::CurveWindow*>();
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(CurveWindowTest, FromTheChartMenuItShowsTheLibrarysTableOfTheSampleLogAndExportsIt) {
    const fs::path sample = DARVELON_SAMPLE_LOG;
    window->replayLog(QString::fromStdString(sample.string()));
    ui::CurveWindow* curve = openCurve();
    ASSERT_NE(curve, nullptr);
    EXPECT_TRUE(curve->isVisible());
    EXPECT_EQ(curve->spnBin->value(), 100);

    const auto expected = curveOfLog(sample, 100);
    ASSERT_GT(expected.size(), 20u);
    expectSameBins(curve->bins(), expected);
    // What is drawn is that table: a point per bin on the mean line and on both edges of the band,
    // and every frame a mark in the density image.
    ASSERT_EQ(curve->meanLine()->count(), qsizetype(expected.size()));
    ASSERT_EQ(curve->band()->upperSeries()->count(), qsizetype(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(curve->meanLine()->at(qsizetype(i)).y(), expected[i].meanDeg);
        EXPECT_EQ(curve->band()->upperSeries()->at(qsizetype(i)).y(), expected[i].maxDeg);
        EXPECT_EQ(curve->band()->lowerSeries()->at(qsizetype(i)).y(), expected[i].minDeg);
    }
    EXPECT_EQ(curve->density()->marks().size(), framesIn(expected));
    const QImage& image = curve->density()->image();
    ASSERT_FALSE(image.isNull());
    int marked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) marked += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(marked, 500);

    // Another bin width reads the frames again.
    curve->spnBin->setValue(250);
    expectSameBins(curve->bins(), curveOfLog(sample, 250));

    // The table goes out through the dialog, exactly as the library writes it.
    dialogs->answers->push_back(dir.filePath("curve.csv"));
    EXPECT_TRUE(captureModals([&] { curve->btnExport->click(); }).empty());
    std::ifstream in(dir.filePath("curve.csv").toStdString(), std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    std::ostringstream wanted;
    analysis::writeCurveCsv(curveOfLog(sample, 250), wanted);
    EXPECT_EQ(written, wanted.str());
    EXPECT_EQ(dialogs->asked.back().kind, ui::FileDialogKind::Save);
    EXPECT_EQ(dialogs->asked.back().defaultSuffix, "csv");

    // The visible scope holds exactly the frames the chart shows; asking again raises the same
    // window.
    window->Chart1->setXRange(1000, 2999);
    curve->cmbScope->setCurrentIndex(ui::CurveWindow::kVisibleRange);
    EXPECT_EQ(framesIn(curve->bins()), 2000u);
    curve->hide();
    EXPECT_EQ(openCurve(), curve);
    EXPECT_TRUE(curve->isVisible());
    EXPECT_EQ(window->findChildren<ui::CurveWindow*>().size(), 1);
}

TEST_F(CurveWindowTest, LiveFramesAreTakenUpOnTheClockNotFrameByFrame) {
    ui::CurveWindow* curve = openCurve();
    ASSERT_NE(curve, nullptr);
    EXPECT_TRUE(curve->bins().empty());
    const auto nothingToExport = captureModals([&] { curve->btnExport->click(); });
    ASSERT_EQ(nothingToExport.size(), 1u);
    EXPECT_EQ(nothingToExport[0].text, "Нет данных для экспорта");

    // Frames as a recording delivers them, a batch on every redraw of the chart for a couple of
    // seconds: the chart announces each one, the curve takes them up on its own slower clock.
    // The phase lags by 175 degrees, so the 2332nd frame's stamps straddle the counter's wrap.
    const Bytes stream = steadyFrames(2501, 7000);
    const std::uint64_t before = curve->rebuildCount();
    QElapsedTimer clock;
    clock.start();
    constexpr std::size_t kBatch = 9 * 100;
    for (std::size_t at = 0; at < stream.size(); at += kBatch) {
        const auto n = std::min(kBatch, stream.size() - at);
        const std::uint64_t redraws = window->Chart1->refreshCount();
        window->Decoder.feed(std::span(stream).subspan(at, n), window->LiveToggle, *window->Chart1);
        ASSERT_TRUE(waitFor([&] { return window->Chart1->refreshCount() > redraws; }));
    }
    ASSERT_TRUE(waitFor([&] { return framesIn(curve->bins()) == 2500; }));
    const auto rebuilds = curve->rebuildCount() - before;
    EXPECT_GE(rebuilds, 1u);
    EXPECT_LE(rebuilds, std::uint64_t(clock.elapsed() / ui::CurveWindow::kRebuildIntervalMs + 1));
    // steadyFrames run at 5000 rpm. The straddling frame decodes some 400,000 degrees off: the
    // table keeps it, the view is set by the others.
    ASSERT_EQ(curve->bins().size(), 1u);
    EXPECT_EQ(curve->bins()[0].fromRpm, 5000);
    EXPECT_EQ(curve->bins()[0].maxDeg, 175);
    EXPECT_LT(curve->bins()[0].minDeg, -100000);
    EXPECT_GT(curve->axisY()->min(), 100);
    EXPECT_LT(curve->axisY()->max(), 250);
}

// Held between two heights, a line still runs exactly where it ran wherever it was between them,
// and nothing of it lies beyond.
TEST(KeepWithin, BetweenTheEdgesTheLineIsUnchangedAndNothingLiesBeyond) {
    std::mt19937 random(4);
    QList<QPointF> line;
    for (int i = 0; i < 400; ++i) {
        const double far = (random() % 2 ? 1 : -1) * double(100 + random() % 2000);
        const double near = double(random() % 200) - 100;
        line.append({10.0 * i, random() % 4 == 0 ? far : near});
    }
    const QList<QPointF> held = ui::keepWithin(line, -100, 100);
    for (const QPointF& p : held) EXPECT_LE(std::abs(p.y()), 100);
    const auto heightAt = [](const QList<QPointF>& l, double x) {
        qsizetype k = 1;
        while (l[k].x() < x) ++k;
        const QPointF a = l[k - 1];
        const QPointF b = l[k];
        return b.x() == a.x() ? b.y() : a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
    };
    int compared = 0;
    for (double x = 0.05; x < line.back().x(); x += 0.37) {
        const double y = heightAt(line, x);
        if (y < -100 || y > 100) continue;
        EXPECT_NEAR(heightAt(held, x), y, 1e-6) << x;
        ++compared;
    }
    EXPECT_GT(compared, 3000);
}
