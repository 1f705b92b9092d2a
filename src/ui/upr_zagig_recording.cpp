// Recording: the port chosen by the spinner into a log file chosen by the operator, every byte
// logged and then decoded onto the chart as it arrives.
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <exception>
#include <cstring>

#include "decoder/zero_divide.h"
#include "measurement_chart.h"
#include "message_boxes.h"
#include "serial/com_port.h"
#include "serial/port_resolver.h"
#include "up_down.h"
#include "upr_zagig.h"

namespace darvelon::ui {

TfrmUprZagig::LogDescriptor& TfrmUprZagig::LogDescriptor::operator=(LogDescriptor&& o) noexcept {
    if (this != &o) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(o.fd, -1);
    }
    return *this;
}

TfrmUprZagig::LogDescriptor::~LogDescriptor() {
    if (fd >= 0) ::close(fd);
}

bool TfrmUprZagig::recording() const { return btnOpenPort->text() != kCaptionIdle; }

void TfrmUprZagig::btnOpenPortClick() {
    if (btnOpenPort->text() == kCaptionIdle) startRecording();
    else stopRecording();
}

void TfrmUprZagig::startRecording() {
    const QString name = askFile(FileDialogKind::Save, kLogFilter, m_lastSaveName);
    if (name.isEmpty()) return;
    // Replaced if it exists (the dialog asked); others may read it while we record.
    LogDescriptor log(::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!log) {
        showNotice(this, QStringLiteral("Ошибка создания файла"));
        return;
    }
    // When the port fails, `log` closes the new (empty) file on the way out.
    auto port = std::make_unique<serial::TComPort>(static_cast<std::uint8_t>(updPort->position()), m_owner);
    Port = std::move(port);
    LogFile = std::move(log);
    btnOpenPort->setText(kCaptionRecording);
    for (int i = 0; i < decoder::kSeriesCount; ++i) Chart1->clear(i);
    Decoder.FrameState = 0;
    Decoder.SampleIndex = 0;
    Decoder.PrevPeriodStamp = 0;
    Decoder.HavePrevFrame = false;
    m_shownLog = name;
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
    btnOpenPort->setText(kCaptionIdle);
    const int fd = LogFile.release();
    Decoder.HavePrevFrame = false;
    if (fd >= 0 && ::close(fd) != 0) throw std::runtime_error(std::strerror(errno));
    if (lastDelivery) std::rethrow_exception(lastDelivery);
}

void TfrmUprZagig::onReceptionEnded(const QString& message) {
    // Reception is over but the window stays in its recording state until the operator
    // clicks, which closes the recording as usual.
    if (recording()) showErrorBox(this, message);
}

void TfrmUprZagig::SaveHarReal(serial::TReadThread&, std::span<const std::uint8_t> data) {
    for (const std::uint8_t& byte : data) {
        ssize_t written;
        do written = ::write(LogFile.fd, &byte, 1);
        while (written < 0 && errno == EINTR);
        if (written != 1) {
            const int error = written < 0 ? errno : ENOSPC;
            throw std::runtime_error(std::string("Cannot write the log file. ") + std::strerror(error));
        }
        // A zero period is one bad frame in a live stream: skip it and keep recording.
        Decoder.feed(std::span(&byte, 1), LiveToggle, *Chart1);
    }
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
