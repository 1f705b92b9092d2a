// Replay of an arbitrary log through the window, offscreen: the click must end (with the error
// box only for a zero period) and leave the chart stores holding exactly what a direct decode
// of the same bytes plots.
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "decoder/frame_decoder.h"
#include "fuzz_support.h"
#include "ui/file_dialogs.h"
#include "ui/measurement_chart.h"
#include "ui/upr_zagig.h"

using namespace darvelon;
namespace fs = std::filesystem;

namespace {

// Answers every open dialog with the fuzz input's file.
class AnswerWithLog : public ui::FileDialogs {
public:
    explicit AnswerWithLog(QString name) : m_name(std::move(name)) {}
    QString ask(ui::FileDialogKind kind, QWidget*, const QString&, const QString&, const QString&) override {
        FUZZ_CHECK(kind == ui::FileDialogKind::Open);
        return m_name;
    }

private:
    QString m_name;
};

struct Session {
    fs::path log;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<ui::TfrmUprZagig> window;
};
Session* g_session = nullptr;

// Clicks the replay button; every modal box it opens is closed at once and its text kept.
std::vector<QString> clickReplay(ui::TfrmUprZagig& window) {
    std::vector<QString> boxes;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        boxes.push_back(box ? box->text() : QStringLiteral("<not a message box>"));
        modal->close();
    });
    poll.start();
    window.btnOpenFile->click();
    // No return to the event loop between inputs: painting the chart would only fill Qt's
    // caches, which the leak check after each input cannot tell from leaks. Posted repaints are
    // compressed per widget, so nothing piles up.
    return boxes;
}

// The offscreen platform says so for every message box; thousands of lines would bury the
// fuzzer's own output.
void dropSizeHintNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    qt_message_output(type, context, message);
}

}  // namespace

// Leaks are checked after every input that allocates more than it frees; the check at exit
// would only see Qt's global state half torn down around the window kept for the whole run.
// Font and bus libraries keep a cache for the life of the process.
extern "C" const char* __lsan_default_options() { return "leak_check_at_exit=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libdbus-1.so\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropSizeHintNotes);
    // Lives for the whole process, like the program's own window. Tearing it down at exit would
    // race Qt's own global teardown, so it is left to the end of the process.
    g_session = new Session;
    std::atexit([] { fs::remove(g_session->log); });
    g_session->log = fs::temp_directory_path() / ("darvelon-fuzz-replay-" + std::to_string(::getpid()) + ".dcc");
    g_session->app = std::make_unique<QApplication>(*argc, *argv);
    g_session->window = std::make_unique<ui::TfrmUprZagig>(
        std::make_unique<AnswerWithLog>(QString::fromStdString(g_session->log.string())));
    g_session->window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(g_session->log, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    ui::TfrmUprZagig& window = *g_session->window;
    const std::vector<QString> boxes = clickReplay(window);

    // The window's decoder is reused from one input to the next, as it is from one replay to the
    // next in the program; each replay must still start from scratch.
    decoder::TFrameDecoder direct;
    bool toggle = false;
    fuzz::Recorder recorder;
    const auto fed = direct.feed(std::span(data, size), toggle, recorder);

    if (fed.zeroPeriod) {
        FUZZ_CHECK(boxes.size() == 1);
        FUZZ_CHECK(boxes[0] == QStringLiteral("Floating point division by zero."));
    } else {
        FUZZ_CHECK(boxes.empty());
    }
    FUZZ_CHECK(window.Decoder.SampleIndex == direct.SampleIndex);
    FUZZ_CHECK(window.ReplayToggle == toggle);

    const ui::MeasurementChart& chart = *window.Chart1;
    std::size_t next[decoder::kSeriesCount] = {};
    double maxY = 0;
    for (const fuzz::Point& p : recorder.points) {
        const auto& store = chart.model().points(p.index);
        const std::size_t i = next[p.index]++;
        FUZZ_CHECK(i < store.size());
        FUZZ_CHECK(store.x(i) == p.x);
        FUZZ_CHECK(fuzz::sameBits(store.y(i), p.y));
        maxY = std::max(maxY, p.y);
    }
    for (int s = 0; s < decoder::kSeriesCount; ++s) FUZZ_CHECK(chart.model().points(s).size() == next[s]);
    // The replay redraws once at its end: the value axis starts at 0 and shows every point.
    FUZZ_CHECK(chart.axisY()->min() == 0);
    FUZZ_CHECK(chart.axisY()->max() >= maxY);
    return 0;
}
