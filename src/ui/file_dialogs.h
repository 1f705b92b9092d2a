#pragma once
// The window asks for file names through this seam, so tests can answer without a dialog.
#include <QString>

class QWidget;

namespace darvelon::ui {

enum class FileDialogKind { Open, Save };

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // filter in the "Description|*.ext|" form; initial pre-fills the name. Empty on cancel.
    virtual QString ask(FileDialogKind kind, QWidget* parent, const QString& filter, const QString& initial) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    QString ask(FileDialogKind kind, QWidget* parent, const QString& filter, const QString& initial) override;
};

// "Description *.dcc|*.dcc|" -> "Description *.dcc (*.dcc)", one Qt filter per pair.
QString toQtFilter(const QString& pipeFilter);

}  // namespace darvelon::ui
