#include "ui/progress_dialog.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QString>

#include "ui/qt_ports.h"

namespace morvel {

CQtProgress::~CQtProgress() { End(); }

bool CQtProgress::Advance(int64_t done, int64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_running) {
        m_running = true;
        m_start = now;
        return true;
    }
    if (!m_window) {
        if (now - m_start < kDelay) return true;
        const bool japanese = m_language == Language::kJapanese;
        m_window = new QProgressDialog(japanese ? QString::fromUtf8("変換しています...") : QStringLiteral("Converting..."),
                                       japanese ? QString::fromUtf8("キャンセル") : QStringLiteral("Cancel"), 0,
                                       total > 0 ? kSteps : 0, m_over);
        m_window->setWindowTitle(QString::fromLatin1(kProgramTitle));
        m_window->setWindowModality(Qt::ApplicationModal);
        m_window->setAutoClose(false);
        m_window->setAutoReset(false);
        m_window->setMinimumDuration(0);
        m_window->show();
    }
    if (total > 0) m_window->setValue(static_cast<int>(done * kSteps / total));
    QCoreApplication::processEvents();
    return !m_window->wasCanceled();
}

void CQtProgress::End() {
    m_running = false;
    delete m_window;
    m_window = nullptr;
}

}  // namespace morvel
