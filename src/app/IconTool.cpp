// Writes the application icon: vellumkite.svg and hicolor/<n>x<n>/apps/vellumkite.png under the
// folder given as the only argument.
#include "AppIcon.hpp"

#include <cstdio>
#include <QDir>
#include <QFile>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = out.mkpath(QStringLiteral("."));
    QFile svg(out.filePath(QStringLiteral("vellumkite.svg")));
    ok = ok && svg.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         svg.write(vellumkite::AppIcon::svg().toUtf8()) >= 0;
    svg.close();
    for (const int size : vellumkite::AppIcon::kSizes) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        ok = ok && out.mkpath(folder) &&
             vellumkite::AppIcon::image(size).save(out.filePath(folder + "/vellumkite.png"));
    }
    if (!ok)
        std::fprintf(stderr, "%s: could not write the icons to %s\n", argv[0], argv[1]);
    return ok ? 0 : 1;
}
