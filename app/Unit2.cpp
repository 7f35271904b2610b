#include "Unit2.h"

#include "Controls.h"

#include <QLineEdit>
#include <QPushButton>

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("修改参数"));
    move(730, 394);
    resize(386, 193);
    setFont(LayoutFont("MS Sans Serif", 11));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColorToQColor(clBtnFace));
    setPalette(pal);

    Panel1 = new TPanel(this, clSkyBlue);
    Panel1->setGeometry(0, 0, 385, 193);

    QLineEdit** edits[] = {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5, &Edit6};
    const int tops[] = {16, 64, 104};
    for (int i = 0; i < 6; ++i) {
        auto* edit = new QLineEdit(Panel1);
        edit->setGeometry(i < 3 ? 72 : 200, tops[i % 3], 41, 21);
        QPalette editPal = edit->palette();
        editPal.setColor(QPalette::Base, ColorToQColor(clScrollBar));
        edit->setPalette(editPal);
        *edits[i] = edit;
    }

    const struct {
        const char* text;
        int left, top;
    } labels[] = {{"小数点: ", 24, 24}, {"菜单自动 ", 8, 56}, {"退出时间: ", 8, 72}, {"输入信号: ", 8, 112},
                  {"下限值:", 152, 24}, {"上限值:", 152, 72}, {"迂回值:", 152, 112}};
    for (const auto& l : labels) {
        auto* label = new TLabel(QString::fromUtf8(l.text), Panel1, l.left, l.top);
        label->SetFontColor(clMaroon);
    }

    BitBtn1 = new QPushButton(QStringLiteral("确定"), Panel1);
    BitBtn1->setGeometry(96, 144, 89, 25);
    QPalette buttonPal = BitBtn1->palette();
    buttonPal.setColor(QPalette::ButtonText, ColorToQColor(clBlue));
    BitBtn1->setPalette(buttonPal);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(BitBtn1); });
}

void TForm2::BitBtn1Click(QObject*) {
    close();
}
