#include "upr_zagig.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "chart_tools.h"
#include "decoder/csv_export.h"
#include "decoder/log_reader.h"
#include "decoder/zero_divide.h"
#include "measurement_chart.h"
#include "message_boxes.h"
#include "opening_progress.h"
#include "plot/log_bytes.h"
#include "plot/log_index.h"
#include "recording/recorder.h"
#include "serial/com_port.h"
#include "up_down.h"

namespace darvelon::ui {

namespace {

QFont pixelFont(int pixels) {
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    return f;
}

std::filesystem::path toPath(const QString& name) { return std::filesystem::path(name.toStdU16String()); }

}  // namespace

TfrmUprZagig::TfrmUprZagig(std::unique_ptr<FileDialogs> dialogs, QWidget* parent)
    : QWidget(parent), m_dialogs(std::move(dialogs)) {
    setObjectName("frmUprZagig");
    setWindowTitle(QStringLiteral("Дарвелон v1.0"));
    setFont(pixelFont(11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // Client area of a 785 x 552 window with the usual frame; first shown at 260, 112.
    resize(769, 513);
    move(260, 112);

    Label1 = new QLabel(QStringLiteral("COM"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 8, 44, 24);
    Label1->setFont(pixelFont(19));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    edtPortNumber = new QLineEdit(this);
    edtPortNumber->setObjectName("edtPortNumber");
    edtPortNumber->setGeometry(64, 8, 25, 21);
    updPort = new UpDown(edtPortNumber, 1, 25, 1, this);
    updPort->setObjectName("updPort");
    updPort->setGeometry(89, 8, 16, 21);

    btnOpenPort = new QPushButton(kCaptionIdle, this);
    btnOpenPort->setObjectName("btnOpenPort");
    btnOpenPort->setGeometry(136, 8, 193, 33);

    Chart1 = new MeasurementChart(this);
    Chart1->setObjectName("Chart1");
    Chart1->setGeometry(0, 40, 761, 465);

    btnOpenFile = new QPushButton(QStringLiteral("Открыть лог файл"), this);
    btnOpenFile->setObjectName("btnOpenFile");
    btnOpenFile->setGeometry(568, 8, 169, 25);

    // The chart's top edge runs under the record button; keep the buttons whole on top.
    btnOpenPort->raise();
    btnOpenFile->raise();

    setTabOrder(edtPortNumber, updPort);
    setTabOrder(updPort, btnOpenPort);
    setTabOrder(btnOpenPort, Chart1);
    setTabOrder(Chart1, btnOpenFile);
    Chart1->setFocusPolicy(Qt::StrongFocus);

    connect(btnOpenPort, &QPushButton::clicked, this, [this] { runHandler(this, [this] { btnOpenPortClick(); }); });
    connect(btnOpenFile, &QPushButton::clicked, this, [this] { runHandler(this, [this] { btnOpenFileClick(); }); });
    connect(Chart1, &MeasurementChart::savePngRequested, this, [this] { runHandler(this, [this] { savePng(); }); });
    connect(Chart1, &MeasurementChart::exportCsvRequested, this, [this] { runHandler(this, [this] { exportCsv(); }); });
    connect(&Chart1->tools(), &ChartTools::exportVisibleCsvRequested, this,
            [this] { runHandler(this, [this] { exportVisibleCsv(); }); });
    connect(Chart1, &MeasurementChart::curveRequested, this,
            [this] { runHandler(this, [this] { showCurveWindow(); }); });
    connect(updPort, &UpDown::positionChanged, this, &TfrmUprZagig::updatePortTooltip);
    updatePortTooltip();
    // A simulator or an adapter may come and go at any time: the tooltip says what is there now.
    edtPortNumber->installEventFilter(this);
    updPort->installEventFilter(this);
    setAcceptDrops(true);
    FormCreate();
}

TfrmUprZagig::~TfrmUprZagig() {
    // The port's last batch goes to the log and the chart, which must still be there.
    Port.reset();
}

bool TfrmUprZagig::cancelOpening() {
    if (!m_opening) return false;
    m_opening->request_stop();
    return true;
}

void TfrmUprZagig::closeEvent(QCloseEvent* event) {
    cancelOpening();
    QWidget::closeEvent(event);
}

void TfrmUprZagig::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TfrmUprZagig::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const QString name = urls.front().toLocalFile();
    runHandler(this, [this, name] { replayLog(name); });
}

bool TfrmUprZagig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && (watched == edtPortNumber || watched == updPort)) updatePortTooltip();
    return QWidget::eventFilter(watched, event);
}

void TfrmUprZagig::FormCreate() {
    Decoder.HavePrevFrame = false;
    LiveToggle = false;
}

QString TfrmUprZagig::askFile(FileDialogKind kind, const QString& filter, QString& last, const QString& defaultSuffix) {
    const QString name = m_dialogs->ask(kind, this, filter, last, defaultSuffix);
    if (!name.isEmpty()) last = name;
    return name;
}

void TfrmUprZagig::btnOpenFileClick() {
    if (cancelOpening()) return;
    const QString name = askFile(FileDialogKind::Open, kLogFilter, m_lastOpenName);
    if (name.isEmpty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(toPath(name), ec)) return;
    replayLog(name);
}

void TfrmUprZagig::replayLog(const QString& name) {
    // A second open while one runs only ends the first.
    if (cancelOpening()) return;
    decoder::LogReader log(toPath(name));
    Decoder.resetForReplay();
    ReplayToggle = false;
    for (int i = 0; i < decoder::kSeriesCount; ++i) Chart1->clear(i);
    Chart1->tools().dataCleared();
    m_shownLog = name;

    struct RedrawAtTheEnd {
        MeasurementChart* chart;
        ~RedrawAtTheEnd() { chart->refreshNow(); }
    } redraw{Chart1};
    // The pass runs on a thread of its own while the window keeps handling its events; the
    // chart takes the index when it is done (or cancelled: then the part read so far).
    plot::FrameIndex index;
    index.reset(Decoder, ReplayToggle, plot::FrameIndex::Keep::IndexOnly);
    decoder::TFrameDecoder decoder = Decoder;
    bool toggle = ReplayToggle;
    decoder::ReplayOutcome outcome;
    std::exception_ptr failure;
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> finished{false};
    QEventLoop loop;
    {
        std::jthread pass([&](std::stop_token stop) {
            try {
                outcome = plot::indexLog(log, decoder, toggle, index, stop, done);
            } catch (...) {
                failure = std::current_exception();
            }
            finished = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        if (!finished) {
            m_opening = &pass;
            OpeningProgress progress(this, log.size(), done, [&pass] { pass.request_stop(); });
            loop.exec();
            m_opening = nullptr;
        }
    }
    Decoder = decoder;
    ReplayToggle = toggle;
    std::unique_ptr<plot::ByteSource> bytes;
    try {
        bytes = std::make_unique<plot::LogFileBytes>(toPath(name));
    } catch (const std::exception&) {
        // Gone since the pass read it: nothing beyond the overview can be shown.
    }
    Chart1->adoptFrames(std::move(index), std::move(bytes));
    if (failure) std::rethrow_exception(failure);
    if (outcome.zeroPeriod) throw decoder::EZeroDivide();
}

void TfrmUprZagig::savePng() {
    const QString name = askFile(FileDialogKind::Save, QStringLiteral("Изображение PNG *.png|*.png|"), m_lastPngName,
                                 QStringLiteral("png"));
    if (name.isEmpty()) return;
    if (!Chart1->snapshot().save(name, "PNG"))
        throw std::runtime_error("Cannot write file \"" + name.toStdString() + "\"");
}

void TfrmUprZagig::exportCsv() {
    if (m_shownLog.isEmpty()) {
        showNotice(this, QStringLiteral("Нет данных для экспорта"));
        return;
    }
    const QString name =
        askFile(FileDialogKind::Save, QStringLiteral("Таблица CSV *.csv|*.csv|"), m_lastCsvName, QStringLiteral("csv"));
    if (name.isEmpty()) return;
    std::ofstream out(toPath(name), std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file \"" + name.toStdString() + "\"");
    const decoder::ReplayOutcome outcome = decoder::exportTimedCsv(toPath(m_shownLog), out);
    out.flush();
    if (!out) throw std::runtime_error("Cannot write file \"" + name.toStdString() + "\"");
    if (outcome.zeroPeriod) throw decoder::EZeroDivide();
}

}  // namespace darvelon::ui
