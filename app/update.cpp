// The update check and the updater start.
#include "app/update.h"

#include <QProcess>
#include <QString>
#include <QUrl>

#include "makerlibs/qvutility.h"
#include "platform/userdirs.h"

namespace pixhaven::app {
namespace {

QString ToQString(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::u16string UpdateListAddress(const std::filesystem::path& programFolder) {
    return QUrl::fromLocalFile(ToQString(programFolder / "update.lst"))
        .toString(QUrl::FullyEncoded)
        .toStdU16String();
}

QStringList UpdaterArguments(std::u16string_view version) {
    return {QString::fromStdU16String(std::u16string(kProgramName)),
            QString::fromStdU16String(std::u16string(version)),
            QStringLiteral("Quillmark Pixhaven"),
            QStringLiteral("#32770"),
            ToQString(kProductId),
            ToQString(kProductId2)};
}

std::filesystem::path UpdaterProgram(const std::filesystem::path& programFolder) {
    return programFolder / platform::ProgramFileName("freshpatch");
}

void LaunchUpdater(const std::filesystem::path& programFolder, std::u16string_view version) {
    QProcess::startDetached(ToQString(UpdaterProgram(programFolder)), UpdaterArguments(version));
}

ui::UpdateServices MakeUpdateServices(const std::filesystem::path& programFolder,
                                      std::u16string_view version) {
    ui::UpdateServices services;
    services.checkUpdate = [address = UpdateListAddress(programFolder),
                            current = std::u16string(version)] {
        return qvCheckUpdate(kProgramName, current, address);
    };
    services.launchUpdater = [programFolder, current = std::u16string(version)] {
        LaunchUpdater(programFolder, current);
    };
    return services;
}

}  // namespace pixhaven::app
