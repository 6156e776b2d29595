// Writes each image of a Windows icon file as PNG-<size>.png, for the icon
// theme folders of the Linux package, which take one PNG a size.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: %s ICON.ico OUTPUT-FOLDER\n", qPrintable(args.value(0)));
        return 2;
    }
    QImageReader reader(args.at(1));
    if (!QDir().mkpath(args.at(2)))
        return 1;
    int written = 0;
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        const QString name = QStringLiteral("%1/%2.png").arg(args.at(2)).arg(image.width());
        if (!image.save(name, "PNG"))
            return 1;
        ++written;
    } while (reader.jumpToNextImage());
    if (written == 0)
        std::fprintf(stderr, "%s: no image could be read: %s\n", qPrintable(args.at(1)),
                     qPrintable(reader.errorString()));
    return written > 0 ? 0 : 1;
}
