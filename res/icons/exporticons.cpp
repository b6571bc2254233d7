// Writes the program icon as PNG files for the freedesktop icon theme. They are drawn by the code that draws
// the icon in the program's windows, so the icon in the application menu always matches it.
#include "app/icons.h"
#include "model/atomicfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QPixmap>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: kelmora_exporticons FOLDER NAME SIZE...\n"
                             "writes FOLDER/SIZExSIZE/apps/NAME.png for each SIZE\n");
        return 2;
    }
    // Nothing is shown: pixmaps need a GUI application, not a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    const std::filesystem::path folder(argv[1]);
    const std::string name(argv[2]);
    const QIcon icon = kelmora::app::MakeIcon(kelmora::app::IconKind::Program);
    for (int i = 3; i < argc; ++i) {
        const std::string size(argv[i]);
        bool number = false;
        const int pixels = QString::fromStdString(size).toInt(&number);
        const QPixmap pixmap = number && pixels > 0 ? icon.pixmap(QSize(pixels, pixels)) : QPixmap();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (pixmap.isNull() || pixmap.width() != pixels || pixmap.height() != pixels || !pixmap.save(&buffer, "PNG")) {
            std::fprintf(stderr, "kelmora_exporticons: cannot draw the %s px icon\n", size.c_str());
            return 1;
        }
        const std::filesystem::path target = folder / (size + "x" + size) / "apps" / (name + ".png");
        std::error_code ec;
        std::filesystem::create_directories(target.parent_path(), ec);
        std::string error;
        if (!kelmora::model::WriteFileAtomically(
                target, std::string_view(png.constData(), static_cast<std::size_t>(png.size())), &error)) {
            std::fprintf(stderr, "kelmora_exporticons: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
