// The hog tab on an archive of 100,000 entries, as a user meets it: opening the
// archive until the window has painted its list, until the Packed column is
// complete, narrowing the list with the filter, sorting it by name and selecting
// every row with the status bar's total.
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise; each
// timed step ends with a synchronous repaint of the whole window, so the time
// includes what the list draws.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>
#include <filesystem>
#include <random>

#include "ovedit/archive/hog.h"
#include "ovedit/ui/hog_list_model.h"
#include "ovedit/ui/hog_tab.h"
#include "ovedit/ui/main_window.h"

namespace {

namespace fs = std::filesystem;
using namespace ov;

fs::path g_archive;
edit::MainWindow* g_window = nullptr;

// 100,000 entries with folder parts, every third one starting with a packed header.
void writeArchive() {
    g_archive = fs::temp_directory_path() /
                ("hog_window_bench-" + std::to_string(std::random_device{}()) + ".hog");
    std::vector<archive::HogItem> items(100000);
    for (size_t i = 0; i < items.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "textures\\pack%03zu\\tex_%06zu.bmp", i % 100, i);
        items[i].name = name;
        items[i].data = i % 3 == 0 ? Bytes{0x10, 0xFB, 0x00, uint8_t(i >> 8), uint8_t(i), 0}
                                   : Bytes{uint8_t(i), uint8_t(i >> 8)};
    }
    if (!archive::writeHog(g_archive, items)) std::abort();
}

edit::HogTab* tab() {
    return g_window->hogTab();
}

void settle() {
    while (tab()->backgroundWorkRunning())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();
}

void openArchive(const QString& path) {
    if (!tab()->openArchive(path)) std::abort();
}

void openAndShow(benchmark::State& state) {
    const QString path = QString::fromStdString(g_archive.string());
    for (auto _ : state) {
        openArchive(path);
        g_window->repaint();
        state.PauseTiming();
        settle();
        tab()->closeArchive();
        state.ResumeTiming();
    }
}

void openUntilPackedColumnComplete(benchmark::State& state) {
    const QString path = QString::fromStdString(g_archive.string());
    for (auto _ : state) {
        openArchive(path);
        g_window->repaint();
        while (tab()->listModel()->packScanRunning())
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        g_window->repaint();
        state.PauseTiming();
        settle();
        tab()->closeArchive();
        state.ResumeTiming();
    }
}

// The steps below work on the archive left open.
void openOnce() {
    if (!tab()->hasArchive()) openArchive(QString::fromStdString(g_archive.string()));
    settle();
}

void filterByName(benchmark::State& state) {
    openOnce();
    for (auto _ : state) {
        tab()->filterModel()->setNameFilter("TEX_0999");  // 100 rows: tex_099900-099999
        g_window->repaint();
        state.PauseTiming();
        if (tab()->filterModel()->rowCount() != 100) state.SkipWithError("wrong row count");
        tab()->filterModel()->setNameFilter({});
        state.ResumeTiming();
    }
}

void sortByName(benchmark::State& state) {
    openOnce();
    QTableView* list = tab()->listView();
    for (auto _ : state) {
        list->sortByColumn(edit::HogListModel::Name, Qt::DescendingOrder);
        g_window->repaint();
        state.PauseTiming();
        list->sortByColumn(-1, Qt::AscendingOrder);
        state.ResumeTiming();
    }
}

void selectAllWithTotal(benchmark::State& state) {
    openOnce();
    QTableView* list = tab()->listView();
    for (auto _ : state) {
        list->selectAll();
        const QString total = tab()->selectionSummary();
        g_window->repaint();
        benchmark::DoNotOptimize(total);
        state.PauseTiming();
        list->clearSelection();
        state.ResumeTiming();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    writeArchive();
    {
        edit::MainWindow window(/*useSettings=*/false);
        g_window = &window;
        window.show();
        QApplication::processEvents();

        benchmark::RegisterBenchmark("hog_tab/open_and_show/100000", openAndShow)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("hog_tab/open_until_packed_column/100000",
                                     openUntilPackedColumnComplete)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("hog_tab/filter/100000", filterByName)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("hog_tab/sort_by_name/100000", sortByName)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("hog_tab/select_all/100000", selectAllWithTotal)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        g_window = nullptr;
    }
    std::error_code ec;
    fs::remove(g_archive, ec);
    return 0;
}
