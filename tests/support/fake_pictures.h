// Picture factories for scans that decode nothing: one that makes no pictures, and one that makes
// placeholders and records what it was asked for.
#pragma once

#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "backup/media.h"

namespace pixhaven::test {

class NoPictures : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const std::filesystem::path&) override {
        return nullptr;
    }
};

class FakePicture : public backup::PictureSource {
public:
    explicit FakePicture(std::filesystem::path file) : file_(std::move(file)) {}
    const std::filesystem::path& File() const override { return file_; }

private:
    std::filesystem::path file_;
};

class FakePictures : public backup::PictureFactory {
public:
    bool makeNothing = false;
    std::vector<std::filesystem::path> calls;  // every file a picture was asked for
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>>
        previews;  // (file, preview)

    std::unique_ptr<backup::PictureSource> Make(const std::filesystem::path& file) override {
        calls.push_back(file);
        if (makeNothing) {
            return nullptr;
        }
        return std::make_unique<FakePicture>(file);
    }
    std::unique_ptr<backup::PictureSource> MakeWithPreview(
        const std::filesystem::path& file, const std::filesystem::path& preview) override {
        previews.emplace_back(file, preview);
        return Make(file);
    }
};

}  // namespace pixhaven::test
