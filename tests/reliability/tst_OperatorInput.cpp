// Garbage typed into every combo box of the main window ends in a defined state: no crash, no
// exception out of a handler, and the port either opens on the device named or shows one error box
// and stays usable. The device is one side of a pseudo-terminal pair; the other side shows the bytes.
#include "CRC16.h"
#include "ModbusFrame.h"
#include "PtyPair.h"
#include "TextToInt.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

const QString kOpenCaption = QStringLiteral("打开串口");
const QString kCloseCaption = QStringLiteral("关闭串口");

// Closes every modal box the handlers open and remembers its text.
class BoxCloser : public QObject {
public:
    QStringList texts;
    BoxCloser() {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.append(box->text());
                box->done(0);
            }
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// Types into a box as the operator does: the edit's text, then the edit notification the window's
// handler listens to. False when an exception left the handler.
bool Type(QComboBox* box, const QString& text) {
    try {
        box->lineEdit()->setText(text);
        emit box->lineEdit()->textEdited(text);
        return true;
    } catch (...) {
        return false;
    }
}

bool Call(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

class TestOperatorInput : public QObject {
    Q_OBJECT
private slots:
    void garbage_data();
    void garbage();
    void regularFileIsNoPort();
};

void TestOperatorInput::garbage_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    const QList<std::pair<const char*, QString>> texts = {
        {"empty", QString()},
        {"spaces", QStringLiteral("   ")},
        {"huge", QStringLiteral("99999999999999999999999")},
        {"minus one", QStringLiteral("-1")},
        {"hex", QStringLiteral("0x1F")},
        {"COM999", QStringLiteral("COM999")},
        {"non-ASCII", QStringLiteral("通讯€ä\u0301")},
        {"control", QStringLiteral("\x01\x1b[2J\t")},
        {"10000 digits", QString(10000, u'9')},
        {"10000 letters", QString(10000, u'Z')},
    };
    for (const char* box : {"port", "baud", "format", "address"})
        for (const auto& [name, text] : texts)
            QTest::addRow("%s: %s", box, name) << QString::fromLatin1(box) << text;
}

void TestOperatorInput::garbage() {
    QFETCH(QString, box);
    QFETCH(QString, text);
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    BoxCloser closer;
    TForm1 form;
    QComboBox* const boxes[] = {form.ComboBox4, form.ComboBox5, form.ComboBox6, form.ComboBox1};
    const QStringList good = {pty.name, QStringLiteral("19200"), QStringLiteral("8_N_2"),
                              QStringLiteral("1")};
    const int which = QStringList{"port", "baud", "format", "address"}.indexOf(box);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(Type(boxes[i], i == which ? text : good[i]), "an exception left a box's handler");

    switch (which) {
    case 0:
        QCOMPARE(form.Comm1->CommName(), text);
        break;
    case 1:
        QCOMPARE(form.Comm1->BaudRate(), quint32(TextToInt(text)));
        break;
    case 2: // not one of the three formats: the line keeps the one it had
        QCOMPARE(form.Comm1->Parity(), TComm::None);
        QCOMPARE(form.Comm1->StopBits(), TComm::_2);
        break;
    }

    QVERIFY2(Call([&] { form.BitBtn7->click(); }), "an exception left BitBtn7Click");
    QTRY_VERIFY(form.Comm1->IsOpen() || !closer.texts.isEmpty());
    // Either the port is open on the device named, or exactly one error box said it was not; the
    // button offers to close in both cases.
    QCOMPARE(form.BitBtn7->text(), kCloseCaption);
    if (form.Comm1->IsOpen()) {
        QVERIFY(closer.texts.isEmpty());
        QVERIFY2(which != 0, "a garbage port name opened something");
        form.CheckBox2->setChecked(true);
        QVERIFY2(Call([&] { form.Timer1Timer(form.Timer1); }), "an exception left Timer1Timer");
        const ModbusRequest r = BuildReadRequest(SlaveAddress(which == 3 ? text : good[3]), 0, 10);
        QCOMPARE(pty.ReadUntilQuiet(2000, 2000, 8), QByteArray(reinterpret_cast<const char*>(r.data()), 8));
    } else {
        QCOMPARE(closer.texts, QStringList{QStringLiteral("打开串口错误")});
    }

    QVERIFY2(Call([&] { form.BitBtn7->click(); }), "an exception left BitBtn7Click");
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.BitBtn7->text(), kOpenCaption);
    QVERIFY(!form.Image9->isHidden());
    QVERIFY(form.Image20->isHidden());

    // A good setting afterwards works again: the garbage left nothing behind.
    QVERIFY(Type(boxes[which], good[which]));
    closer.texts.clear();
    form.BitBtn7->click();
    QVERIFY2(form.Comm1->IsOpen(), qPrintable(closer.texts.join(u'|')));
    form.BitBtn7->click();
    QVERIFY(!form.Comm1->IsOpen());
}

// The port box names a device; a plain file under that name is refused and stays untouched, so the
// panel never writes requests into a file.
void TestOperatorInput::regularFileIsNoPort() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ttyS9"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    BoxCloser closer;
    TForm1 form;
    QVERIFY(Type(form.ComboBox4, path));
    form.BitBtn7->click();
    QTRY_VERIFY(form.Comm1->IsOpen() || !closer.texts.isEmpty());
    form.CheckBox2->setChecked(true);
    form.Timer1Timer(form.Timer1);
    QTest::qWait(50);
    QVERIFY2(!form.Comm1->IsOpen(), "a plain file was taken for a serial port");
    QCOMPARE(closer.texts, QStringList{QStringLiteral("打开串口错误")});
    QCOMPARE(QFileInfo(path).size(), 0);
}

QTEST_MAIN(TestOperatorInput)
#include "tst_OperatorInput.moc"
