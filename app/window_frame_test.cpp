// The main window's own frame: resizing from its border, and the size, place and splitter
// it had last time. Offscreen, with the desktop's double and a temporary settings file.
#include "app/window_frame.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QWindow>

#include "app/ribbon.h"
#include "app/testing/catalogue_double.h"
#include "app/testing/main_window_fixture.h"

QT_BEGIN_NAMESPACE
// Readable rectangles in failure messages.
void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << "x" << r.height() << ")";
}
QT_END_NAMESPACE

namespace filever {
namespace {

using testing::CatalogueDouble;

TEST(FrameEdges, APointNearTheBorderGrabsItsEdgeOrCornerAndNothingInside) {
    const QSize size(744, 393);
    const Qt::Edges none;
    const Qt::Edges L = Qt::LeftEdge, R = Qt::RightEdge, T = Qt::TopEdge, B = Qt::BottomEdge;
    struct Case {
        QPoint at;
        Qt::Edges edges;
    } cases[] = {
        // The four strips, kFrameBorder (5) pixels wide, and the first point past each.
        {{0, 200}, L},
        {{4, 200}, L},
        {{5, 200}, none},
        {{743, 200}, R},
        {{739, 200}, R},
        {{738, 200}, none},
        {{300, 0}, T},
        {{300, 4}, T},
        {{300, 5}, none},
        {{300, 392}, B},
        {{300, 388}, B},
        {{300, 387}, none},
        // Corners reach kFrameCornerReach (16) pixels along each edge.
        {{0, 0}, T | L},
        {{2, 15}, T | L},
        {{2, 16}, L},
        {{15, 2}, T | L},
        {{16, 2}, T},
        {{743, 0}, T | R},
        {{728, 3}, T | R},
        {{0, 392}, B | L},
        {{743, 392}, B | R},
        {{741, 377}, B | R},
        {{741, 376}, R},
        // Inside, and outside the window.
        {{372, 196}, none},
        {{20, 20}, none},
        {{-1, 200}, none},
        {{744, 200}, none},
        {{300, 393}, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            testing::Q(std::to_string(c.at.x()) + "," + std::to_string(c.at.y())).toStdString());
        EXPECT_EQ(FrameEdgesAt(size, c.at), c.edges);
    }
}

TEST(FrameEdges, EachEdgeAndCornerHasItsResizeCursor) {
    EXPECT_EQ(FrameCursor(Qt::LeftEdge), Qt::SizeHorCursor);
    EXPECT_EQ(FrameCursor(Qt::RightEdge), Qt::SizeHorCursor);
    EXPECT_EQ(FrameCursor(Qt::TopEdge), Qt::SizeVerCursor);
    EXPECT_EQ(FrameCursor(Qt::BottomEdge), Qt::SizeVerCursor);
    EXPECT_EQ(FrameCursor(Qt::TopEdge | Qt::LeftEdge), Qt::SizeFDiagCursor);
    EXPECT_EQ(FrameCursor(Qt::BottomEdge | Qt::RightEdge), Qt::SizeFDiagCursor);
    EXPECT_EQ(FrameCursor(Qt::TopEdge | Qt::RightEdge), Qt::SizeBDiagCursor);
    EXPECT_EQ(FrameCursor(Qt::BottomEdge | Qt::LeftEdge), Qt::SizeBDiagCursor);
    EXPECT_EQ(FrameCursor({}), Qt::ArrowCursor);
}

TEST(PlaceOnScreens, ARememberedPlaceIsKeptOnlyWhereAScreenStillShowsIt) {
    const QRect primary(0, 0, 1920, 1040);
    const QRect second(1920, 0, 1280, 1024);
    const QRect fallback(52, 111, 744, 393);
    struct Case {
        const char* what;
        QRect saved;
        QList<QRect> screens;
        QRect placed;
    } cases[] = {
        {"on the primary screen", {100, 100, 800, 600}, {primary, second}, {100, 100, 800, 600}},
        {"on the second screen", {2000, 50, 800, 600}, {primary, second}, {2000, 50, 800, 600}},
        {"mostly on the second: moved onto it",
         {1800, 50, 800, 600},
         {primary, second},
         {1920, 50, 800, 600}},
        {"partly below the screen", {100, 900, 800, 600}, {primary}, {100, 440, 800, 600}},
        {"larger than the screen", {-50, -50, 2500, 1400}, {primary}, primary},
        {"its screen is gone", {2000, 50, 800, 600}, {primary}, fallback},
        {"nothing remembered", QRect(), {primary, second}, fallback},
        {"fallback too large for a small screen", QRect(), {{0, 0, 640, 360}}, {0, 0, 640, 360}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PlaceOnScreens(c.saved, c.screens, fallback), c.placed);
    }
}

class MainWindowFrame : public testing::MainWindowFixture {
protected:
    QRect Screen() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

TEST_F(MainWindowFrame, HoveringTheBorderShowsTheResizeCursorsButNotWhenMaximised) {
    CatalogueDouble catalogue;
    auto w = Make(catalogue);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QWindow* window = w->windowHandle();
    // The border strip is the window's own, around everything it shows.
    EXPECT_EQ(w->ToolBarPager1->mapTo(w.get(), QPoint(0, 0)), QPoint(kFrameBorder, kFrameBorder));
    const int right = w->width() - 1, bottom = w->height() - 1;
    // No button held (QTest remembers one from a double-click in an earlier test).
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(300, 200));
    QTest::mouseMove(window, QPoint(1, 200));
    EXPECT_EQ(w->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(window, QPoint(300, bottom));
    EXPECT_EQ(w->cursor().shape(), Qt::SizeVerCursor);
    QTest::mouseMove(window, QPoint(right, bottom));
    EXPECT_EQ(w->cursor().shape(), Qt::SizeFDiagCursor);
    QTest::mouseMove(window, QPoint(right - 2, 1));
    EXPECT_EQ(w->cursor().shape(), Qt::SizeBDiagCursor);
    // Inside, the window's own cursors again.
    QTest::mouseMove(window, QPoint(300, 200));
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    // A maximised window has no border to pull.
    w->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isMaximized(); }));
    QTest::mouseMove(window, QPoint(1, 200));
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w->ToolBarPager1->mapTo(w.get(), QPoint(0, 0)) == QPoint(0, 0); }));
}

TEST_F(MainWindowFrame, SizePlaceAndSplitterSavedOnCloseComeBackInANewWindow) {
    CatalogueDouble catalogue;
    QRect placed;
    QList<int> sizes;
    {
        auto w = Make(catalogue);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        // Moved and made a little larger than it opened (it has a least size).
        placed = QRect(Screen().topLeft() + QPoint(30, 40), w->size() + QSize(8, 6));
        ASSERT_TRUE(Screen().contains(placed));
        w->setGeometry(placed);
        ASSERT_EQ(w->geometry(), placed);
        w->Splitter1->setSizes({150, placed.width() - 150});
        sizes = w->Splitter1->sizes();
        ASSERT_EQ(sizes.size(), 2);
        w->Exit();
    }
    EXPECT_TRUE(QFile::exists(options.settingsPath));
    {
        auto w = Make(catalogue);
        EXPECT_EQ(w->geometry(), placed);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        EXPECT_EQ(w->geometry(), placed);
        EXPECT_EQ(w->Splitter1->sizes(), sizes);
        // Maximised when it closed: maximised again, and its normal place kept for later.
        w->showMaximized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->isMaximized(); }));
        w->Exit();
    }
    auto w = Make(catalogue);
    w->show();
    EXPECT_TRUE(w->isMaximized());
    w->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isMaximized(); }));
    EXPECT_EQ(w->geometry(), placed);
}

TEST_F(MainWindowFrame, APlaceOnAScreenThatIsGoneOrUnreadableSettingsGiveTheUsualWindow) {
    CatalogueDouble catalogue;
    QRect usual;
    {
        auto w = Make(catalogue);  // nothing remembered yet
        usual = w->geometry();
        EXPECT_EQ(usual.size(), QSize(744, 393).boundedTo(Screen().size()));
        EXPECT_TRUE(Screen().contains(usual));
    }
    {
        QSettings settings(options.settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("window/geometry"),
                          QRect(Screen().right() + 5000, 200, 600, 400));
        settings.setValue(QStringLiteral("window/splitter"), QByteArray("not a splitter state"));
    }
    auto w = Make(catalogue);
    EXPECT_EQ(w->geometry(), usual);
    EXPECT_EQ(w->Splitter1->count(), 2);
    EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
}  // namespace filever
