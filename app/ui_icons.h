// The pictures of the ribbon's buttons and the tree's nodes: the desktop icon theme's where
// it has them, else a drawn one of our own, so that every command has a picture of its own
// on any desktop (and with no image plug-in at all).
#pragma once

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QString>

class QFileInfo;

namespace filever {

enum class TUiIcon {
    AddArea,         // "增加存储区": a folder with a plus
    AddFile,         // "增加文件": a page with a plus
    AddFolder,       // "增加目录": a folder of pages with a plus
    Merge,           // "版本合并": two lines joining
    AutoMonitor,     // "自动监测": an eye
    AddWatchedFile,  // "增加监控文件": a page with an eye
    Schemes,         // the colour-scheme menu: three colour dots
    Area,            // a storage area in the tree: a folder
    MissingFile,     // a watched file that is gone: a page with a red cross
    Refresh,         // "刷新报表": a circling arrow
    ExportImage,     // "导出图片": a framed landscape
    ExportCsv,       // "导出CSV": a sheet of cells
};

QIcon UiIcon(TUiIcon which);

// The name the icon has in a freedesktop icon theme.
const char* UiIconThemeName(TUiIcon which);

// The pictures of the tree's file and version nodes, each made once and shared by every
// node that shows it. A picture made anew (by QFileIconProvider or UiIcon) holds images of
// its own, tens of KB; one per node made memory grow with every version kept. A copy of a
// QIcon shares its images.
// User-interface thread only; the pictures live as long as this object (and the nodes that
// hold copies of them).
class TFileIcons {
public:
    // A file in general.
    QIcon Generic();
    // The file at `info`: the desktop's picture of its type (the type told by its name, so
    // the file is not read), or MissingFile when nothing is there.
    QIcon Of(const QFileInfo& info);

private:
    QFileIconProvider provider_;
    QIcon generic_;
    QIcon missing_;
    QHash<QString, QIcon> byType_;  // MIME type name -> picture
};

}  // namespace filever
