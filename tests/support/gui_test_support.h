#pragma once
// Offscreen GUI test helpers: answering file dialogs and capturing modal boxes, no sleeps.
#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>

#include "ui/file_dialogs.h"

namespace darvelon::test {

// Answers each dialog with the next queued name ("" = cancel) and remembers what it was asked.
class ScriptedDialogs : public ui::FileDialogs {
public:
    struct Asked {
        ui::FileDialogKind kind;
        QString filter;
        QString initial;
        QString defaultSuffix;
    };
    QString ask(ui::FileDialogKind kind, QWidget*, const QString& filter, const QString& initial,
                const QString& defaultSuffix) override {
        asked.push_back({kind, filter, initial, defaultSuffix});
        if (answers->empty()) return {};
        QString a = answers->front();
        answers->pop_front();
        return a;
    }
    std::shared_ptr<std::deque<QString>> answers = std::make_shared<std::deque<QString>>();
    std::vector<Asked> asked;
};

struct ModalCapture {
    QString title;
    QString text;
    QString className;
    QString objectName;
    int icon = -1;
    bool seen = false;
};

// Runs the event loop until `done` holds; the deadline only stops a hung test.
template <class Predicate>
bool waitFor(Predicate done) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(std::chrono::seconds(30), &loop, &QEventLoop::quit);
    check.start(2);
    loop.exec();
    return done();
}

// Runs `action`; every modal window it opens is recorded and closed. Returns what was seen.
inline std::vector<ModalCapture> captureModals(const std::function<void()>& action) {
    std::vector<ModalCapture> seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        ModalCapture c;
        c.seen = true;
        c.title = modal->windowTitle();
        c.className = modal->metaObject()->className();
        c.objectName = modal->objectName();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            c.text = box->text();
            c.icon = box->icon();
        } else if (auto* label = modal->findChild<QLabel*>()) {
            c.text = label->text();
        }
        seen.push_back(c);
        modal->close();
    });
    poll.start();
    action();
    return seen;
}

}  // namespace darvelon::test
