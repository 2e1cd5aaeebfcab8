// Timed figures for the user interface, run by hand offscreen: how fast a pane of 12-megapixel
// photos fills its tiles, plain and stored encrypted, the memory kept after paging through 5,000
// photos, and the longest stall of the user-interface thread during a large scan and while a page
// of thumbnails loads.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_ui [paging] [first-page] [scan]
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
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_photos.h"
#include "tools/samplegen/crypto.h"
#include "tools/samplegen/samplegen.h"
#include "ui/backuplist.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/photoview.h"
#include "ui/picture.h"
#include "ui/windowmessage.h"
#include "ui/windowmessages.h"

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
// Each first page is timed this often, plain and encrypted in turn; the best time of each counts.
constexpr int kPageRounds = 3;

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

// Item `i` of a pane, as a scan makes it from its stored content.
std::unique_ptr<backup::MediaItem> MakeItem(int i, const backup::StoredContent& content) {
    auto item = std::make_unique<backup::MediaItem>();
    item->displayName = u"IMG_" + QString::number(1000 + i).toStdU16String() + u".JPG";
    item->file = content;
    item->picture = std::make_unique<ui::DecodedPicture>(content);
    return item;
}

Items MakeItems(const std::vector<fs::path>& files, int count) {
    Items items;
    for (int i = 0; i < count; ++i) {
        items.push_back(
            MakeItem(i, backup::StoredContent(files[static_cast<std::size_t>(i) % files.size()])));
    }
    return items;
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The same photos as an encrypted backup stores them: each file encrypted with a key of its own
// (AES-256-CBC, zero IV, PKCS#7 padding, through libcrypto), its content carrying the key and the
// plaintext's size.
Items MakeEncryptedItems(const std::vector<fs::path>& files, const fs::path& folder, int count) {
    fs::create_directories(folder);
    std::mt19937_64 random(20240315);
    Items items;
    for (int i = 0; i < count; ++i) {
        const std::string plain = ReadBytes(files[static_cast<std::size_t>(i) % files.size()]);
        auto key = std::make_shared<backup::SecretBytes>(32);
        for (std::size_t b = 0; b < key->size(); ++b) {
            key->data()[b] = static_cast<unsigned char>(random());
        }
        const fs::path stored = folder / ("stored_" + std::to_string(i));
        bench::WriteBytes(
            stored,
            samplegen::AesCbcEncrypt(
                std::string_view(reinterpret_cast<const char*>(key->data()), key->size()), plain));
        items.push_back(
            MakeItem(i, backup::StoredContent(stored, std::move(key), true, plain.size())));
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

struct PageTiming {
    double seconds = 0;
    double longestStallMs = 0;
    bool finished = true;
};

// One page of photos, from showing the pane to the last tile.
PageTiming TimeFirstPage(Items& items) {
    StallMeter stalls;
    QElapsedTimer clock;
    stalls.Start();
    clock.start();
    PaneWindow pane(items);
    const bool finished = RunUntil([&] { return PageRendered(items, 0); });
    PageTiming timing{double(clock.nsecsElapsed()) / 1e9, 0, finished};
    stalls.Stop();
    timing.longestStallMs = stalls.LongestMs();
    return timing;
}

// The better of two timings; unfinished ones count as not finished.
PageTiming Best(const PageTiming& a, const PageTiming& b) {
    PageTiming best = a.seconds <= b.seconds ? a : b;
    best.finished = a.finished && b.finished;
    best.longestStallMs = std::max(a.longestStallMs, b.longestStallMs);
    return best;
}

// Figures 1 and 3b: one page of 12-megapixel photos, and the same photos stored encrypted.
void MeasureFirstPage(const WorkFolder& work, bool withExif, double targetSeconds) {
    const std::string name = withExif ? "exif" : "plain";
    const auto files = bench::WritePhotos(work / name, {4000, 3000, withExif, 4}, kPagePhotos);
    PageTiming plain{1e9, 0, true};
    PageTiming encrypted{1e9, 0, true};
    for (int round = 0; round < kPageRounds; ++round) {
        Items plainItems = MakeItems(files, kPagePhotos);
        plain = Best(plain, TimeFirstPage(plainItems));
        Items encryptedItems = MakeEncryptedItems(files, work / (name + "-encrypted"), kPagePhotos);
        encrypted = Best(encrypted, TimeFirstPage(encryptedItems));
    }
    const char* kind = withExif ? "with EXIF thumbnails" : "without EXIF thumbnails";
    std::printf("first page, 100 x 12 MP %-24s %7.3f s   (target < %.1f s)%s\n", kind,
                plain.seconds, targetSeconds, plain.finished ? "" : "  NOT FINISHED");
    std::printf(
        "first page, 100 x 12 MP %-24s %7.3f s   encrypted: %.2fx plain (target < 1.5x)%s\n", kind,
        encrypted.seconds, encrypted.seconds / plain.seconds,
        encrypted.finished ? "" : "  NOT FINISHED");
    std::printf(
        "longest UI stall, page of 12 MP %-16s %7.1f ms  (target < 100 ms; encrypted "
        "%.1f ms)\n",
        withExif ? "(EXIF)" : "(no EXIF)", plain.longestStallMs, encrypted.longestStallMs);
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
    // Figures may be named to run only those: paging, first-page, scan.
    const QStringList chosen = QApplication::arguments().mid(1);
    const auto wanted = [&chosen](const char* figure) {
        return chosen.isEmpty() || chosen.contains(QString::fromLatin1(figure));
    };
    const WorkFolder work;
    if (wanted("paging")) {
        MeasurePagedMemory(work);  // first, so the peak is the paging's own
    }
    if (wanted("first-page")) {
        MeasureFirstPage(work, true, 0.5);
        MeasureFirstPage(work, false, 3.0);
    }
    if (wanted("scan")) {
        MeasureScanStall(work);
    }
    return 0;
}
