// TRetentionDialog: "保留策略", how long an area keeps the versions of its files: every
// version, the newest N of each file, or thinned out with age; and an optional cap on the
// space the area's copies take. Described versions and each file's newest version always
// stay (app/retention.h).
//
// ResultCode: 0 when created (and after closing by other means), 1 after "确定", 2 after
// "取消". Policy() reads the controls.
#pragma once

#include <QDialog>

#include "app/retention.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QPushButton;

namespace filever {

class TRetentionDialog : public QDialog {
    Q_OBJECT
public:
    TRetentionDialog(QWidget* owner, const QString& areaName, const TRetentionPolicy& policy);

    int ResultCode = 0;
    QLabel* Label1;
    QRadioButton* KeepAllButton;    // "保留全部版本"
    QRadioButton* KeepLastButton;   // "每个文件只保留最近的版本"
    QSpinBox* KeepCountEdit;        // N
    QRadioButton* StaggeredButton;  // thinned out with age
    QCheckBox* CapCheck;            // "限制占用空间"
    QSpinBox* CapEdit;              // MB
    QPushButton* Button1;           // "确定"
    QPushButton* Button2;           // "取消"

    TRetentionPolicy Policy() const;
};

}  // namespace filever
