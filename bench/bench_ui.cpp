// Timed figures for the user interface, run by hand offscreen: how fast a pane of 12-megapixel
// photos fills its tiles, the memory kept after paging through 5,000 photos, and the longest
// stall of the user-interface thread during a large scan and while a page of thumbnails loads.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_ui
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/windowmessages.h"
#include "bench/bench_photos.h"
#include "tools/samplegen/samplegen.h"
#include "ui/backuplist.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/photoview.h"
#include "ui/picture.h"
#include "ui/windowmessage.h"

namespace fs = std::filesystem;
using namespace pixhaven;
using Items = std::vector<std::unique_ptr<backup::MediaItem>>;

namespace {

constexpr int kPagePhotos = 100;
constexpr int kPagedPhotos = 5000;
constexpr int kLargeFiles = 50000;
constexpr int kLargePhotos = 20000;
constexpr int kStallTickMs = 5;
constexpr int kWaitLimitMs = 30 * 60 * 1000;

// A folder under the temp folder, removed when the run ends.
class WorkFolder {
public:
    WorkFolder()
        : root_(fs::temp_directory_path() / ("pixhaven-bench-ui-" + std::to_string(::getpid()))) {
        fs::create_directories(root_);
    }
    ~WorkFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    fs::path operator/(const std::string& name) const { return root_ / name; }

private:
    fs::path root_;
};

// Ticks every few milliseconds on the user-interface thread and keeps the longest gap between
// two ticks: how long the thread was too busy to answer.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        longestMs_ = 0;
        clock_.start();
        timer_.start(kStallTickMs);
    }
    void Stop() {
        Tick();
        timer_.stop();
    }
    double LongestMs() const { return longestMs_; }

private:
    void Tick() {
        longestMs_ = std::max(longestMs_, double(clock_.nsecsElapsed()) / 1e6);
        clock_.restart();
    }

    QTimer timer_;
    QElapsedTimer clock_;
    double longestMs_ = 0;
};

// Runs the event loop until `done` holds, checking it every millisecond. False on timing out.
bool RunUntil(const std::function<bool()>& done, int limitMs = kWaitLimitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs) {
            loop.quit();
        }
    });
    poll.start(1);
    if (!done()) {
        loop.exec();
    }
    return done();
}

class HostStub : public ui::PagingHost {
public:
    void SetPageText(const QString&) override {}
    void SetPagingEnabled(bool) override {}
    QObject* NotificationTarget() override { return &target_; }

private:
    QObject target_;
};

Items MakeItems(const std::vector<fs::path>& files, int count) {
    Items items;
    for (int i = 0; i < count; ++i) {
        const fs::path& file = files[static_cast<std::size_t>(i) % files.size()];
        auto item = std::make_unique<backup::MediaItem>();
        item->displayName = u"IMG_" + QString::number(1000 + i).toStdU16String() + u".JPG";
        item->file = file;
        item->picture = std::make_unique<ui::DecodedPicture>(file);
        items.push_back(std::move(item));
    }
    return items;
}

bool PageRendered(const Items& items, int page) {
    const auto first = static_cast<std::size_t>(page) * kPagePhotos;
    const auto end = std::min(items.size(), first + kPagePhotos);
    for (std::size_t i = first; i < end; ++i) {
        if (!ui::PictureOf(*items[i])->HasThumbnail()) {
            return false;
        }
    }
    return true;
}

// A window of the main window's size with one category-0 pane over `items`.
struct PaneWindow {
    HostStub host;
    QWidget window;
    std::unique_ptr<ui::CPhotoViewDlg> pane;

    explicit PaneWindow(Items& items) {
        window.resize(ui::CMainDlg::kWidth, ui::CMainDlg::kHeight);
        pane = std::make_unique<ui::CPhotoViewDlg>(ui::PaneDesignFor(0), items, host, &window);
        window.show();
        pane->StartLoading();  // as the main window does when it shows a pane
    }
    ~PaneWindow() { pane.reset(); }  // the pane's loader stops before the host goes
    PaneWindow(const PaneWindow&) = delete;
    PaneWindow& operator=(const PaneWindow&) = delete;
};

long StatusKilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stol(line.substr(key.size() + 1));
        }
    }
    return -1;
}

// Figures 1 and 3b: one page of 12-megapixel photos, from showing the pane to the last tile.
void MeasureFirstPage(const WorkFolder& work, bool withExif, double targetSeconds) {
    const auto files = bench::WritePhotos(work / (withExif ? "exif" : "plain"),
                                          {4000, 3000, withExif, 4}, kPagePhotos);
    Items items = MakeItems(files, kPagePhotos);
    StallMeter stalls;
    QElapsedTimer clock;
    stalls.Start();
    clock.start();
    PaneWindow pane(items);
    const bool finished = RunUntil([&] { return PageRendered(items, 0); });
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    stalls.Stop();
    const char* kind = withExif ? "with EXIF thumbnails" : "without EXIF thumbnails";
    std::printf("first page, 100 x 12 MP %-24s %7.3f s   (target < %.1f s)%s\n", kind, seconds,
                targetSeconds, finished ? "" : "  NOT FINISHED");
    std::printf("longest UI stall, page of 12 MP %-16s %7.1f ms  (target < 100 ms)\n",
                withExif ? "(EXIF)" : "(no EXIF)", stalls.LongestMs());
    std::fflush(stdout);
}

// Figure 2: memory after paging one pane through 5,000 photos, each page loaded.
void MeasurePagedMemory(const WorkFolder& work) {
    const auto files = bench::WritePhotos(work / "paged", {1600, 1200, true, 8}, 16);
    const long before = StatusKilobytes("VmRSS");
    Items items = MakeItems(files, kPagedPhotos);
    QElapsedTimer clock;
    clock.start();
    PaneWindow pane(items);
    const int pages = pane.pane->PageCount();
    bool finished = true;
    for (int page = 0; page < pages && finished; ++page) {
        finished = RunUntil([&] { return PageRendered(items, page); });
        if (page + 1 < pages) {
            ui::SendWindowMessage(pane.pane.get(), WM_PAGE_NEXT, 0);
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf(
        "memory after paging 5,000 photos (%d pages, %.1f s): VmRSS %.1f MB, VmHWM %.1f "
        "MB, before %.1f MB   (target < 400 MB)%s\n",
        pages, seconds, double(StatusKilobytes("VmRSS")) / 1024.0,
        double(StatusKilobytes("VmHWM")) / 1024.0, double(before) / 1024.0,
        finished ? "" : "  NOT FINISHED");
    std::fflush(stdout);
}

// Figure 3a: the longest stall while the main window scans 50,000 files.
void MeasureScanStall(const WorkFolder& work) {
    samplegen::SampleOptions options;
    options.out = work / "root";
    options.preset = samplegen::SamplePreset::Small;
    options.largeFiles = kLargeFiles;
    options.largePhotos = kLargePhotos;
    const auto report = samplegen::GenerateSampleRoot(options);
    const auto largest = std::max_element(
        report.backups.begin(), report.backups.end(),
        [](const auto& a, const auto& b) { return a.records.size() < b.records.size(); });

    ui::DesktopServices desktop;
    desktop.backupRoot = report.root;
    desktop.runModal = [](QDialog&) { return int(ui::CMsgBox::kOkResult); };
    desktop.chooseFolder = [](QWidget*, const QString&) { return QString(); };
    desktop.openAddress = [](const QString&) {};
    desktop.openFolder = [](const QString&) {};
    ui::CMainDlg window(ui::UpdateServices{}, std::move(desktop));
    window.show();
    RunUntil([] { return false; }, 200);  // settle the first paint

    auto& list =
        *window.findChild<ui::CListViewExBackups*>(QString::number(ui::CMainDlg::kBackupListId));
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.Row(row)->folderName == fs::path(largest->folderName)) {
            list.setCurrentItem(list.topLevelItem(row));
        }
    }
    StallMeter stalls;
    QElapsedTimer clock;
    stalls.Start();
    clock.start();
    // The click reads the manifest before the worker starts: timed on its own to tell them apart.
    QElapsedTimer clickClock;
    clickClock.start();
    window.findChild<QAbstractButton*>(QString::number(ui::CMainDlg::kStartScanId))->click();
    const double clickMs = double(clickClock.nsecsElapsed()) / 1e6;
    const bool finished = RunUntil([&] { return window.ScanComplete(); });
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double scanningMs = stalls.LongestMs();
    RunUntil([] { return false; }, 500);  // the results screen and its first pane
    stalls.Stop();
    std::size_t found = 0;
    for (const auto& group : window.Results().groups) {
        found += group.size();
    }
    std::printf(
        "longest UI stall, scan of %zu files (%zu items, %.1f s) %6.1f ms  (target < 100 "
        "ms; %.1f ms until the scan ended, %.1f ms in the start click)%s\n",
        largest->records.size(), found, seconds, stalls.LongestMs(), scanningMs, clickMs,
        finished ? "" : "  NOT FINISHED");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef PIXHAVEN_BENCH_IMAGE_DIR
    if (qEnvironmentVariableIsEmpty("PIXHAVEN_IMAGE_DIR")) {
        qputenv("PIXHAVEN_IMAGE_DIR", PIXHAVEN_BENCH_IMAGE_DIR);
    }
#endif
    QApplication app(argc, argv);
    const WorkFolder work;
    MeasurePagedMemory(work);  // first, so the peak is the paging's own
    MeasureFirstPage(work, true, 0.5);
    MeasureFirstPage(work, false, 3.0);
    MeasureScanStall(work);
    return 0;
}
