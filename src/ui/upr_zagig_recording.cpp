// Recording: the port chosen by the spinner into a log file chosen by the operator, every byte
// logged and then decoded onto the chart as it arrives.
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <exception>

#include "chart_tools.h"
#include "live_status.h"
#include "measurement_chart.h"
#include "message_boxes.h"
#include "plot/log_bytes.h"
#include "recording/recorder.h"
#include "serial/com_port.h"
#include "serial/port_resolver.h"
#include "up_down.h"
#include "upr_zagig.h"

namespace darvelon::ui {

bool TfrmUprZagig::recording() const { return btnOpenPort->text() != kCaptionIdle; }

void TfrmUprZagig::btnOpenPortClick() {
    if (cancelOpening()) return;
    if (btnOpenPort->text() == kCaptionIdle) startRecording();
    else stopRecording();
}

void TfrmUprZagig::startRecording() {
    const QString name = askFile(FileDialogKind::Save, kLogFilter, m_lastSaveName);
    if (name.isEmpty()) return;
    // Replaced if it exists (the dialog asked); others may read it while we record.
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        showNotice(this, QStringLiteral("Ошибка создания файла"));
        return;
    }
    // When the port fails, the recorder closes the new (empty) file on the way out.
    auto log = std::make_unique<recording::Recorder>(
        fd, recording::Recorder::Messages{"Cannot write the log file. ", ""}, Decoder, LiveToggle, *Chart1);
    auto port = std::make_unique<serial::TComPort>(static_cast<std::uint8_t>(updPort->position()), m_owner);
    Port = std::move(port);
    LogFile = std::move(log);
    btnOpenPort->setText(kCaptionRecording);
    for (int i = 0; i < decoder::kSeriesCount; ++i) Chart1->clear(i);
    Chart1->tools().dataCleared();
    Decoder.resetForRecording();
    // The chart keeps extremes and checkpoints and reads any stretch back from the log itself.
    std::unique_ptr<plot::ByteSource> bytes;
    try {
        bytes = std::make_unique<plot::LogFileBytes>(std::filesystem::path(name.toStdU16String()));
    } catch (const std::exception&) {
        // Not readable by name (gone already): the chart keeps the frames themselves.
    }
    Chart1->startFrames(Decoder, LiveToggle, std::move(bytes));
    m_shownLog = name;
    watchRecording(name);
    Port->OnReceptionEnded = [this](const std::string& message) {
        // Shown once the hand-off has unwound, never from inside it.
        QMetaObject::invokeMethod(
            this, [this, m = QString::fromStdString(message)] { onReceptionEnded(m); }, Qt::QueuedConnection);
    };
    Port->OnRead = [this](serial::TReadThread& sender, std::span<const std::uint8_t> data) {
        SaveHarReal(sender, data);
    };
}

void TfrmUprZagig::stopRecording() {
    // The port hands over what its thread had already read before the log closes; should
    // that last write fail, the recording still closes and the operator sees why.
    std::exception_ptr lastDelivery;
    try {
        Port->Close();
    } catch (...) {
        lastDelivery = std::current_exception();
    }
    Port.reset();
    Chart1->tools().liveStatus().stop();
    btnOpenPort->setText(kCaptionIdle);
    const auto log = std::move(LogFile);
    Decoder.HavePrevFrame = false;
    log->close();
    if (lastDelivery) std::rethrow_exception(lastDelivery);
}

void TfrmUprZagig::onReceptionEnded(const QString& message) {
    // Reception is over but the window stays in its recording state until the operator
    // clicks, which closes the recording as usual.
    if (recording()) showErrorBox(this, message);
}

void TfrmUprZagig::SaveHarReal(serial::TReadThread&, std::span<const std::uint8_t> data) {
    // Every byte to the log, then to the decoder; a zero period in a live stream is one bad
    // frame, skipped while recording goes on.
    LogFile->take(data);
}

void TfrmUprZagig::updatePortTooltip() {
    const int n = updPort->position();
    const auto device = serial::resolvePortDevice(n);
    const QString text = device ? QStringLiteral("COM%1: %2").arg(n).arg(QString::fromStdString(device->string()))
                                : QStringLiteral("COM%1: устройство не найдено").arg(n);
    edtPortNumber->setToolTip(text);
    updPort->setToolTip(text);
}

}  // namespace darvelon::ui
