#include "ui/form1.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <utility>

namespace ui {
namespace {

QFont WindowFont() {
    // The layout was measured in this font. Where it is missing, fonts of the
    // same widths keep the label's text within its two lines.
    QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "Nimbus Sans"});
    QFont font("MS Sans Serif");
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QPushButton *AddButton(QWidget *window, const char *name, const char *text, int left) {
    auto *button = new QPushButton(QString::fromUtf8(text), window);
    button->setObjectName(name);
    button->setGeometry(left, PixelsFromTwips(1320), PixelsFromTwips(1215), PixelsFromTwips(375));
    // Outside a dialog a button takes Enter only when told to; it is never
    // made the default, which would take Enter wherever the focus is.
    button->setAutoDefault(true);
    button->setDefault(false);
    return button;
}

}  // namespace

Form1::Form1(std::function<void()> ok_clicked, std::function<void()> end_program, QWidget *parent)
    : QWidget(parent), end_program_(std::move(end_program)) {
    setObjectName("Form1");
    setWindowTitle(QString::fromUtf8(kCaption));
    setFixedSize(PixelsFromTwips(4545), PixelsFromTwips(1920));
    setFont(WindowFont());

    // Created in tab order, so Tab goes from "OK" to "Annulla" and back.
    QPushButton *Command1 = AddButton(this, "Command1", "OK", PixelsFromTwips(840));
    QPushButton *Command2 = AddButton(this, "Command2", "Annulla", PixelsFromTwips(2400));
    setTabOrder(Command1, Command2);

    auto *Label1 = new QLabel(QString::fromUtf8(kLabelText), this);
    Label1->setObjectName("Label1");
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setFocusPolicy(Qt::NoFocus);
    Label1->setGeometry(PixelsFromTwips(120), PixelsFromTwips(120), PixelsFromTwips(4335),
                        PixelsFromTwips(495));

    connect(Command1, &QPushButton::clicked, this, [ok = std::move(ok_clicked)] { ok(); });
    connect(Command2, &QPushButton::clicked, this, [this] { end_program_(); });
    Command1->setFocus();
}

void Form1::closeEvent(QCloseEvent *event) {
    end_program_();
    event->accept();  // reached only when ending was faked, as in tests
}

}  // namespace ui
