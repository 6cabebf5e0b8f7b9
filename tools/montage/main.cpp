// marlo-montage: lays labelled pictures out in one sheet, for the README's
// picture of every projection.
//
//   marlo-montage OUT.png COLUMNS TILE_WIDTH LABEL=PICTURE...
//
// Each picture is scaled to TILE_WIDTH pixels across (keeping its shape),
// framed, and labelled beneath; tiles fill the rows left to right.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct CTile {
    QString label;
    QImage picture;
};

const QColor SheetBackground(236, 236, 236);
const QColor LabelColour(40, 40, 40);
constexpr int Gap = 12;
constexpr int LabelHeight = 26;

} // namespace

int main(int argc, char** argv) {
    // Drawing text needs a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    const QStringList args = application.arguments();
    bool columnsOk = false;
    bool widthOk = false;
    const int columns = args.size() > 2 ? args[2].toInt(&columnsOk) : 0;
    const int tileWidth = args.size() > 3 ? args[3].toInt(&widthOk) : 0;
    if (args.size() < 5 || !columnsOk || columns < 1 || !widthOk || tileWidth < 16) {
        std::fputs("Usage: marlo-montage OUT.png COLUMNS TILE_WIDTH LABEL=PICTURE...\n", stderr);
        return 2;
    }
    std::vector<CTile> tiles;
    int tileHeight = 0;
    for (int i = 4; i < args.size(); ++i) {
        const int split = args[i].lastIndexOf(QLatin1Char('='));
        if (split <= 0) {
            std::fprintf(stderr, "marlo-montage: %s is not LABEL=PICTURE\n", qPrintable(args[i]));
            return 2;
        }
        QImage picture(args[i].mid(split + 1));
        if (picture.isNull()) {
            std::fprintf(stderr, "marlo-montage: cannot read %s\n",
                         qPrintable(args[i].mid(split + 1)));
            return 1;
        }
        picture = picture.scaledToWidth(tileWidth, Qt::SmoothTransformation);
        tileHeight = std::max(tileHeight, picture.height());
        tiles.push_back(CTile{args[i].left(split), picture});
    }
    const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
    QImage sheet(Gap + columns * (tileWidth + Gap), Gap + rows * (tileHeight + LabelHeight + Gap),
                 QImage::Format_RGB32);
    sheet.fill(SheetBackground);
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(15);
    painter.setFont(font);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int x = Gap + static_cast<int>(i % columns) * (tileWidth + Gap);
        const int y = Gap + static_cast<int>(i / columns) * (tileHeight + LabelHeight + Gap);
        painter.drawImage(x, y, tiles[i].picture);
        painter.setPen(QColor(150, 150, 150));
        painter.drawRect(x - 1, y - 1, tileWidth + 1, tiles[i].picture.height() + 1);
        painter.setPen(LabelColour);
        painter.drawText(QRect(x, y + tileHeight, tileWidth, LabelHeight), Qt::AlignCenter,
                         tiles[i].label);
    }
    painter.end();
    if (!sheet.save(args[1], "PNG")) {
        std::fprintf(stderr, "marlo-montage: cannot write %s\n", qPrintable(args[1]));
        return 1;
    }
    return 0;
}
