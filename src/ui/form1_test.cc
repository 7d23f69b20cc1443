// The window as the operator meets it: texts, layout, font, focus and keys.
#include "ui/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <memory>

namespace ui {
namespace {

class Form1Test : public testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>([this] { ++ok_clicks; }, [this] { ++program_ends; });
    }

    void ShowActive() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    template <typename T = QWidget>
    T *Child(const char *name) {
        auto *child = form->findChild<T *>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    int ok_clicks = 0;
    int program_ends = 0;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Test, ShowsItsCaptionTextAndTwoButtonsOnly) {
    ShowActive();

    EXPECT_EQ(form->objectName(), "Form1");
    EXPECT_EQ(form->windowTitle(), "Ricostruzione archivio Velko");
    const QString label_text = Child<QLabel>("Label1")->text();
    EXPECT_EQ(label_text,
              "Questo programma ricostruisce l'archivio velko. Il nome dell'azienda sar"
              "\u00E0 uguale al suo codice.");
    EXPECT_EQ(label_text.count(QChar(0x00E0)), 1) << "the à is one character";
    EXPECT_EQ(Child<QPushButton>("Command1")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>("Command2")->text(), "Annulla");

    QSet<QString> children;
    for (QWidget *child : form->findChildren<QWidget *>()) {
        EXPECT_TRUE(child->isVisible()) << child->objectName().toStdString();
        children.insert(child->objectName());
    }
    EXPECT_EQ(children, QSet<QString>({"Label1", "Command1", "Command2"}));
}

TEST_F(Form1Test, LayoutIsTheTwipsLayoutInPixelsAndFixed) {
    EXPECT_EQ(form->size(), QSize(303, 128));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    struct Case {
        const char *name;
        QRect geometry;
    };
    const Case cases[] = {
        {"Label1", {8, 8, 289, 33}},
        {"Command1", {56, 88, 81, 25}},
        {"Command2", {160, 88, 81, 25}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Child(c.name)->geometry(), c.geometry) << c.name;
    }
}

TEST_F(Form1Test, EverythingDrawsInTheWindowFont) {
    const QFont font = form->font();
    EXPECT_EQ(font.family(), "MS Sans Serif");
    EXPECT_EQ(font.pointSizeF(), 9.75);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic());
    EXPECT_FALSE(font.underline());
    EXPECT_FALSE(font.strikeOut());
    for (const char *name : {"Label1", "Command1", "Command2"}) {
        EXPECT_FALSE(Child(name)->testAttribute(Qt::WA_SetFont))
            << name << " has a font of its own";
        EXPECT_EQ(Child(name)->font(), font) << name;
    }
}

TEST_F(Form1Test, LabelWrapsItsTextWithinItsTwoLines) {
    auto *label = Child<QLabel>("Label1");
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    const int line = label->fontMetrics().lineSpacing();
    const int needed = label->heightForWidth(label->width());
    EXPECT_GT(needed, line) << "the text fits one line: it should need two";
    EXPECT_LE(needed, label->height()) << "the text does not fit the label, in font "
                                       << QFontInfo(label->font()).family().toStdString();
}

TEST_F(Form1Test, FocusStartsOnOkAndTabMovesBetweenTheTwoButtons) {
    ShowActive();
    auto *Command1 = Child("Command1");
    auto *Command2 = Child("Command2");
    EXPECT_EQ(QApplication::focusWidget(), Command1);

    struct Step {
        Qt::Key key;
        QWidget *focus;
    };
    const Step steps[] = {
        {Qt::Key_Tab, Command2},     {Qt::Key_Tab, Command1},     {Qt::Key_Tab, Command2},
        {Qt::Key_Backtab, Command1}, {Qt::Key_Backtab, Command2}, {Qt::Key_Backtab, Command1},
    };
    int index = 0;
    for (const auto &step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        EXPECT_EQ(QApplication::focusWidget(), step.focus) << "after step " << index;
        ++index;
    }
    EXPECT_EQ(ok_clicks + program_ends, 0);
}

TEST_F(Form1Test, EnterPressesOnlyTheFocusedButtonAndEscapeNothing) {
    for (const char *name : {"Command1", "Command2"}) {
        auto *button = Child<QPushButton>(name);
        EXPECT_TRUE(button->autoDefault()) << name;
        EXPECT_FALSE(button->isDefault()) << name << " is the window's default button";
    }
    ShowActive();
    // A button that takes Enter counts as default while it has the focus, and
    // only then.
    EXPECT_TRUE(Child<QPushButton>("Command1")->isDefault());
    EXPECT_FALSE(Child<QPushButton>("Command2")->isDefault());
    struct Case {
        const char *focus;
        Qt::Key key;
        const char *key_name;
        int ok_clicks;
        int program_ends;
    };
    const Case cases[] = {
        {"Command1", Qt::Key_Return, "Return", 1, 0}, {"Command1", Qt::Key_Enter, "Enter", 1, 0},
        {"Command2", Qt::Key_Return, "Return", 0, 1}, {"Command2", Qt::Key_Enter, "Enter", 0, 1},
        {"Command1", Qt::Key_Escape, "Escape", 0, 0}, {"Command2", Qt::Key_Escape, "Escape", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.key_name) + " on " + c.focus);
        ok_clicks = program_ends = 0;
        Child(c.focus)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), c.key);
        EXPECT_EQ(ok_clicks, c.ok_clicks);
        EXPECT_EQ(program_ends, c.program_ends);
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(Form1Test, ClicksReachTheirHandlers) {
    ShowActive();
    QTest::mouseClick(Child("Command1"), Qt::LeftButton);
    EXPECT_EQ(ok_clicks, 1);
    EXPECT_EQ(program_ends, 0);

    QTest::mouseClick(Child("Command2"), Qt::LeftButton);
    EXPECT_EQ(ok_clicks, 1);
    EXPECT_EQ(program_ends, 1);

    QTest::mouseClick(Child("Label1"), Qt::LeftButton);
    EXPECT_EQ(ok_clicks + program_ends, 2) << "the label has no handler";
}

TEST_F(Form1Test, CloseRequestEndsTheProgram) {
    ShowActive();
    form->close();
    EXPECT_EQ(program_ends, 1);
    EXPECT_EQ(ok_clicks, 0);
}

}  // namespace
}  // namespace ui
