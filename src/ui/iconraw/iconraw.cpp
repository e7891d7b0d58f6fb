// Build tool: writes an image as the program reads its small icons, with no decoder:
// "ARGB", width and height as 32-bit numbers, then the premultiplied 32-bit pixels row by
// row, all in the byte order of the machine that builds (and runs) the program.
//
//   dudud_iconraw IN.png OUT.argb

#include <QFile>
#include <QImage>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.png OUT.argb\n", argv[0]);
        return 2;
    }
    const QImage image = QImage(QString::fromLocal8Bit(argv[1]))
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        std::fprintf(stderr, "%s: cannot read the image %s\n", argv[0], argv[1]);
        return 1;
    }
    QByteArray out("ARGB");
    const quint32 size[2] = {quint32(image.width()), quint32(image.height())};
    out.append(reinterpret_cast<const char *>(size), sizeof size);
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    QFile f(QString::fromLocal8Bit(argv[2]));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(out) != out.size() ||
        !f.flush()) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[2],
                     qPrintable(f.errorString()));
        return 1;
    }
    return 0;
}
