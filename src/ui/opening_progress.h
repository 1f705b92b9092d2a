#pragma once
// While a log opens on another thread: a progress dialog with a cancel button, shown only once
// the open has taken half a second, so short opens show nothing at all.
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>

class QProgressDialog;
class QWidget;

namespace darvelon::ui {

class OpeningProgress : public QObject {
    Q_OBJECT
public:
    static constexpr int kShowAfterMs = 500;

    OpeningProgress(QWidget* parent, std::uint64_t total, const std::atomic<std::uint64_t>& done,
                    std::function<void()> cancel);
    ~OpeningProgress() override;

private:
    void update();

    QWidget* m_parent;
    std::uint64_t m_total;
    const std::atomic<std::uint64_t>& m_done;
    std::function<void()> m_cancel;
    QProgressDialog* m_dialog = nullptr;  // owned here; made on first show
    QTimer m_timer;
    int m_ticks = 0;
};

}  // namespace darvelon::ui
