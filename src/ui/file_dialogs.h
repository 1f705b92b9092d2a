#pragma once
// The window asks for file names through this seam, so tests can answer without a dialog.
#include <QString>

class QWidget;

namespace darvelon::ui {

enum class FileDialogKind { Open, Save };

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // filter in the "Description|*.ext|" form; initial pre-fills the name; defaultSuffix (when
    // not empty) is added to a typed name without one, before the dialog asks about replacing.
    // Empty on cancel.
    virtual QString ask(FileDialogKind kind, QWidget* parent, const QString& filter, const QString& initial,
                        const QString& defaultSuffix) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    QString ask(FileDialogKind kind, QWidget* parent, const QString& filter, const QString& initial,
                const QString& defaultSuffix) override;
};

// "Description *.dcc|*.dcc|" -> "Description *.dcc (*.dcc)", one Qt filter per pair.
QString toQtFilter(const QString& pipeFilter);

}  // namespace darvelon::ui
