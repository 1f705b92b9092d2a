#pragma once
// The one window: port selector, the record and replay buttons, and the chart. It wires the
// controls to the decoder, the chart, the serial port and the log file; the work itself lives
// in those.
#include <QWidget>
#include <memory>
#include <span>
#include <thread>

#include "decoder/frame_decoder.h"
#include "file_dialogs.h"
#include "qt_owner_thread.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace darvelon::recording {
class Recorder;
}  // namespace darvelon::recording

namespace darvelon::serial {
class TComPort;
class TReadThread;
}  // namespace darvelon::serial

namespace darvelon::ui {

class CurveWindow;
class MeasurementChart;
class UpDown;

inline const QString kCaptionIdle = QStringLiteral("Открыть порт и файл");
inline const QString kCaptionRecording = QStringLiteral("Закрыть порт и файл");
inline const QString kLogFilter = QStringLiteral("Файл сбора данных работы системы *.dcc|*.dcc|");

class TfrmUprZagig : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUprZagig(std::unique_ptr<FileDialogs> dialogs = std::make_unique<QtFileDialogs>(),
                          QWidget* parent = nullptr);
    ~TfrmUprZagig() override;

    // Controls, named as in the window's design.
    QLabel* Label1;
    QLineEdit* edtPortNumber;
    UpDown* updPort;
    QPushButton* btnOpenPort;
    MeasurementChart* Chart1;
    QPushButton* btnOpenFile;

    // Window state shared by the recording and the replay.
    decoder::TFrameDecoder Decoder;
    bool LiveToggle = false;
    bool ReplayToggle = false;

    void btnOpenPortClick();
    void btnOpenFileClick();
    // Replays a log named outside the open dialog (the command line, a drop): as the button
    // does, except that a missing file is an error, not a silent no.
    void replayLog(const QString& name);
    void SaveHarReal(serial::TReadThread& sender, std::span<const std::uint8_t> data);

    bool recording() const;

private:
    void FormCreate();
    void startRecording();
    void stopRecording();
    void onReceptionEnded(const QString& message);
    void savePng();
    void exportCsv();
    void exportVisibleCsv();
    void watchRecording(const QString& logName);
    void showCurveWindow();
    void updatePortTooltip();
    QString askFile(FileDialogKind kind, const QString& filter, QString& last, const QString& defaultSuffix = {});
    // Ends an open in progress, if there is one; a click during an open does only that.
    bool cancelOpening();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    std::unique_ptr<FileDialogs> m_dialogs;
    QString m_lastOpenName;
    QString m_lastSaveName;
    QString m_lastPngName;
    QString m_lastCsvName;
    QString m_shownLog;     // the log behind the chart, for the CSV export
    QtOwnerThread m_owner;  // deliveries run from the window's event loop
    std::unique_ptr<serial::TComPort> Port;
    std::unique_ptr<recording::Recorder> LogFile;  // the open log and the road of its bytes
    std::jthread* m_opening = nullptr;             // the pass of an open in progress
    CurveWindow* m_curveWindow = nullptr;          // a child window, made when first asked for
};

}  // namespace darvelon::ui
