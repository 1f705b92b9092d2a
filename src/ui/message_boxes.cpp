#include "message_boxes.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "application_title.h"

namespace darvelon::ui {

QString withFullStop(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + u'.';
}

void showErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), withFullStop(message), QMessageBox::Ok, parent);
    box.setObjectName("errorBox");
    box.exec();
}

void showNotice(QWidget* parent, const QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName("notice");
    dialog.setWindowTitle(applicationTitle());
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(text, &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Horizontal, &dialog);
    buttons->setCenterButtons(true);
    // OK is the default button, so Enter closes; Esc rejects, which also closes.
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog.move(frame.topLeft());
    }
    dialog.exec();
}

}  // namespace darvelon::ui
