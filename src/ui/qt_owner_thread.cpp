#include "qt_owner_thread.h"

#include <QMetaObject>
#include <utility>

namespace darvelon::ui {

void QtOwnerThread::post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    // One queued call per piece of work, so each runs in its own turn of the event loop.
    QMetaObject::invokeMethod(this, "runOne", Qt::QueuedConnection);
}

void QtOwnerThread::runOne() {
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_work.empty()) return;
        work = std::move(m_work.front());
        m_work.pop_front();
    }
    work();
}

}  // namespace darvelon::ui
