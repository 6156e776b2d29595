#include "outputfolder.h"

#include <cstdio>

int openOutputFolder(int argc, char *argv[], const char *folderName, QDir *dir)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s %s\n", argv[0], folderName);
        return 2;
    }
    *dir = QDir(QString::fromLocal8Bit(argv[1]));
    if (!dir->mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    return 0;
}

bool savePng(const QDir &dir, const QString &name, const QImage &image)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}
