// Form1, the program's only window: one sentence on what the program does, and
// two buttons. It holds no logic: "OK" and "Annulla" call what they are given,
// and so does a close request from the window's frame.
#pragma once

#include <QWidget>
#include <functional>

class QCloseEvent;

namespace ui {

inline constexpr char kCaption[] = "Ricostruzione archivio Velko";
inline constexpr char kLabelText[] =
    "Questo programma ricostruisce l'archivio velko. Il nome dell'azienda sarà uguale al suo "
    "codice.";

// The layout is drawn up in twips; Qt's logical pixel is the pixel of a
// 96-dpi screen, 15 twips. Every measure of the layout is a whole number of
// pixels, and a measure that is not fails to compile.
consteval int PixelsFromTwips(int twips) {
    if (twips % 15 != 0) throw "not a whole number of pixels";
    return twips / 15;
}

class Form1 final : public QWidget {
  public:
    // `ok_clicked` runs for each click on "OK"; `end_program` for a click on
    // "Annulla" and for a close request, and is expected not to return.
    Form1(std::function<void()> ok_clicked, std::function<void()> end_program,
          QWidget *parent = nullptr);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    std::function<void()> end_program_;
};

}  // namespace ui
