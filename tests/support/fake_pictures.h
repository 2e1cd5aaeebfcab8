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
    std::unique_ptr<backup::PictureSource> Make(const backup::StoredContent&) override {
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

    std::unique_ptr<backup::PictureSource> Make(const backup::StoredContent& file) override {
        calls.push_back(file.path);
        if (makeNothing) {
            return nullptr;
        }
        return std::make_unique<FakePicture>(file.path);
    }
    std::unique_ptr<backup::PictureSource> MakeWithPreview(
        const backup::StoredContent& file, const backup::StoredContent& preview) override {
        previews.emplace_back(file.path, preview.path);
        return Make(file);
    }
};

}  // namespace pixhaven::test
