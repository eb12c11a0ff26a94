#include "app/ui_icons.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace filever {
namespace {

const QColor kInk(0x3d, 0x5a, 0x80);

void Folder(QPainter& p, double dx = 0, double dy = 0) {
    QPainterPath path;
    path.moveTo(6 + dx, 14 + dy);
    path.lineTo(24 + dx, 14 + dy);
    path.lineTo(28 + dx, 19 + dy);
    path.lineTo(56 + dx, 19 + dy);
    path.lineTo(56 + dx, 52 + dy);
    path.lineTo(6 + dx, 52 + dy);
    path.closeSubpath();
    p.setPen(QPen(QColor(0xa8, 0x7b, 0x12), 2));
    p.setBrush(QColor(0xf3, 0xc6, 0x4f));
    p.drawPath(path);
}

void Page(QPainter& p, double x = 14, double y = 6) {
    QPainterPath page;
    page.moveTo(x, y);
    page.lineTo(x + 26, y);
    page.lineTo(x + 36, y + 10);
    page.lineTo(x + 36, y + 50);
    page.lineTo(x, y + 50);
    page.closeSubpath();
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawPath(page);
    QPen lines(kInk, 2.5);
    lines.setCapStyle(Qt::RoundCap);
    p.setPen(lines);
    for (int i = 0; i < 3; ++i)
        p.drawLine(QLineF(x + 6, y + 20 + 7 * i, x + 28 - 5 * i, y + 20 + 7 * i));
}

// A round badge in the lower right corner: a plus, a cross or nothing.
enum class TBadge { Plus, Cross };
void Badge(QPainter& p, TBadge badge) {
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(badge == TBadge::Plus ? QColor(0x2e, 0x9e, 0x5b) : QColor(0xc6, 0x28, 0x28));
    p.drawEllipse(QPointF(48, 48), 12, 12);
    QPen mark(Qt::white, 3.5);
    mark.setCapStyle(Qt::RoundCap);
    p.setPen(mark);
    if (badge == TBadge::Plus) {
        p.drawLine(QLineF(48, 41, 48, 55));
        p.drawLine(QLineF(41, 48, 55, 48));
    } else {
        p.drawLine(QLineF(43, 43, 53, 53));
        p.drawLine(QLineF(53, 43, 43, 53));
    }
}

void Eye(QPainter& p, QPointF centre, double scale) {
    p.save();
    p.translate(centre);
    p.scale(scale, scale);
    QPainterPath lid;
    lid.moveTo(-24, 0);
    lid.quadTo(0, -22, 24, 0);
    lid.quadTo(0, 22, -24, 0);
    p.setPen(QPen(kInk, 2.5));
    p.setBrush(Qt::white);
    p.drawPath(lid);
    p.setBrush(QColor(0x2f, 0x7c, 0xc9));
    p.drawEllipse(QPointF(0, 0), 8, 8);
    p.restore();
}

void Merge(QPainter& p) {
    QPen line(kInk, 4);
    line.setCapStyle(Qt::RoundCap);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(18, 10);
    path.lineTo(18, 54);
    path.moveTo(46, 10);
    path.cubicTo(46, 32, 18, 30, 18, 46);
    p.drawPath(path);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0x2f, 0x7c, 0xc9));
    for (QPointF c : {QPointF(18, 10), QPointF(46, 10), QPointF(18, 54)}) p.drawEllipse(c, 6, 6);
}

void Dots(QPainter& p) {
    p.setPen(QPen(Qt::white, 2));
    const QColor colours[] = {QColor(0x2f, 0x7c, 0xc9), QColor(0x3a, 0x3a, 0x3a),
                              QColor(0x9a, 0xb0, 0x5a)};
    const QPointF centres[] = {QPointF(22, 22), QPointF(42, 22), QPointF(32, 42)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colours[i]);
        p.drawEllipse(centres[i], 13, 13);
    }
}

void CirclingArrow(QPainter& p) {
    QPen line(QColor(0x2e, 0x9e, 0x5b), 6);
    line.setCapStyle(Qt::FlatCap);
    p.setPen(line);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(11, 11, 42, 42), 60 * 16, 290 * 16);
    // The head at the arc's start, pointing along it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9e, 0x5b));
    p.drawPolygon(QPolygonF({QPointF(34, 4), QPointF(50, 10), QPointF(38, 22)}));
}

void Landscape(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(QColor(0xd6, 0xe9, 0xf8));
    p.drawRect(QRectF(6, 10, 52, 44));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4c, 0x9a, 0x4f));
    p.drawPolygon(QPolygonF(
        {QPointF(8, 52), QPointF(24, 28), QPointF(36, 44), QPointF(44, 34), QPointF(56, 52)}));
    p.setBrush(QColor(0xf3, 0xc6, 0x4f));
    p.drawEllipse(QPointF(46, 20), 5, 5);
}

void Sheet(QPainter& p) {
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 8, 48, 48));
    p.setBrush(QColor(0x2e, 0x9e, 0x5b));
    p.drawRect(QRectF(8, 8, 48, 12));
    p.setPen(QPen(kInk, 1.5));
    for (double y : {32.0, 44.0}) p.drawLine(QLineF(8, y, 56, y));
    for (double x : {24.0, 40.0}) p.drawLine(QLineF(x, 20, x, 56));
}

QPixmap Draw(TUiIcon which, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    switch (which) {
        case TUiIcon::AddArea:
            Folder(p);
            Badge(p, TBadge::Plus);
            break;
        case TUiIcon::AddFile:
            Page(p, 8, 4);
            Badge(p, TBadge::Plus);
            break;
        case TUiIcon::AddFolder:
            Folder(p);
            Page(p, 20, 2);
            Badge(p, TBadge::Plus);
            break;
        case TUiIcon::Merge:
            Merge(p);
            break;
        case TUiIcon::AutoMonitor:
            Eye(p, QPointF(32, 32), 1.2);
            break;
        case TUiIcon::AddWatchedFile:
            Page(p, 8, 4);
            Eye(p, QPointF(46, 48), 0.6);
            break;
        case TUiIcon::Schemes:
            Dots(p);
            break;
        case TUiIcon::Area:
            Folder(p);
            break;
        case TUiIcon::MissingFile:
            Page(p, 8, 4);
            Badge(p, TBadge::Cross);
            break;
        case TUiIcon::Refresh:
            CirclingArrow(p);
            break;
        case TUiIcon::ExportImage:
            Landscape(p);
            break;
        case TUiIcon::ExportCsv:
            Sheet(p);
            break;
    }
    return pixmap;
}

}  // namespace

const char* UiIconThemeName(TUiIcon which) {
    switch (which) {
        case TUiIcon::AddArea:
            return "folder-new";
        case TUiIcon::AddFile:
            return "document-new";
        case TUiIcon::AddFolder:
            return "folder-add";
        case TUiIcon::Merge:
            return "vcs-merge";
        case TUiIcon::AutoMonitor:
            return "view-visible";
        case TUiIcon::AddWatchedFile:
            return "document-open-recent";
        case TUiIcon::Schemes:
            return "preferences-desktop-color";
        case TUiIcon::Area:
            return "folder";
        case TUiIcon::MissingFile:
            return "image-missing";
        case TUiIcon::Refresh:
            return "view-refresh";
        case TUiIcon::ExportImage:
            return "image-x-generic";
        case TUiIcon::ExportCsv:
            return "x-office-spreadsheet";
    }
    return "";
}

QIcon UiIcon(TUiIcon which) {
    QIcon drawn;
    for (int size : {16, 22, 24, 32, 48, 64}) drawn.addPixmap(Draw(which, size));
    return QIcon::fromTheme(QLatin1String(UiIconThemeName(which)), drawn);
}

QIcon TFileIcons::Generic() {
    if (generic_.isNull()) generic_ = provider_.icon(QFileIconProvider::File);
    return generic_;
}

QIcon TFileIcons::Of(const QFileInfo& info) {
    if (!info.exists()) {
        if (missing_.isNull()) missing_ = UiIcon(TUiIcon::MissingFile);
        return missing_;
    }
    const QString type =
        info.isDir() ? QStringLiteral("inode/directory")
                     : QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name();
    auto it = byType_.find(type);
    if (it == byType_.end()) it = byType_.insert(type, provider_.icon(info));
    return it.value();
}

}  // namespace filever
