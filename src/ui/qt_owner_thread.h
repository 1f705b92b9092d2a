#pragma once
// Work posted by a port's receive thread runs from Qt's event loop, on the thread of `context`,
// when that loop next runs; work still queued when `context` is destroyed is dropped.
#include <QMetaObject>
#include <QObject>
#include <utility>

#include "serial/owner_thread.h"

namespace darvelon::ui {

class QtOwnerThread final : public serial::OwnerThread {
public:
    explicit QtOwnerThread(QObject* context) : m_context(context) {}
    void post(std::function<void()> work) override {
        QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
    }

private:
    QObject* m_context;
};

}  // namespace darvelon::ui
