// Message boxes, the pump pass and the end of the program on Qt.
#include "ui/qt_ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "rebuild/platform_error.h"
#include "ui/form1.h"
#include "ui/qt_test_support.h"

namespace ui {
namespace {

using rebuild::MessageStyle;
using testing::AllOf;
using testing::HasSubstr;
using testing::Not;

class QtUiTest : public testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>(
            [this] {
                log.push_back("ok");
                if (on_ok) on_ok();
            },
            [this] { log.push_back("end"); });
        qt_ui.SetWindow(form.get());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Queues a whole click on the button, to be handled by the next pass of the
    // event loop, as a click the operator made while the program was busy.
    void PostClick(const char *button_name) {
        auto *button = form->findChild<QPushButton *>(button_name);
        ASSERT_NE(button, nullptr);
        const QPointF inside = button->rect().center();
        const QPointF global = button->mapToGlobal(inside);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                button,
                new QMouseEvent(type, inside, global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        }
    }

    QtUi qt_ui;
    std::unique_ptr<Form1> form;
    std::vector<std::string> log;
    std::function<void()> on_ok;
};

TEST_F(QtUiTest, BoxShowsTheIconOfItsStyleTheOkButtonAloneAndItsTitle) {
    struct Case {
        const char *name;
        MessageStyle style;
        std::optional<std::string> title;
        QMessageBox::Icon icon;
        QString shown_title;
    };
    const Case cases[] = {
        {"plain, no title", MessageStyle::kPlain, std::nullopt, QMessageBox::NoIcon,
         "Ricostruisci velko"},
        {"warning, no title", MessageStyle::kWarning, std::nullopt, QMessageBox::Warning,
         "Ricostruisci velko"},
        {"information, no title", MessageStyle::kInformation, std::nullopt,
         QMessageBox::Information, "Ricostruisci velko"},
        {"information, empty title", MessageStyle::kInformation, "", QMessageBox::Information, ""},
        {"warning, a title", MessageStyle::kWarning, "Attenzione", QMessageBox::Warning,
         "Attenzione"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ModalBoxCloser closer;

        qt_ui.ShowMessage("Non risultano gli archivi necessari", c.style, c.title);

        ASSERT_EQ(closer.seen.size(), 1u);
        const SeenBox &box = closer.seen[0];
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_EQ(box.title, c.shown_title);
        EXPECT_NE(box.title, kCaption);
        EXPECT_EQ(box.text, "Non risultano gli archivi necessari");
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.parent, form.get());
        EXPECT_TRUE(box.modal);
    }
}

TEST_F(QtUiTest, BoxKeepsTheTextsAccents) {
    ModalBoxCloser closer;
    qt_ui.ShowMessage("l'archivio velko non è stato modificato", MessageStyle::kWarning,
                      std::nullopt);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].text, "l'archivio velko non \u00E8 stato modificato");
}

TEST_F(QtUiTest, PumpPassHandlesWhatIsPendingAndReturns) {
    bool ran = false;
    QMetaObject::invokeMethod(
        qApp, [&] { ran = true; }, Qt::QueuedConnection);

    qt_ui.PumpEvents();

    EXPECT_TRUE(ran);
    qt_ui.PumpEvents();  // returns with nothing pending
}

TEST_F(QtUiTest, PendingClickOnOkRunsTheHandlerAgainInsideThePumpPass) {
    int depth = 0;
    on_ok = [&] {
        ++depth;
        log.push_back("depth " + std::to_string(depth));
        if (depth == 1) {
            PostClick("Command1");
            qt_ui.PumpEvents();
            log.push_back("pump pass over");
        }
        --depth;
    };

    QTest::mouseClick(form->findChild<QPushButton *>("Command1"), Qt::LeftButton);

    EXPECT_EQ(log, (std::vector<std::string>{"ok", "depth 1", "ok", "depth 2", "pump pass over"}));
}

TEST_F(QtUiTest, PendingAnnullaOrCloseRequestEndsTheProgramInsideThePumpPass) {
    struct Case {
        const char *name;
        std::function<void()> request;
    };
    const Case cases[] = {
        {"Annulla", [this] { PostClick("Command2"); }},
        {"close request", [this] { QCoreApplication::postEvent(form.get(), new QCloseEvent); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        on_ok = [&] {
            c.request();
            qt_ui.PumpEvents();
            log.push_back("pump pass over");
        };

        QTest::mouseClick(form->findChild<QPushButton *>("Command1"), Qt::LeftButton);

        EXPECT_EQ(log, (std::vector<std::string>{"ok", "end", "pump pass over"}))
            << "the fake end returns; the real one never does";
        form->show();
    }
}

TEST_F(QtUiTest, HandlerWithoutErrorReturnsNormally) {
    bool ran = false;
    qt_ui.RunHandler([&] { ran = true; });
    EXPECT_TRUE(ran);
}

// The real end of the program can only be watched from outside: these run in
// a child process.
using QtUiDeathTest = QtUiTest;

TEST_F(QtUiDeathTest, EndProgramEndsTheProcessAtOnceWithSuccess) {
    EXPECT_EXIT(
        {
            std::fputs("before the end\n", stderr);
            qt_ui.EndProgram();
            std::fputs("after the end\n", stderr);
        },
        testing::ExitedWithCode(0), AllOf(HasSubstr("before the end"), Not(HasSubstr("after"))));
}

TEST_F(QtUiDeathTest, PlatformErrorIsShownCriticalAndEndsTheProgramWithFailure) {
    EXPECT_EXIT(
        {
            ModalBoxCloser closer;
            closer.on_seen = [](const SeenBox &box) {
                std::fprintf(stderr, "box icon=%d title=%s text=%s buttons=%d\n",
                             static_cast<int>(box.icon), box.title.toStdString().c_str(),
                             box.text.toStdString().c_str(), static_cast<int>(box.buttons));
            };
            qt_ui.RunHandler([] {
                throw rebuild::PlatformError("Impossibile leggere la cartella \"/srv\": guasto");
            });
            std::fputs("handler returned\n", stderr);
        },
        testing::ExitedWithCode(1),
        AllOf(HasSubstr("box icon=" + std::to_string(QMessageBox::Critical) +
                        " title=Ricostruisci velko"
                        " text=Impossibile leggere la cartella \"/srv\": guasto"
                        " buttons=" +
                        std::to_string(QMessageBox::Ok)),
              Not(HasSubstr("handler returned"))));
}

}  // namespace
}  // namespace ui
