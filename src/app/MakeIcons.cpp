// Writes the program's icon as sarvoli3-<size>.png at each size given, into a folder, or with
// --ico as one Windows icon file holding every size: the desktop's pictures of the program and
// the executable's icon on Windows come from the same drawing as the window's.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/CopyPicture.h"

namespace {

QByteArray pngAt(int size)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!sarvoli::app::copyPictureAt(size).save(&buffer, "PNG"))
        png.clear();
    return png;
}

void putLittle(QByteArray& out, unsigned value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// An icon file whose pictures are PNG images, as Windows reads them since Vista.
bool writeIco(const QString& file, const std::vector<int>& sizes)
{
    QByteArray directory;
    QByteArray images;
    putLittle(directory, 0, 2);  // reserved
    putLittle(directory, 1, 2);  // an icon
    putLittle(directory, static_cast<unsigned>(sizes.size()), 2);
    const unsigned start = 6 + 16 * static_cast<unsigned>(sizes.size());
    for (const int size : sizes) {
        const QByteArray png = pngAt(size);
        if (png.isEmpty() || size > 256)
            return false;
        putLittle(directory, size == 256 ? 0 : static_cast<unsigned>(size), 1);  // 0 stands for 256
        putLittle(directory, size == 256 ? 0 : static_cast<unsigned>(size), 1);
        putLittle(directory, 0, 2);   // no palette, reserved
        putLittle(directory, 1, 2);   // planes
        putLittle(directory, 32, 2);  // bits a pixel
        putLittle(directory, static_cast<unsigned>(png.size()), 4);
        putLittle(directory, start + static_cast<unsigned>(images.size()), 4);
        images += png;
    }
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(directory + images) == directory.size() + images.size();
}

}  // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const bool ico = argc > 1 && QByteArray(argv[1]) == "--ico";
    const int first = ico ? 2 : 1;
    if (argc < first + 2) {
        std::fprintf(stderr, "usage: sarvoli3_icons FOLDER SIZE...\n       sarvoli3_icons --ico FILE SIZE...\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[first]);
    std::vector<int> sizes;
    for (int i = first + 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    for (const int size : sizes) {
        if (size <= 0) {
            std::fprintf(stderr, "not a size: %d\n", size);
            return 2;
        }
    }
    if (ico) {
        if (!writeIco(target, sizes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(target));
            return 1;
        }
        return 0;
    }
    const QDir folder(target);
    for (const int size : sizes) {
        const QString file = folder.filePath(QStringLiteral("sarvoli3-%1.png").arg(size));
        if (!sarvoli::app::copyPictureAt(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
