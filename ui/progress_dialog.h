// Progress of a run started from the dialog: once the run has taken more
// than half a second, a progress window over the main dialog with the bytes
// of the input done against its size, and Cancel, which stops the run. The
// run calls it between blocks, so the window's events are handled there.
#pragma once

#include <chrono>
#include <cstdint>

#include "app/ports.h"
#include "app/strings.h"

class QProgressDialog;
class QWidget;

namespace morvel {

class CQtProgress final : public IProgressPort {
public:
    CQtProgress(QWidget* over, Language language) : m_over(over), m_language(language) {}
    ~CQtProgress() override;

    bool Advance(int64_t done, int64_t total) override;
    void End() override;

    static constexpr std::chrono::milliseconds kDelay{500};
    // Steps of the bar: a share of the size, so sizes past 2 GiB fit an int.
    static constexpr int kSteps = 1000;

private:
    QWidget* m_over;
    Language m_language;
    bool m_running = false;
    std::chrono::steady_clock::time_point m_start;
    QProgressDialog* m_window = nullptr;
};

}  // namespace morvel
