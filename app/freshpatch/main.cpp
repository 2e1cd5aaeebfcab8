// Stand-in for the maker's updater: shows the arguments it was started with. With
// PIXHAVEN_FRESHPATCH_LOG set it appends them to that file, one per line after a header line,
// and ends without a window.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTextStream>

namespace {

bool AppendToLog(const QString& logFile, const QStringList& arguments) {
    QFile file(logFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&file);
    out << "freshpatch " << arguments.size() << '\n';
    for (const QString& argument : arguments) {
        out << argument << '\n';
    }
    return out.status() == QTextStream::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString logFile = qEnvironmentVariable("PIXHAVEN_FRESHPATCH_LOG");
    if (!logFile.isEmpty()) {
        return AppendToLog(logFile, arguments) ? 0 : 1;
    }
    QMessageBox::information(nullptr, QStringLiteral("Freshpatch"),
                             QStringLiteral("Started with:\n") + arguments.join(u'\n'));
    return 0;
}
