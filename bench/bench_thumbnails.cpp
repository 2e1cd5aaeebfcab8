// Thumbnail rendering speed for 12-megapixel camera photos, with and without an EXIF preview, on
// one thread and on two, and the memory that 5,000 kept thumbnails take.
//   bench_thumbnails     Google Benchmark run; the photos are written once into a temp folder
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_photos.h"
#include "makerlibs/gildpaint.h"
#include "ui/picture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPhotos = 100;
constexpr int kDistinctPhotos = 4;  // encoding 12 MP is slow: the rest are links to these
constexpr int kKeptThumbnails = 5000;
constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::vector<fs::path> WritePhotos(const fs::path& folder, bool withExif, int count) {
    return pixhaven::bench::WritePhotos(folder, {kWidth, kHeight, withExif, kDistinctPhotos},
                                        count);
}

// The generated photos, written on first use and removed when the run ends.
class PhotoFolder {
public:
    PhotoFolder()
        : root_(fs::temp_directory_path() /
                ("pixhaven-bench-thumbnails-" + std::to_string(::getpid()))),
          withExif_(WritePhotos(root_ / "exif", true, kPhotos)),
          withoutExif_(WritePhotos(root_ / "plain", false, kPhotos)) {}
    ~PhotoFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    PhotoFolder(const PhotoFolder&) = delete;
    PhotoFolder& operator=(const PhotoFolder&) = delete;

    const std::vector<fs::path>& Photos(bool withExif) const {
        return withExif ? withExif_ : withoutExif_;
    }

private:
    fs::path root_;
    std::vector<fs::path> withExif_;
    std::vector<fs::path> withoutExif_;
};

const PhotoFolder& Photos() {
    static const PhotoFolder folder;
    return folder;
}

// The tile's picture box for a photo of the benchmark's size.
QSize TileBox() {
    GpRect fitted;
    calc_subrect(fitted, 7, 10, 113, 116, kWidth, kHeight);
    return {fitted.Width() - 6, fitted.Height() - 6};
}

// Renders every photo once, shared among `threads` threads the way loaders share the cores.
void RenderAll(const std::vector<fs::path>& files, int threads) {
    const QSize box = TileBox();
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&files, box, t, threads] {
            for (std::size_t i = std::size_t(t); i < files.size(); i += std::size_t(threads)) {
                benchmark::DoNotOptimize(pixhaven::ui::RenderThumbnailOf(files[i], box));
            }
        });
    }
}

void BM_HundredPhotos(benchmark::State& state) {
    const bool withExif = state.range(0) != 0;
    const auto threads = static_cast<int>(state.range(1));
    const auto& files = Photos().Photos(withExif);
    for (auto _ : state) {
        RenderAll(files, threads);
    }
    state.SetLabel(withExif ? "with EXIF thumbnails" : "without EXIF thumbnails");
}
BENCHMARK(BM_HundredPhotos)
    ->ArgNames({"exif", "threads"})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double PeakResidentMegabytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// 5,000 items with their thumbnails kept, as a large camera roll paged through to the end.
void BM_KeepThumbnails(benchmark::State& state) {
    const auto& files = Photos().Photos(true);
    const QSize box = TileBox();
    const double before = ResidentMegabytes();
    for (auto _ : state) {
        std::vector<std::unique_ptr<pixhaven::ui::DecodedPicture>> items;
        for (int i = 0; i < kKeptThumbnails; ++i) {
            auto picture =
                std::make_unique<pixhaven::ui::DecodedPicture>(files[std::size_t(i % kPhotos)]);
            picture->SetThumbnail(picture->RenderThumbnail(box));
            items.push_back(std::move(picture));
        }
        state.counters["rss_MB"] = ResidentMegabytes();
        state.counters["kept_MB"] = ResidentMegabytes() - before;
        state.counters["peak_rss_MB"] = PeakResidentMegabytes();
    }
}
BENCHMARK(BM_KeepThumbnails)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // image plugins are found through the application
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
