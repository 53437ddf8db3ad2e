// Writes the application icon under the folder given as the only argument: vellumkite.svg,
// hicolor/<n>x<n>/apps/vellumkite.png, and vellumkite.icns for the macOS bundle.
#include "AppIcon.hpp"
#include "IcnsFile.hpp"
#include "QtText.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <vector>

namespace {

// Each size is drawn and encoded once: the hicolor files and the icon file's entries of that
// size carry the same bytes.
class Pngs {
public:
    const QByteArray& of(int size) {
        auto [it, added] = pngs_.try_emplace(size);
        if (added) {
            QBuffer buffer(&it->second);
            if (!buffer.open(QIODevice::WriteOnly) ||
                !vellumkite::AppIcon::image(size).save(&buffer, "PNG"))
                it->second.clear();
        }
        return it->second;
    }

private:
    std::map<int, QByteArray> pngs_; // a map, so that references stay valid as it grows
};

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok =
        out.mkpath(QStringLiteral(".")) && writeFile(out.filePath(QStringLiteral("vellumkite.svg")),
                                                     vellumkite::AppIcon::svg().toUtf8());
    Pngs pngs;
    for (const int size : vellumkite::AppIcon::kSizes) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        ok = ok && out.mkpath(folder) &&
             writeFile(out.filePath(folder + QStringLiteral("/vellumkite.png")), pngs.of(size));
    }
    if (!ok) {
        std::fprintf(stderr, "%s: could not write the icons to %s\n", argv[0], argv[1]);
        return 1;
    }

    std::vector<vellumkite::IcnsFile::Entry> entries;
    for (const auto& type : vellumkite::IcnsFile::kPngTypes) {
        const QByteArray& png = pngs.of(type.pixels);
        ok = ok && !png.isEmpty();
        entries.push_back(
            {type.code, std::string_view(png.constData(), static_cast<std::size_t>(png.size()))});
    }
    const QByteArray icns = QFile::encodeName(out.filePath(QStringLiteral("vellumkite.icns")));
    if (!ok || !vellumkite::IcnsFile::write(vellumkite::stdString(icns), entries)) {
        std::fprintf(stderr, "%s: could not write %s: %s\n", argv[0], icns.constData(),
                     ok ? std::strerror(errno) : "a picture could not be drawn");
        return 1;
    }
    return 0;
}
