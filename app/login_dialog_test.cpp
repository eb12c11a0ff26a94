// The password prompt of encrypted databases and the wait cursor of filter scans, through
// the engine.
#include "app/login_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/error_report.h"
#include "app/gb_text.h"
#include "app/testing/fake_desktop_services.h"
#include "tarndb/creator.h"
#include "tarndb/dataset/field_types.h"
#include "tarndb/errors.h"
#include "tarndb/table.h"
#include "tests/support/temp_dir.h"

namespace filever {
namespace {

TEST(TarnDBLoginForm, Layout) {
    TTarnDBLoginForm form(nullptr, QStringLiteral("/数据/e.dat"));
    EXPECT_EQ(form.windowTitle(), "Database Login");
    EXPECT_EQ(form.size(), QSize(281, 154));
    EXPECT_EQ(form.BackPanel->geometry(), QRect(8, 8, 281 - 16, 75));
    EXPECT_EQ(form.DatabaseLabel->text(), "Database:");
    EXPECT_EQ(form.DatabaseLabel->pos(), QPoint(12, 15));
    EXPECT_EQ(form.PasswordLabel->text(), "Password:");
    EXPECT_EQ(form.PasswordLabel->pos(), QPoint(12, 45));
    EXPECT_EQ(form.DatabaseEdit->text(), QStringLiteral("/数据/e.dat"));
    EXPECT_TRUE(form.DatabaseEdit->isReadOnly());
    EXPECT_EQ(form.DatabaseEdit->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(form.DatabaseEdit->geometry().topLeft(), QPoint(86, 12));
    EXPECT_EQ(form.PasswordEdit->geometry(),
              QRect(86, 42, form.BackPanel->contentsRect().width() - 98, 21));
    EXPECT_EQ(form.PasswordEdit->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(form.PasswordEdit->text().isEmpty());
    EXPECT_EQ(form.OkButton->text(), "&OK");
    EXPECT_TRUE(form.OkButton->isDefault());
    EXPECT_EQ(form.OkButton->pos(), QPoint(109, 94));
    EXPECT_EQ(form.CancelButton->text(), "&Cancel");
    EXPECT_EQ(form.CancelButton->pos(), QPoint(191, 94));
}

class EngineHooksTest : public ::testing::Test {
protected:
    tarn::testing::TempDir dir;
    QString path = QString::fromStdString(dir.file("加密.dat"));
    std::string native = QFile::encodeName(path).toStdString();
    testing::FakeDesktopServices desktop;

    void Create(bool encrypted) {
        tarn::TDatabaseSettings settings;
        settings.encrypted = encrypted;
        settings.encryptModule = "Blowfish";
        settings.password = QStringToAnsi(QStringLiteral("芝麻开门"));
        tarn::TTarnDBCreator::CreateDatabase(native, settings);
        tarn::TTarnDBCreator::AddTable(native, "T", {{"N", tarn::ftInteger}});
    }
    void OpenTable(tarn::TTarnTable& t) {
        t.SetDatabaseName(native);
        t.SetTableName("T");
        t.Open();
    }
    void Answer(const QString& password, bool ok = true) {
        desktop.dialogScripts.push_back([this, password, ok](QDialog& d) {
            auto& form = dynamic_cast<TTarnDBLoginForm&>(d);
            EXPECT_EQ(form.DatabaseEdit->text(), path);
            form.PasswordEdit->setText(password);
            (ok ? form.OkButton : form.CancelButton)->click();
        });
    }
};

TEST_F(EngineHooksTest, AnEncryptedDatabaseAsksForItsPassword) {
    Create(true);
    TEngineHooks hooks(desktop);
    {
        // Cancel: the opening ends silently.
        tarn::TTarnTable t;
        Answer("", false);
        EXPECT_FALSE(Guarded(desktop, nullptr, [&] { OpenTable(t); }));
        EXPECT_FALSE(t.Active());
        EXPECT_TRUE(desktop.messages.empty());
    }
    {
        tarn::TTarnTable t;
        Answer("wrong");
        EXPECT_FALSE(Guarded(desktop, nullptr, [&] { OpenTable(t); }));
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages[0].text, "Access denied.");
    }
    {
        tarn::TTarnTable t;
        Answer(QStringLiteral("芝麻开门"));
        OpenTable(t);
        EXPECT_TRUE(t.Active());
    }
    EXPECT_TRUE(desktop.dialogScripts.empty());
}

TEST_F(EngineHooksTest, WithoutTheHooksThereIsNoPrompt) {
    Create(true);
    { TEngineHooks hooks(desktop); }
    tarn::TTarnTable t;
    Answer(QStringLiteral("芝麻开门"));
    try {
        OpenTable(t);
        ADD_FAILURE() << "opened without a password";
    } catch (const tarn::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Access denied");
    }
    EXPECT_EQ(desktop.dialogScripts.size(), 1u);  // never asked
}

TEST_F(EngineHooksTest, AFilterScanShowsTheWaitCursor) {
    Create(false);
    tarn::TTarnTable t;
    OpenTable(t);
    for (int i = 0; i < 5; ++i) t.AppendRecord({tarn::TVariant(int32_t(i))});
    std::vector<Qt::CursorShape> seen;
    t.OnFilterProgress = [&](tarn::TTarnTable&, int) {
        const QCursor* c = QApplication::overrideCursor();
        seen.push_back(c ? c->shape() : Qt::ArrowCursor);
    };
    {
        TEngineHooks hooks(desktop);
        t.SetFilter("N>2");
        t.SetFiltered(true);
        EXPECT_EQ(t.RecordCount(), 2);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // restored after the scan
    }
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], Qt::WaitCursor);
    EXPECT_EQ(seen[4], Qt::WaitCursor);
    seen.clear();
    t.SetFiltered(false);
    t.SetFiltered(true);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], Qt::ArrowCursor);  // hooks gone: no cursor
}

}  // namespace
}  // namespace filever
