// rendericon SVG_FILE OUTPUT_FOLDER NAME SIZE...
// Renders the application icon at each size into OUTPUT_FOLDER/SIZExSIZE/apps/NAME.png,
// the layout of a freedesktop icon theme, so the PNGs never drift from the drawing.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: rendericon SVG_FILE OUTPUT_FOLDER NAME SIZE...\n");
        return 2;
    }
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        QImageReader reader(svg, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage icon = reader.read();
        if (icon.isNull()) {
            std::fprintf(stderr, "rendericon: cannot render %s: %s (is Qt's SVG plugin installed?)\n", argv[1],
                         qPrintable(reader.errorString()));
            return 1;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(output).arg(size);
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !icon.convertToFormat(QImage::Format_ARGB32).save(file, "PNG")) {
            std::fprintf(stderr, "rendericon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
