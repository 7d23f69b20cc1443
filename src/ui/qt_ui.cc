#include "ui/qt_ui.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <exception>

namespace ui {
namespace {

QMessageBox::Icon IconOf(rebuild::MessageStyle style) {
    switch (style) {
        case rebuild::MessageStyle::kWarning:
            return QMessageBox::Warning;
        case rebuild::MessageStyle::kInformation:
            return QMessageBox::Information;
        case rebuild::MessageStyle::kPlain:
            break;
    }
    return QMessageBox::NoIcon;
}

void ShowBox(QWidget *window, QMessageBox::Icon icon, const std::string &text,
             const std::string &title) {
    QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, window);
    box.exec();
}

}  // namespace

void EndProcess(int status) {
    std::fflush(nullptr);
    _exit(status);
}

void QtUi::ShowMessage(const std::string &text, rebuild::MessageStyle style,
                       const std::optional<std::string> &title) {
    ShowBox(window_, IconOf(style), text, title.value_or(kApplicationTitle));
}

void QtUi::PumpEvents() {
    QCoreApplication::processEvents();
}

void QtUi::EndProgram() {
    EndProcess(0);
}

void QtUi::RunHandler(const std::function<void()> &handler) {
    try {
        handler();
    } catch (const std::exception &error) {
        ShowBox(window_, QMessageBox::Critical, error.what(), kApplicationTitle);
        EndProcess(1);
    }
}

}  // namespace ui
