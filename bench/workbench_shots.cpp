// Pictures of the chart's tools for the README, taken from the real window.
//
//   workbench_shots cursors LOG PNG        replays LOG, cursors A and B on its first pull from
//                                          3000 to 7000 rpm, with the legend and seconds shown
//   workbench_shots live N SECONDS PNG     records COMn for SECONDS (a device or `darvelon-cli
//                                          simulate --port N` must be there), then takes the window
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QValueAxis>
#include <cstdio>
#include <filesystem>
#include <string>

#include "one_file_dialogs.h"
#include "ui/chart_tools.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

using namespace darvelon;

namespace {

// The first frame at or above `from` rpm after one below it, and the first after that at or
// above `to` rpm (or the fastest frame of the pull when it stops short of `to`).
std::optional<std::pair<std::int64_t, std::int64_t>> findPull(const plot::ChartModel& model, double from, double to) {
    struct Search final : decoder::FrameSink {
        double from, to;
        std::optional<std::int64_t> a, b, below;
        decoder::Frame fastest;
        void frame(const decoder::Frame& f) override {
            if (b) return;
            if (!a) {
                if (f.speedRpm < from) below = f.sample;
                else if (below) a = f.sample, fastest = f;
                return;
            }
            if (f.speedRpm > fastest.speedRpm) fastest = f;
            if (f.speedRpm >= to) b = f.sample;
        }
    } search;
    search.from = from;
    search.to = to;
    model.forEachFrame(-1e18, 1e18, search);
    if (!search.a) return std::nullopt;
    return std::pair{*search.a, search.b.value_or(search.fastest.sample)};
}

void waitMs(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& window, const char* png) {
    waitMs(300);
    if (!window.grab().save(png, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", png);
        return false;
    }
    return true;
}

int cursors(const char* log, const char* png) {
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromLocal8Bit(log)));
    window.show();
    window.btnOpenFile->click();
    ui::MeasurementChart& chart = *window.Chart1;
    const auto pull = findPull(chart.model(), 3000, 7000);
    if (!pull) {
        std::fprintf(stderr, "no pull from 3000 rpm in %s\n", log);
        return 1;
    }
    const auto [a, b] = *pull;
    const double margin = double(b - a) * 0.25;
    chart.setXRange(double(a) - margin, double(b) + margin);
    ui::ChartTools& tools = chart.tools();
    tools.setLegendShown(true);
    tools.setSecondsAxis(true);
    const QRectF area = chart.chart()->plotArea();
    const auto at = [&](std::int64_t sample) {
        const double x0 = chart.axisX()->min();
        const double x1 = chart.axisX()->max();
        return QPointF(area.left() + (double(sample) - x0) / (x1 - x0) * area.width(), area.center().y());
    };
    tools.placeCursor(ui::ChartCursors::Cursor::A, at(a));
    tools.placeCursor(ui::ChartCursors::Cursor::B, at(b));
    return save(window, png) ? 0 : 1;
}

int live(int port, int seconds, const char* png) {
    const auto log = std::filesystem::temp_directory_path() / "darvelon-live-status.dcc";
    ui::TfrmUprZagig window(std::make_unique<bench::OneFileDialogs>(QString::fromStdString(log.string())));
    window.show();
    window.edtPortNumber->setText(QString::number(port));
    window.btnOpenPort->click();
    if (!window.recording()) {
        std::fprintf(stderr, "could not record COM%d\n", port);
        return 1;
    }
    waitMs(seconds * 1000);
    const bool saved = save(window, png);
    window.btnOpenPort->click();
    std::filesystem::remove(log);
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "cursors" && argc == 4) return cursors(argv[2], argv[3]);
    if (what == "live" && argc == 5) return live(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    std::fprintf(stderr, "usage: %s cursors LOG PNG | live N SECONDS PNG\n", argv[0]);
    return 100;
}
