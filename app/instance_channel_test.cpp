// The local socket a second start uses to bring the running window to the front.
#include "app/os/instance_channel.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/os/single_instance.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

class InstanceChannelTest : public ::testing::Test {
protected:
    InstanceChannelTest() : old_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir.path()));
    }
    ~InstanceChannelTest() override { qputenv("XDG_RUNTIME_DIR", old_); }

    tarn::testing::TempDir dir;
    const QString name = QStringLiteral("channelTest");

private:
    QByteArray old_;
};

TEST_F(InstanceChannelTest, ASecondStartIsHeardAndNothingElseIs) {
    EXPECT_EQ(TInstanceChannel::SocketPath(name),
              QString::fromStdString(dir.file("channelTest.sock")));
    EXPECT_FALSE(TInstanceChannel::AskRunningInstanceToShow(name, 200)) << "nobody listens yet";

    TInstanceChannel channel(name);
    QSignalSpy shown(&channel, &TInstanceChannel::ShowRequested);
    QString error;
    ASSERT_TRUE(channel.Listen(&error)) << error.toStdString();

    // The asking side blocks; the listening side answers from its event loop.
    bool asked = false;
    QTimer::singleShot(0, [&] { asked = TInstanceChannel::AskRunningInstanceToShow(name); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.count() == 1; }, 5000));
    EXPECT_TRUE(asked);

    // Other bytes on the socket are not a request.
    QLocalSocket stranger;
    stranger.connectToServer(TInstanceChannel::SocketPath(name));
    ASSERT_TRUE(stranger.waitForConnected(2000));
    stranger.write("hello\n");
    stranger.waitForBytesWritten(2000);
    QTest::qWait(100);
    EXPECT_EQ(shown.count(), 1);
}

TEST_F(InstanceChannelTest, ASocketLeftByADeadInstanceIsReplaced) {
    {
        TInstanceChannel dead(name);
        ASSERT_TRUE(dead.Listen());
    }
    // A killed process leaves its socket file; simulate it with a plain file in its place.
    QFile stale(TInstanceChannel::SocketPath(name));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    TInstanceChannel channel(name);
    QSignalSpy shown(&channel, &TInstanceChannel::ShowRequested);
    ASSERT_TRUE(channel.Listen());
    QTimer::singleShot(0, [&] { TInstanceChannel::AskRunningInstanceToShow(name); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.count() == 1; }, 5000));
}

}  // namespace
}  // namespace filever
