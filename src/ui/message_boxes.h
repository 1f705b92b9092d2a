#pragma once
// The program's two kinds of message: the general error box for anything that escapes an event
// handler, and the plain notice.
#include <QString>

class QWidget;

namespace darvelon::ui {

// Adds a full stop unless the text is empty or already ends in a character whose code is at
// or below that of the full stop (punctuation from '!' to '.', space, control characters).
QString withFullStop(const QString& message);

void showErrorBox(QWidget* parent, const QString& message);
void showNotice(QWidget* parent, const QString& text);

// Runs an event handler's body; whatever it throws is shown in the error box and the program
// goes on.
template <typename Body>
void runHandler(QWidget* parent, Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        showErrorBox(parent, QString::fromUtf8(e.what()));
    }
}

}  // namespace darvelon::ui
