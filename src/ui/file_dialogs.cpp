#include "file_dialogs.h"

#include <QFileDialog>

namespace darvelon::ui {

QString toQtFilter(const QString& pipeFilter) {
    const QStringList parts = pipeFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) continue;
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        filters << parts[i] + " (" + patterns + ")";
    }
    return filters.join(";;");
}

QString QtFileDialogs::ask(FileDialogKind kind, QWidget* parent, const QString& filter, const QString& initial,
                           const QString& defaultSuffix) {
    QFileDialog dialog(parent);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setNameFilter(toQtFilter(filter));
    // The description already names its pattern; Qt would show it twice.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);  // asks before replacing an existing file
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A name that does not exist is accepted; the replay then does nothing.
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!initial.isEmpty()) dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace darvelon::ui
