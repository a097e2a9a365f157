// Writes the program's icon as sarvoli3-<size>.png at each size given, into a folder: the
// desktop's pictures of the program come from the same drawing as the window's.
#include <QGuiApplication>
#include <QDir>

#include <cstdio>
#include <cstdlib>

#include "app/CopyPicture.h"

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: sarvoli3_icons FOLDER SIZE...\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString file = folder.filePath(QStringLiteral("sarvoli3-%1.png").arg(size));
        if (size <= 0 || !sarvoli::app::copyPictureAt(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
