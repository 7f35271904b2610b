#pragma once
// The parameter dialog: created hidden at start-up; nothing shows it and nothing reads its fields.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class TPanel;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    TPanel* Panel1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QPushButton* BitBtn1 = nullptr;

public slots:
    void BitBtn1Click(QObject* Sender);
};
