#include "opening_progress.h"

#include <QProgressDialog>

namespace darvelon::ui {

namespace {
constexpr int kUpdateMs = 100;
constexpr int kSteps = 1000;
}  // namespace

OpeningProgress::OpeningProgress(QWidget* parent, std::uint64_t total, const std::atomic<std::uint64_t>& done,
                                 std::function<void()> cancel)
    : m_parent(parent), m_total(total), m_done(done), m_cancel(std::move(cancel)) {
    connect(&m_timer, &QTimer::timeout, this, &OpeningProgress::update);
    m_timer.start(kUpdateMs);
}

OpeningProgress::~OpeningProgress() { delete m_dialog; }

void OpeningProgress::update() {
    if (!m_dialog) {
        if (++m_ticks * kUpdateMs < kShowAfterMs) return;
        m_dialog =
            new QProgressDialog(QStringLiteral("Открытие лога..."), QStringLiteral("Отмена"), 0, kSteps, m_parent);
        m_dialog->setObjectName("openingProgress");
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        connect(m_dialog, &QProgressDialog::canceled, this, [this] { m_cancel(); });
    }
    const double share = m_total ? double(m_done.load(std::memory_order_relaxed)) / double(m_total) : 1.0;
    m_dialog->setValue(int(share * kSteps));
}

}  // namespace darvelon::ui
