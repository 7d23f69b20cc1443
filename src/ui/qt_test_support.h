// Support for tests of the window: a QApplication for the whole test program,
// and a closer for modal boxes that notes what each box showed.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

namespace ui {

// What a message box showed when it was closed.
struct SeenBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QWidget *parent;
    bool modal;
};

// While it lives, polls for a modal message box and closes it with its OK
// button as soon as one is up. Polling goes through the event loop that the
// box itself runs, so the test never waits longer than the box takes to open.
class ModalBoxCloser : public QObject {
  public:
    ModalBoxCloser();

    std::vector<SeenBox> seen;
    // Called with each box just before it is closed.
    std::function<void(const SeenBox &)> on_seen;

  private:
    void Poll();

    QTimer timer_;
};

}  // namespace ui
