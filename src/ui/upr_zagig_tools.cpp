// The window's side of the chart's tools: what needs its dialogs or its recording.
#include <QFileInfo>
#include <QValueAxis>
#include <filesystem>
#include <fstream>

#include "chart_tools.h"
#include "live_status.h"
#include "measure/range_csv.h"
#include "measurement_chart.h"
#include "message_boxes.h"
#include "recording/recorder.h"
#include "upr_zagig.h"

namespace darvelon::ui {

void TfrmUprZagig::exportVisibleCsv() {
    const double x0 = Chart1->axisX()->min();
    const double x1 = Chart1->axisX()->max();
    if (Chart1->model().frames() == 0) {
        showNotice(this, QStringLiteral("Нет данных для экспорта"));
        return;
    }
    const QString name =
        askFile(FileDialogKind::Save, QStringLiteral("Таблица CSV *.csv|*.csv|"), m_lastCsvName, QStringLiteral("csv"));
    if (name.isEmpty()) return;
    std::ofstream out(std::filesystem::path(name.toStdU16String()), std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file \"" + name.toStdString() + "\"");
    measure::exportRangeCsv(Chart1->model(), x0, x1, out);
    out.flush();
    if (!out) throw std::runtime_error("Cannot write file \"" + name.toStdString() + "\"");
}

void TfrmUprZagig::watchRecording(const QString& logName) {
    Chart1->tools().liveStatus().start(QFileInfo(logName).fileName(),
                                       [this] { return LogFile ? LogFile->bytesLogged() : 0; });
}

}  // namespace darvelon::ui
