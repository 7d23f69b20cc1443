#include "ui/qt_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <memory>

namespace ui {

ModalBoxCloser::ModalBoxCloser() {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start(5);
}

void ModalBoxCloser::Poll() {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen.push_back({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                    box->parentWidget(), box->isModal()});
    if (on_seen) on_seen(seen.back());
    if (QAbstractButton *ok = box->button(QMessageBox::Ok)) {
        ok->click();
    } else {
        box->reject();
    }
}

namespace {

// One QApplication for the whole program, created only when tests run (not
// when they are merely listed), in the offscreen platform unless told otherwise.
class QtEnvironment : public testing::Environment {
  public:
    QtEnvironment(int argc, char **argv) : argc_(argc), argv_(argv) {}

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

  private:
    int argc_;
    char **argv_;
    std::unique_ptr<QApplication> application_;
};

}  // namespace
}  // namespace ui

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    // The window system runs threads; a death test must start afresh.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::AddGlobalTestEnvironment(new ui::QtEnvironment(argc, argv));
    return RUN_ALL_TESTS();
}
