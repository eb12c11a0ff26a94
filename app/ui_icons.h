// The pictures of the ribbon's buttons and the tree's nodes: the desktop icon theme's where
// it has them, else a drawn one of our own, so that every command has a picture of its own
// on any desktop (and with no image plug-in at all).
#pragma once

#include <QIcon>

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

}  // namespace filever
