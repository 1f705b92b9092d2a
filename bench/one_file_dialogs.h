#pragma once
// Answers every file dialog with the same name, so benchmarks can drive the real window.
#include "ui/file_dialogs.h"

namespace darvelon::bench {

class OneFileDialogs : public ui::FileDialogs {
public:
    explicit OneFileDialogs(QString name) : m_name(std::move(name)) {}
    QString ask(ui::FileDialogKind, QWidget*, const QString&, const QString&, const QString&) override {
        return m_name;
    }

private:
    QString m_name;
};

}  // namespace darvelon::bench
