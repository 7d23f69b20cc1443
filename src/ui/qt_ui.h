// The operator's side of the platform, on Qt: message boxes, the pump pass and
// the end of the program, and the one place where an error the rebuild does
// not handle is reported.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "rebuild/platform.h"

namespace ui {

// Shown by every box that is given no title. It is the program's own name,
// not the window's caption.
inline constexpr char kApplicationTitle[] = "Ricostruisci velko";

// Ends the process with `status` at once: pending output is flushed, and no
// destructor, exit handler or event of the window runs.
[[noreturn]] void EndProcess(int status);

class QtUi final : public rebuild::Ui {
  public:
    // The window the boxes are modal to; it must outlive its use here.
    void SetWindow(QWidget *window) { window_ = window; }

    void ShowMessage(const std::string &text, rebuild::MessageStyle style,
                     const std::optional<std::string> &title) override;
    void PumpEvents() override;
    [[noreturn]] void EndProgram() override;

    // Runs a handler of the window. An error escaping it (a platform error,
    // exhausted memory) is shown with the critical icon and its reason, and the
    // program then ends with status 1; nothing of the handler runs after it.
    void RunHandler(const std::function<void()> &handler);

  private:
    QWidget *window_ = nullptr;
};

}  // namespace ui
