// The preview's speed on a large input, in the real dialog on Qt's
// offscreen platform: a refresh that reads and converts the input and shows
// it in the text view and in the hex view, a change on the output side (the
// kept input converted again), and how long the shown window takes to
// repaint, scroll and resize afterwards. Times are wall-clock milliseconds:
// the fastest, the median and the slowest of the runs (on a loaded machine
// the fastest says most about the code).
//
//   preview_bench FILE [RUNS]
//
// FILE is read as the dialog's input (AutoDetect); bench/preview.sh makes
// 10 MB and 100 MB Shift-JIS files from the benchmark corpus.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ui/drop_combo_box.h"
#include "ui/main_dlg.h"

using namespace morvel;

namespace {

class BenchDlg : public CMainDlg {
public:
    BenchDlg() : CMainDlg(Language::kEnglish, nullptr) {}

protected:
    void ShowPreviewMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

double Ms(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void Report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-40s fastest %7.1f  median %7.1f  slowest %7.1f ms\n", what, times.front(), times[times.size() / 2],
                times.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench FILE [RUNS]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    BenchDlg dlg;
    dlg.m_inputMode = AutoDetect;
    dlg.m_outputMode = ShiftJis;
    dlg.m_inputPath = path;
    dlg.OnInitDialog();
    dlg.show();
    QApplication::processEvents();
    CPreviewDlg* preview = dlg.PreviewWindow();

    // Everything a refresh does until the window has painted its result.
    auto refresh = [&](PreviewState state) {
        dlg.m_previewState = state;
        dlg.RefreshPreview();
        preview->repaint();
        QApplication::processEvents();
    };
    dlg.OnPreview();  // opens the preview
    QApplication::processEvents();

    std::vector<double> text, hex, output, frames;
    for (int i = 0; i < runs; ++i) {
        dlg.m_hexDisplay = 0;
        text.push_back(Ms([&] { refresh(ReloadInput); }));
    }
    for (int i = 0; i < runs; ++i) {
        dlg.m_hexDisplay = 1;
        hex.push_back(Ms([&] { refresh(ReloadInput); }));
    }
    dlg.m_hexDisplay = 0;
    refresh(ReloadInput);
    const EncodingId outputs[] = {Jis, EucJp, ShiftJis};
    for (int i = 0; i < runs; ++i) {
        dlg.m_outputMode = outputs[i % 3];
        output.push_back(Ms([&] { refresh(Reconvert); }));
    }
    // The shown result: repaints while scrolling and resizing.
    QScrollBar* bar = preview->m_edit->verticalScrollBar();
    for (int i = 0; i < 20; ++i) {
        frames.push_back(Ms([&] {
            bar->setValue(bar->maximum() * i / 19);
            preview->repaint();
        }));
        frames.push_back(Ms([&] {
            preview->resize(300 + 20 * i, 300 + 10 * i);
            QApplication::processEvents();
            preview->repaint();
        }));
    }
    std::printf("%s: %lld bytes as Shift-JIS, shown %lld bytes at most; %d runs\n", path.c_str(),
                static_cast<long long>(dlg.m_previewIn.Size()), static_cast<long long>(CColorEdit::kMaxText - 1), runs);
    Report("refresh, input read again, text view", text);
    Report("refresh, input read again, hex view", hex);
    Report("output-side change, text view", output);
    Report("scroll or resize of the shown window", frames);
    return 0;
}
