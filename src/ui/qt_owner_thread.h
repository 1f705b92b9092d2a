#pragma once
// Work posted by a port's receive thread runs from Qt's event loop on the thread that created
// this object, when that loop next runs; work still queued when it is destroyed is dropped.
#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

#include "serial/owner_thread.h"

namespace darvelon::ui {

class QtOwnerThread final : public QObject, public serial::OwnerThread {
    Q_OBJECT
public:
    void post(std::function<void()> work) override;

private:
    Q_INVOKABLE void runOne();

    // The work itself passes through our own queue rather than through Qt's event, so that its
    // hand-over between the threads stays visible to a race detector.
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_work;
};

}  // namespace darvelon::ui
