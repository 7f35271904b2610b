#include "CRC16.h"
#include "CommandLine.h"
#include "Controls.h"
#include "Fonts.h"
#include "LoopbackServer.h"
#include "ModbusFrame.h"
#include "PtyPair.h"
#include "SerialPorts.h"
#include "Unit2.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The operator types a text into a combo box's edit field.
void TypeInto(QComboBox* combo, const QString& text) {
    combo->lineEdit()->selectAll();
    QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(combo->lineEdit(), text);
}

// Closes the next modal box that appears and keeps what it said.
struct ModalCatcher : QObject {
    QString text;
    QString details;
    int seen = 0;
    QTimer timer;
    ModalCatcher() {
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++seen;
                text = box->text();
                details = box->detailedText();
                box->done(QMessageBox::Ok);
            }
        });
        timer.start();
    }
};

bool Lit(const QLabel* lit) {
    return !lit->isHidden();
}

QByteArray ReadReply(quint8 address, quint16 firstValue) {
    QByteArray reply(25, '\0');
    reply[0] = char(address);
    reply[1] = 0x03;
    reply[2] = 20;
    for (int i = 0; i < 10; ++i) {
        const quint16 v = quint16(firstValue + i);
        reply[3 + 2 * i] = char(v >> 8);
        reply[4 + 2 * i] = char(v & 0xFF);
    }
    const quint16 crc = CalcCRC16(reinterpret_cast<const quint8*>(reply.constData()), 23);
    reply[23] = char(crc >> 8);
    reply[24] = char(crc & 0xFF);
    return reply;
}

} // namespace

class TestApp : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void layoutFontsResolve();
    void lampPictures_data();
    void lampPictures();
    void baudText_data();
    void baudText();
    void formatOnPort_data();
    void formatOnPort();
    void rateAppliesAtOnceNameWaits();
    void missingPortShowsBoxAndStaysOpenLook_data();
    void missingPortShowsBoxAndStaysOpenLook();
    void openFailureCause();
    void hangupRestoresClosedLook();
    void portListOrder();
    void portBoxRefreshKeepsText();
    void listPositionFollowsText_data();
    void listPositionFollowsText();
    void flatControls();
    void commandLine_data();
    void commandLine();
    void programExitCodes_data();
    void programExitCodes();
    void commBoxKeepsPollRhythm();
    void pollThroughWindow();
};

void TestApp::startState() {
    TForm1 form;
    TForm2 form2(&form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCoreApplication::processEvents();

    QCOMPARE(form.windowTitle(), QStringLiteral("QM_Modbus RTU"));
    QCOMPARE(form.Label1->Caption(), QStringLiteral("Z7_三相控制界面  "));
    QCOMPARE(form.size(), QSize(801, 556));
    QCOMPARE(form.BitBtn7->text(), QStringLiteral("打开串口"));
    // Both lamps unlit: the lit pictures hidden, the unlit ones showing.
    QVERIFY(form.Image20->isHidden() && form.Image9->isVisible());
    QVERIFY(form.Image14->isHidden() && form.Image7->isVisible());
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("1"));
    QCOMPARE(form.ComboBox1->count(), 255);
    QCOMPARE(form.ComboBox4->currentText(), QStringLiteral("COM4"));
    QCOMPARE(form.ComboBox4->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(form.ComboBox4->itemText(8), QStringLiteral("COM9"));
    QCOMPARE(form.ComboBox5->currentText(), QStringLiteral("19200"));
    QCOMPARE(form.ComboBox6->currentText(), QStringLiteral("8_N_2"));
    QCOMPARE(form.Memo12->toPlainText(), QStringLiteral("0"));
    QCOMPARE(form.Memo13->toPlainText(), QStringLiteral("0"));
    QVERIFY(!form.CheckBox2->isChecked());
    QCOMPARE(form.CheckBox2->text(), QStringLiteral("通讯"));
    QVERIFY(form.Timer1->isActive() && form.Timer1->interval() == 1000);
    QVERIFY(form.Timer2->isActive() && form.Timer2->interval() == 500);
    QVERIFY(!form2.isVisible());
    QCOMPARE(form2.windowTitle(), QStringLiteral("修改参数"));

    // The port component agrees with the boxes: COM4, 19200 baud, "8_N_2" as no parity, two stop bits,
    // DTR on, RTS off, no flow control.
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.Comm1->CommName(), QStringLiteral("COM4"));
    const TCommState line = form.Comm1->LineState();
    QCOMPARE(line.BaudRate, 19200u);
    QCOMPARE(line.ByteSize, quint8(8));
    QCOMPARE(line.Parity, quint8(0));
    QCOMPARE(line.StopBits, quint8(2));
    QCOMPARE(line.Flags, quint32(0x0091));
    QCOMPARE(form.Comm1->Timeouts().ReadIntervalTimeout, 100u);

    // The layout's colours, through the one colour mapping.
    const QImage shot = form.grab().toImage();
    QCOMPARE(shot.pixelColor(2, 2), QColor(0, 0, 128));         // the banner's hot-light ground
    QCOMPARE(shot.pixelColor(400, 550), QColor(128, 128, 128)); // application workspace below Panel2
    // Panel3's lowered outer bevel: shadow on its left edge (x 512 of Panel2), highlight at the bottom.
    QCOMPARE(shot.pixelColor(512, 24 + 60), QColor(128, 128, 128));
    QCOMPARE(shot.pixelColor(600, 24 + 136), QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(513, 24 + 60), QColor(128, 128, 128)); // the inner lowered bevel
}

void TestApp::layoutFontsResolve() {
    const QString serif = QFontInfo(LayoutFont("宋体", 16)).family();
    QVERIFY2(serif.startsWith(u"Noto Serif CJK"), qPrintable(serif));
    const QString simsun = QFontInfo(LayoutFont("SimSun", 16)).family();
    QVERIFY2(simsun.startsWith(u"Noto Serif CJK"), qPrintable(simsun));
    const QString sans = QFontInfo(LayoutFont("MS Sans Serif", 11)).family();
    QVERIFY2(sans == u"DejaVu Sans", qPrintable(sans));
}

void TestApp::lampPictures_data() {
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QColor>("expected");
    const QColor none(0, 0, 0, 0);
    for (bool lit : {false, true}) {
        const QColor core = lit ? QColor(255, 0, 0) : QColor(0, 0, 0);
        const char* n = lit ? "lit " : "unlit ";
        QTest::newRow(QByteArray(n).append("centre")) << lit << QPoint(16, 16) << core;
        QTest::newRow(QByteArray(n).append("white ring")) << lit << QPoint(16, 10) << QColor(255, 255, 255);
        QTest::newRow(QByteArray(n).append("corner")) << lit << QPoint(0, 0) << none;
        QTest::newRow(QByteArray(n).append("beyond the rays")) << lit << QPoint(16, 2) << none;
        QTest::newRow(QByteArray(n).append("ray")) << lit << QPoint(16, 5) << (lit ? core : none);
    }
}

void TestApp::lampPictures() {
    QFETCH(bool, lit);
    QFETCH(QPoint, pixel);
    QFETCH(QColor, expected);
    const QImage image = (lit ? LitLampPicture() : UnlitLampPicture()).toImage();
    QCOMPARE(image.size(), QSize(32, 32));
    const QColor got = image.pixelColor(pixel);
    if (expected.alpha() == 0)
        QCOMPARE(got.alpha(), 0);
    else
        QCOMPARE(got, expected);
}

void TestApp::baudText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("rate");
    QTest::newRow("listed rate") << "38400" << 38400u;
    QTest::newRow("hex") << "$4B00" << 19200u;
    QTest::newRow("trailing letters") << "9600bd" << 9600u;
    QTest::newRow("no number") << "fast" << 0u;
    QTest::newRow("beyond 32 bits keeps the low bits") << "4294986496" << 19200u;
}

void TestApp::baudText() {
    QFETCH(QString, text);
    QFETCH(quint32, rate);
    TForm1 form;
    TypeInto(form.ComboBox5, text);
    QCOMPARE(form.Comm1->BaudRate(), rate);
}

void TestApp::formatOnPort_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("whileOpen");
    QTest::addColumn<int>("parity");
    QTest::addColumn<bool>("twoStopBits");
    for (bool open : {false, true}) {
        const char* when = open ? " while open" : " before opening";
        QTest::newRow(QByteArray("8_N_2").append(when)) << "8_N_2" << open << 0 << true;
        QTest::newRow(QByteArray("8_E_1").append(when)) << "8_E_1" << open << 2 << false;
        QTest::newRow(QByteArray("8_O_1").append(when)) << "8_O_1" << open << 1 << false;
    }
}

void TestApp::formatOnPort() {
    QFETCH(QString, format);
    QFETCH(bool, whileOpen);
    QFETCH(int, parity);
    QFETCH(bool, twoStopBits);
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TForm1 form;
    TypeInto(form.ComboBox4, pty.name);
    // Start from a different format, so every row is a real change on the line.
    TypeInto(form.ComboBox6, format == u"8_E_1" ? QStringLiteral("8_O_1") : QStringLiteral("8_E_1"));
    if (!whileOpen)
        TypeInto(form.ComboBox6, format);
    ModalCatcher catcher;
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QCOMPARE(catcher.seen, 0);
    QVERIFY(form.Comm1->IsOpen());
    if (whileOpen)
        TypeInto(form.ComboBox6, format);
    // The pseudo-terminal driver clears PARENB on every setting, so the line shows odd against even
    // (PARODD) and the stop bits; the record written carries the parity itself. Each row starts from
    // the other parity, so a record that was not rewritten shows the old PARODD.
    const termios t = pty.Settings();
    QCOMPARE(form.Comm1->LineState().Parity, quint8(parity));
    QCOMPARE(bool(t.c_cflag & PARODD), parity == 1);
    QCOMPARE(bool(t.c_cflag & CSTOPB), twoStopBits);
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));

    // A text that is no format leaves the line as it is.
    TypeInto(form.ComboBox6, QStringLiteral("7_N_1"));
    const termios after = pty.Settings();
    QCOMPARE(after.c_cflag & (PARENB | PARODD | CSTOPB | CSIZE),
             t.c_cflag & (PARENB | PARODD | CSTOPB | CSIZE));
}

void TestApp::rateAppliesAtOnceNameWaits() {
    PtyPair first;
    PtyPair second;
    QVERIFY(!first.name.isEmpty() && !second.name.isEmpty());
    TForm1 form;
    TypeInto(form.ComboBox4, first.name);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    QCOMPARE(cfgetospeed(&static_cast<const termios&>(first.Settings())), speed_t(B19200));

    // Another port chosen while open is only remembered...
    TypeInto(form.ComboBox4, second.name);
    QCOMPARE(form.Comm1->CommName(), second.name);
    // ...so the new rate reaches the port still open, at once.
    TypeInto(form.ComboBox5, QStringLiteral("9600"));
    termios t = first.Settings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    form.Comm1->SendData("\x55", 1);
    QCOMPARE(first.ReadMaster(1, 2000), QByteArray("\x55"));

    // Closing and opening again moves to the new name.
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QCOMPARE(form.BitBtn7->text(), QStringLiteral("打开串口"));
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    t = second.Settings();
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
}

void TestApp::missingPortShowsBoxAndStaysOpenLook_data() {
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("error");
    QTest::newRow("missing device") << false << ENOENT;
    QTest::newRow("network port nobody listens on") << true << ECONNREFUSED;
}

void TestApp::missingPortShowsBoxAndStaysOpenLook() {
    QFETCH(bool, network);
    QFETCH(int, error);
    QString port = QStringLiteral("/dev/z7-no-such-port");
    if (network) {
        LoopbackServer server;
        server.StopListening();
        port = server.Name();
    }
    TForm1 form;
    TypeInto(form.ComboBox4, port);
    QCOMPARE(form.Comm1->CommName(), port);
    ModalCatcher catcher;
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    // A network port connects aside: its box comes once the connection failed.
    if (network)
        QTRY_COMPARE(catcher.seen, 1);
    QCOMPARE(catcher.seen, 1);
    QCOMPARE(catcher.text, QStringLiteral("打开串口错误"));
    QVERIFY2(catcher.details.contains(u"Error opening serial port"), qPrintable(catcher.details));
    QVERIFY2(catcher.details.contains(port + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(error))),
             qPrintable(catcher.details));
    QCOMPARE(form.BitBtn7->text(), QStringLiteral("关闭串口"));
    QVERIFY(Lit(form.Image20));
    QVERIFY(!form.Comm1->IsOpen());

    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QCOMPARE(catcher.seen, 1);
    QCOMPARE(form.BitBtn7->text(), QStringLiteral("打开串口"));
    QVERIFY(!Lit(form.Image20) && form.Image9->isVisibleTo(&form));
}

void TestApp::openFailureCause() {
    const QString refused = DescribeOpenFailure(QStringLiteral("/dev/ttyUSB0"), EACCES);
    QVERIFY(refused.startsWith(u"/dev/ttyUSB0: "));
    QVERIFY(refused.contains(QString::fromLocal8Bit(strerror(EACCES))));
    QVERIFY(refused.contains(u"dialout"));
    QVERIFY(!DescribeOpenFailure(QStringLiteral("/dev/ttyUSB0"), ENOENT).contains(u"dialout"));
}

void TestApp::hangupRestoresClosedLook() {
    auto pty = std::make_unique<PtyPair>();
    TForm1 form;
    TypeInto(form.ComboBox4, pty->name);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    form.Image14->show(); // as after an accepted reply
    QSignalSpy hangup(form.Comm1, &TComm::OnRequestHangup);

    // The device side vanishes, as an adapter pulled out.
    pty->CloseMaster();
    QTRY_VERIFY_WITH_TIMEOUT(hangup.count() >= 1, 5000);
    QCOMPARE(form.BitBtn7->text(), QStringLiteral("打开串口"));
    QVERIFY(!form.Comm1->IsOpen());
    QVERIFY(!Lit(form.Image20) && form.Image9->isVisibleTo(&form));
    QVERIFY(!Lit(form.Image14) && form.Image7->isVisibleTo(&form));
}

void TestApp::portListOrder() {
    QTemporaryDir dev;
    QTemporaryDir sys;
    QVERIFY(dev.isValid() && sys.isValid());
    const auto touch = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("");
    };
    const auto sysType = [&](const char* tty, const char* type) {
        QDir().mkpath(sys.filePath(QString::fromLatin1(tty)));
        QFile f(sys.filePath(QString::fromLatin1(tty) + QStringLiteral("/type")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type);
    };
    for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyACM0", "ttyUSB10", "ttyUSB2", "tty0",
                             "ttyUSB", "serial/by-id/usb-FTDI_FT232R-if00-port0"})
        touch(dev.filePath(QString::fromLatin1(name)));
    sysType("ttyS0", "4\n");
    sysType("ttyS1", "0\n");
    sysType("ttyS10", "4\n");
    // ttyS2 has no type entry: no hardware known.

    const QString d = dev.path();
    const QStringList expected = {d + "/serial/by-id/usb-FTDI_FT232R-if00-port0",
                                  d + "/ttyUSB",
                                  d + "/ttyUSB2",
                                  d + "/ttyUSB10",
                                  d + "/ttyACM0",
                                  d + "/ttyS0",
                                  d + "/ttyS10"};
    QCOMPARE(ListSerialDevices(d, sys.path()), expected);
}

void TestApp::portBoxRefreshKeepsText() {
    TForm1 form;
    TypeInto(form.ComboBox4, QStringLiteral("/dev/ttyUSB7"));
    QSignalSpy activated(form.ComboBox4, &QComboBox::textActivated);
    form.ComboBox4->RefreshItems();
    QCOMPARE(form.ComboBox4->currentText(), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(form.Comm1->CommName(), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(form.ComboBox4->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(form.ComboBox4->count(), 9 + ListSerialDevices().size());
    QCOMPARE(activated.count(), 0);
}

void TestApp::listPositionFollowsText_data() {
    // A box, the text put into it (by the command line, typed, or none: the layout's), a key, and what
    // the box and the port then hold.
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shown");
    QTest::newRow("baud box as laid out, Down") << "baud"
                                                << ""
                                                << "" << int(Qt::Key_Down) << "38400";
    QTest::newRow("baud box as laid out, Up") << "baud"
                                              << ""
                                              << "" << int(Qt::Key_Up) << "9600";
    QTest::newRow("baud typed, Down") << "baud"
                                      << "typed"
                                      << "9600" << int(Qt::Key_Down) << "19200";
    QTest::newRow("baud typed, not listed, Down") << "baud"
                                                  << "typed"
                                                  << "1200" << int(Qt::Key_Down) << "4800";
    QTest::newRow("port box as laid out, Down") << "port"
                                                << ""
                                                << "" << int(Qt::Key_Down) << "COM5";
    QTest::newRow("port box as laid out, Up") << "port"
                                              << ""
                                              << "" << int(Qt::Key_Up) << "COM3";
    QTest::newRow("port from the command line, Down") << "port"
                                                      << "preset"
                                                      << "COM7" << int(Qt::Key_Down) << "COM8";
    QTest::newRow("format box as laid out, Down") << "format"
                                                  << ""
                                                  << "" << int(Qt::Key_Down) << "8_E_1";
}

void TestApp::listPositionFollowsText() {
    QFETCH(QString, box);
    QFETCH(QString, how);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(QString, shown);
    TForm1 form;
    QComboBox* combo = box == u"baud" ? form.ComboBox5 : box == u"port" ? form.ComboBox4 : form.ComboBox6;
    if (how == u"typed")
        TypeInto(combo, text);
    else if (how == u"preset")
        form.PresetPort(text);
    QCOMPARE(combo->currentIndex(), combo->findText(combo->currentText()));
    QTest::keyClick(combo->lineEdit(), Qt::Key(key));
    QCOMPARE(combo->currentText(), shown);
    // The choice reaches the port as any other choice does.
    if (box == u"baud")
        QCOMPARE(form.Comm1->BaudRate(), shown.toUInt());
    else if (box == u"port")
        QCOMPARE(form.Comm1->CommName(), shown);
    else
        QCOMPARE(int(form.Comm1->Parity()), int(TComm::Even));
}

namespace {

// Whether every pixel of the one-pixel ring around r has the colour.
bool RingIs(const QImage& image, const QRect& r, const QColor& colour) {
    for (int x = r.left(); x <= r.right(); ++x)
        if (image.pixelColor(x, r.top()) != colour || image.pixelColor(x, r.bottom()) != colour)
            return false;
    for (int y = r.top(); y <= r.bottom(); ++y)
        if (image.pixelColor(r.left(), y) != colour || image.pixelColor(r.right(), y) != colour)
            return false;
    return true;
}

// Whether every pixel inside r has one of the colours: a flat face with its mark, no shading.
bool OnlyColours(const QImage& image, const QRect& r, const QList<QColor>& colours) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (!colours.contains(image.pixelColor(x, y)))
                return false;
    return true;
}

} // namespace

void TestApp::flatControls() {
    // The window's controls are flat: the combo boxes and the check box have a one-pixel frame, the
    // drop-down button and the check box a flat face, and not one of them moves for it.
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QColor frame = ColorToQColor(clWindowFrame);
    const QList<QComboBox*> combos{form.ComboBox4, form.ComboBox5, form.ComboBox6, form.ComboBox1};
    const QList<QRect> places{{106, 2, 97, 21}, {106, 34, 97, 21}, {106, 66, 97, 21}, {208, 8, 49, 21}};
    for (int i = 0; i < combos.size(); ++i) {
        QComboBox* combo = combos[i];
        QCOMPARE(combo->geometry(), places[i]);
        QCOMPARE(combo->lineEdit()->geometry(), QRect(2, 2, places[i].width() - 23, 17));
        const QImage image = combo->grab().toImage();
        QVERIFY2(RingIs(image, image.rect(), frame), qPrintable(combo->currentText()));
        const QPalette& pal = combo->palette();
        // Inside the frame the edit field's ground, up to the button.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = true;
        const QRect button =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, combo) &
            image.rect().adjusted(1, 1, -1, -1);
        QVERIFY(button.width() > 8);
        QVERIFY(RingIs(image, QRect(1, 1, button.left() - 1, image.height() - 2), pal.color(QPalette::Base)));
        QVERIFY(RingIs(image, button, ColorToQColor(clBtnShadow)));
        QVERIFY(OnlyColours(image, button.adjusted(1, 1, -1, -1),
                            {pal.color(QPalette::Button), pal.color(QPalette::ButtonText)}));
    }

    QCheckBox* box = form.CheckBox2;
    QCOMPARE(box->geometry(), QRect(24, 8, 49, 25));
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QCOMPARE(indicator, QRect(0, 5, 14, 14));
    for (bool checked : {false, true}) {
        box->setChecked(checked);
        const QImage image = box->grab().toImage();
        QVERIFY(RingIs(image, indicator, frame));
        const QRect inside = indicator.adjusted(1, 1, -1, -1);
        QVERIFY(OnlyColours(image, inside,
                            {box->palette().color(QPalette::Base), box->palette().color(QPalette::Text)}));
        QCOMPARE(image.pixelColor(inside.center()) == box->palette().color(QPalette::Text), checked);
    }
}

void TestApp::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("port");
    QTest::newRow("none") << QStringList{} << int(TCommandLine::Run) << QString();
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB0"} << int(TCommandLine::Run)
                          << "/dev/ttyUSB0";
    QTest::newRow("network port") << QStringList{"--port", "tcp://[::1]:4001"} << int(TCommandLine::Run)
                                  << "tcp://[::1]:4001";
    QTest::newRow("help") << QStringList{"--help"} << int(TCommandLine::Help) << QString();
    QTest::newRow("version") << QStringList{"--version"} << int(TCommandLine::Version) << QString();
    QTest::newRow("port without name") << QStringList{"--port"} << int(TCommandLine::Error) << QString();
    QTest::newRow("port twice") << QStringList{"--port", "a", "--port", "b"} << int(TCommandLine::Error)
                                << QString();
    QTest::newRow("unknown") << QStringList{"-platform", "xcb"} << int(TCommandLine::Error) << QString();
    QTest::newRow("stray word") << QStringList{"COM1"} << int(TCommandLine::Error) << QString();
}

void TestApp::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, port);
    const TCommandLine parsed = ParseCommandLine(args);
    QCOMPARE(int(parsed.Action), action);
    if (action == TCommandLine::Run) {
        QCOMPARE(parsed.Port, port);
        TForm1 form;
        if (!port.isEmpty())
            form.PresetPort(port);
        const QString shown = port.isEmpty() ? QStringLiteral("COM4") : port;
        QCOMPARE(form.ComboBox4->currentText(), shown);
        QCOMPARE(form.Comm1->CommName(), shown);
        QCOMPARE(form.Comm1->IsNetworkPort(), shown.startsWith(u"tcp://"));
    }
}

void TestApp::programExitCodes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("usageOnStdout");
    QTest::addColumn<QByteArray>("usage");
    QTest::newRow("help") << QStringList{"--help", "--lang", "en"} << 0 << true << QByteArray("usage:");
    QTest::newRow("help in Chinese") << QStringList{"--help"} << 0 << true << QByteArray("用法:");
    QTest::newRow("unknown option") << QStringList{"--lang", "en", "--baud", "9600"} << 2 << false
                                    << QByteArray("usage:");
    QTest::newRow("port without name")
        << QStringList{"--lang", "en", "--port"} << 2 << false << QByteArray("usage:");
    QTest::newRow("language without name") << QStringList{"--lang"} << 2 << false << QByteArray("用法:");
    QTest::newRow("unknown language") << QStringList{"--lang", "fr"} << 2 << false << QByteArray("用法:");
}

void TestApp::programExitCodes() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(bool, usageOnStdout);
    QFETCH(QByteArray, usage);
    // A locale that names no language and no saved choice: the program speaks the laid-out Chinese
    // unless told otherwise.
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.remove(QStringLiteral("LANGUAGE"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(Z7PANEL_PATH), args);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QByteArray out = program.readAllStandardOutput();
    const QByteArray err = program.readAllStandardError();
    QCOMPARE(out.contains(usage), usageOnStdout);
    QCOMPARE(err.contains(usage), !usageOnStdout);
}

void TestApp::commBoxKeepsPollRhythm() {
    TForm1 form;
    form.show();
    QTest::qWait(100);
    const int before = form.Timer1->remainingTime();
    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(form.CheckBox2->isChecked());
    // Ticking the box gates polling; the poll timer keeps its second instead of starting a new one.
    QVERIFY(form.Timer1->isActive());
    QVERIFY2(form.Timer1->remainingTime() <= before,
             qPrintable(QStringLiteral("%1 > %2").arg(form.Timer1->remainingTime()).arg(before)));
}

void TestApp::pollThroughWindow() {
    PtyPair pty;
    TForm1 form;
    form.show();
    TypeInto(form.ComboBox4, pty.name);
    TypeInto(form.ComboBox1, QStringLiteral("17"));
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());

    // Unticked: ticks go by and nothing is sent.
    QCOMPARE(pty.ReadMaster(1, 1300), QByteArray());

    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(form.CheckBox2->isChecked());
    QCOMPARE(pty.ReadMaster(8, 1500).toHex(' '), QByteArray("11 03 00 00 00 0a c7 5d"));
    QVERIFY(!Lit(form.Image14));

    QVERIFY(pty.WriteMaster(ReadReply(17, 0xFFF0)));
    QTRY_VERIFY_WITH_TIMEOUT(Lit(form.Image14), 2000);
    QCOMPARE(form.Poll().Register(0), 0xFFF0);
    QCOMPARE(form.Poll().Register(9), 0xFFF9);

    // The next tick moves on to the second block; the device stays silent, so the tick after asks
    // for it again and the lamp goes out.
    QCOMPARE(pty.ReadMaster(8, 1500).toHex(' '), QByteArray("11 03 00 0a 00 0a e7 5f"));
    QVERIFY(Lit(form.Image14));
    QCOMPARE(pty.ReadMaster(8, 1500).toHex(' '), QByteArray("11 03 00 0a 00 0a e7 5f"));
    QVERIFY(!Lit(form.Image14) && form.Image7->isVisible());
    QCOMPARE(form.Memo12->toPlainText(), QStringLiteral("0"));
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
