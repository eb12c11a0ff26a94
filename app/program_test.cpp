// The filever program as processes: one instance at a time, a new one after the first was
// killed; and the files that make it a desktop application.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QXmlStreamReader>

#include "app/app_icon.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

QString Source(const char* relative) {
    return QString::fromStdString(tarn::testing::SourceDir()) + QLatin1Char('/') +
           QLatin1String(relative);
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", Q("run"));
        env.insert("XDG_DATA_HOME", Q("data"));
        env.insert("XDG_CONFIG_HOME", Q("config"));
        env.insert("HOME", Q("home"));
        QDir().mkpath(Q("run"));
    }
    ~ProgramTest() override {
        for (auto& p : processes)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
    }
    QString Q(const char* name) const { return QString::fromStdString(dir.file(name)); }
    QProcess& Start() {
        processes.push_back(std::make_unique<QProcess>());
        QProcess& p = *processes.back();
        p.setProcessEnvironment(env);
        p.setProgram(QStringLiteral(FILEVER_EXE));
        p.start();
        EXPECT_TRUE(p.waitForStarted(10000));
        return p;
    }
    // The program is up once it has made its catalogue.
    bool WaitUntilUp() {
        return QTest::qWaitFor(
            [&] { return QFileInfo::exists(Q("data") + QStringLiteral("/filever/版本控制.dat")); },
            20000);
    }

    tarn::testing::TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes;
};

// A second start that reached the running instance ends without a word; one that did not
// says so.
void ExpectSecondStartAnswered(QProcess& second) {
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(second.readAllStandardError().contains("already running"));
}

TEST_F(ProgramTest, ASecondStartShowsTheRunningInstanceAndOneAfterAKilledFirstRuns) {
    QProcess& first = Start();
    ASSERT_TRUE(WaitUntilUp());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(Q("run/hkOneCopy.sock")); }, 10000));

    ExpectSecondStartAnswered(Start());
    EXPECT_EQ(first.state(), QProcess::Running);

    // Killed: no chance to let go of anything; the next start runs all the same.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    QProcess& third = Start();
    EXPECT_FALSE(third.waitForFinished(1500));  // still running
    EXPECT_EQ(third.state(), QProcess::Running);
    // It took over the socket the killed one left behind.
    ExpectSecondStartAnswered(Start());
}

TEST(DesktopFiles, EntryAndIcon) {
    QFile entry(Source("app/desktop/filever.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), "[Desktop Entry]");
    for (const char* line :
         {"Type=Application", "Name=File Version Control", "Name[zh_CN]=文件版本控制",
          "Exec=filever", "Icon=filever", "Terminal=false"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;

    QFile svg(Source("app/desktop/filever.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    while (!xml.atEnd()) xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    // The icon the window and the tray use is drawn, not blank.
    const QImage image = AppIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_GT(image.pixelColor(16, 20).alpha(), 0);
}

}  // namespace
}  // namespace filever
