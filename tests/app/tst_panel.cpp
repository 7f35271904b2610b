// The working panel: the instrument widgets of the layout, the operator's commands through real mouse
// and key events, and the display tick, over a scripted port that records what the panel sends.
#include "CRC16.h"
#include "Controls.h"
#include "DisplayRefresh.h"
#include "Fonts.h"
#include "ModbusTestBytes.h"
#include "ScriptedCommPort.h"
#include "UpDown.h"
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLabel.h"
#include "iLedBar.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"
#include "iThermometer.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <map>

using namespace modbus_test;

namespace {

// The window with its timers stopped, so the test decides when a poll or display tick happens.
struct Panel {
    TScriptedCommPort* port;
    TForm1 form;
    Panel() : port(new TScriptedCommPort), form(std::unique_ptr<TCommPort>(port)) {
        form.Timer1->stop();
        form.Timer2->stop();
        form.show();
    }
    template <typename T> T* Widget(const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
    void OpenPort() {
        QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
        QVERIFY(form.Comm1->IsOpen());
    }
    void Tick(bool checked) {
        if (form.CheckBox2->isChecked() != checked)
            QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
        // Ticking the box starts the poll timer; these tests give the poll ticks by hand, and a real
        // one in between would take the block a test is waiting for.
        form.Timer1->stop();
    }
    void DisplayTick() { form.Timer2Timer(form.Timer2); }
    // Polls the three blocks and answers each from `image`, so the register image holds it.
    void LoadImage(const std::map<int, quint16>& image) {
        if (!form.Comm1->IsOpen())
            OpenPort();
        Tick(true);
        for (int block = 0; block < 3; ++block) {
            form.Timer1Timer(form.Timer1);
            QCOMPARE(int(form.Poll().PollPhase()), block);
            QList<quint16> values;
            for (int r = 0; r < 10; ++r) {
                const auto it = image.find(block * 10 + r);
                values << (it == image.end() ? 0 : it->second);
            }
            port->Feed(ReadReply(1, values));
            QTRY_COMPARE_WITH_TIMEOUT(int(form.Poll().BlockAnswered()), 1, 2000);
        }
        for (const auto& [reg, value] : image)
            QCOMPARE(form.Poll().Register(reg), qint32(value));
    }
    // What the panel sent since the last call.
    QByteArray Sent() {
        const QByteArray all = port->Written();
        const QByteArray fresh = all.mid(m_seen);
        m_seen = all.size();
        return fresh;
    }
    QByteArray WaitSent(int count) {
        QElapsedTimer t;
        t.start();
        while (port->Written().size() - m_seen < count && t.elapsed() < 2000)
            QTest::qWait(10);
        return Sent();
    }

private:
    qsizetype m_seen = 0;
};

// The write-single-register request for address 1.
QByteArray WriteRequest(quint8 reg, quint16 value) {
    QByteArray frame;
    frame.append(char(1)).append(char(6)).append(char(0)).append(char(reg));
    frame.append(char(value >> 8)).append(char(value & 0xFF));
    return WithCrc(frame);
}

QPoint Centre(const QWidget* w) {
    return w->rect().center();
}

int CountPixels(QWidget* w, QRgb rgb) {
    const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
    return n;
}

} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void settings_data();
    void settings();
    void knobRadiiAfterFirstPaint_data();
    void knobRadiiAfterFirstPaint();
    void labelsFitCaptions();
    void startUpAndFirstTick();
    void unchangedTickRepaintsNothing();
    void displayTick_data();
    void displayTick();
    void knobDragAndRelease();
    void knobRounding_data();
    void knobRounding();
    void releaseUntickedTimesOut();
    void keysAndWheelWriteNothing();
    void switchByCaption();
    void analogOutputNudges();
    void upDownIsInert();
    void commandWaitsForTheAnswerDue_data();
    void commandWaitsForTheAnswerDue();
    void closedPortTicksAreNoRequests();
};

void TestPanel::placement_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry"); // width or height -1: the class's own
    auto row = [](const char* name, const char* parent, int l, int t, int w = -1, int h = -1) {
        QTest::newRow(name) << name << parent << QRect(l, t, w, h);
    };
    row("iSwitchLed1", "Panel5", 312, 8, 177);
    const int ledLefts[9] = {24, 64, 104, 144, 232, 272, 360, 400, 448};
    for (int i = 0; i < 9; ++i)
        QTest::addRow("iLedRound%d", i + 1)
            << QStringLiteral("iLedRound%1").arg(i + 1) << "Panel1" << QRect(ledLefts[i], 48, -1, -1);
    row("iLabel1", "Panel1", 16, 32);
    row("iLabel5", "Panel1", 248, 8);
    row("iLabel11", "Panel1", 440, 32);
    row("iLabel12", "Panel4", 8, 8);
    row("iThermometer1", "Panel4", 72, 16);
    row("iAnalogOutput1", "Panel4", 8, 40, 49);
    row("iKnob1", "Panel6", 88, 16);
    row("iLedBar1", "Panel6", 392, 16, 25, 153);
    row("iAnalogOutput2", "Panel6", 16, 40, 57);
    row("iAnalogOutput3", "Panel6", 312, 40, 57);
    row("iAnalogOutput4", "Panel6", 488, 40, 57);
    row("iLedBar2", "Panel6", 560, 16, 25, 153);
    row("UpDown1", "Panel6", 73, 40, 15, 21);
    row("iAnalogDisplay1", "Panel7", 54, 21, 57);
    row("iAnalogDisplay3", "Panel7", 55, 85, 57);
    row("iLabel21", "Panel7", 21, 88);
    row("iLabel18", "Panel7", 121, 89);
    row("iAnalogDisplay4", "Panel8", 54, 21, 57);
    row("iLabel25", "Panel8", 28, 24);
    row("iLinearGauge1", "Panel2", 712, 360, -1, 96);
    row("iAnalogDisplay6", "Panel10", 126, 13, 57);
    row("iKnob3", "Panel10", 40, 48, 145, 137);
    row("iAnalogDisplay5", "Panel11", 126, 13, 57);
    row("iLabel23", "Panel11", 16, 8);
    row("iKnob2", "Panel11", 40, 48, 145, 137);
}

void TestPanel::placement() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    Panel panel;
    const QWidget* w = panel.form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->pos(), geometry.topLeft());
    if (geometry.width() >= 0)
        QCOMPARE(w->width(), geometry.width());
    if (geometry.height() >= 0)
        QCOMPARE(w->height(), geometry.height());
}

void TestPanel::settings_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("value");
    auto row = [](const char* name, const char* property, const QVariant& value) {
        QTest::addRow("%s.%s", name, property) << name << property << value;
    };
    row("iSwitchLed1", "Caption", QStringLiteral("STOP"));
    row("iSwitchLed1", "BorderSize", 2);
    row("iSwitchLed1", "BorderShadowColor", uint(clBtnShadow));
    row("iLedRound1", "InactiveColor", uint(clHighlightText));
    row("iLabel8", "Caption", QStringLiteral("CUUR"));
    row("iLabel8", "WordWrap", false);
    row("iLabel24", "Caption", QStringLiteral("最小输出量限制："));
    row("iThermometer1", "Position", 25.0);
    row("iThermometer1", "PositionMax", 100.0);
    row("iAnalogOutput1", "UnitsText", QStringLiteral("'C"));
    row("iAnalogOutput1", "Precision", 0);
    row("iAnalogOutput2", "Precision", 2);
    row("iKnob1", "PositionMax", 1000.0);
    row("iKnob1", "PositionDisplayUnits", QStringLiteral("0"));
    row("iKnob1", "KeyArrowStepSize", 0.1);
    row("iKnob3", "PositionMax", 400.0);
    row("iKnob3", "MouseWheelStepSize", 1.0);
    row("iLedBar1", "BackGroundColor", 0x20000000u);
    row("iLedBar1", "SectionEnd2", 75.0);
    row("iLedBar2", "BackGroundColor", uint(clSilver));
    row("iLedBar2", "SectionColor1", uint(clYellow));
    row("iLinearGauge1", "PositionMax", 380.0);
    row("iLinearGauge1", "PointerColor", uint(clBlue));
}

void TestPanel::settings() {
    QFETCH(QString, name);
    QFETCH(QString, property);
    QFETCH(QVariant, value);
    Panel panel;
    QObject* w = panel.form.findChild<QObject*>(name);
    QVERIFY(w);
    QCOMPARE(w->property(property.toLatin1().constData()), value);
}

void TestPanel::knobRadiiAfterFirstPaint_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("drawn");
    // The layout stores the radii that fitting gives with the 8-point sans face the layout names; its
    // stand-in here, DejaVu Sans, has digits a pixel wider, so the widest label ("1000" or "400") leaves
    // each knob a little less room.
    QTest::newRow("iKnob1") << "iKnob1" << 30 << 28;
    QTest::newRow("iKnob2") << "iKnob2" << 23 << 21;
    QTest::newRow("iKnob3") << "iKnob3" << 26 << 25;
}

// The layout's radius is read in; the first paint fits it to the knob's size and scale, and that is the
// radius the knob is drawn with from then on.
void TestPanel::knobRadiiAfterFirstPaint() {
    QFETCH(QString, name);
    QFETCH(int, stored);
    QFETCH(int, drawn);
    Panel panel;
    auto* knob = panel.form.findChild<TiKnob*>(name);
    QVERIFY(knob);
    QVERIFY(knob->AutoSize());
    QCOMPARE(knob->KnobRadius(), stored); // no event processed yet, so not painted yet
    knob->grab();
    QCOMPARE(knob->KnobRadius(), drawn);
    knob->grab();
    QCOMPARE(knob->KnobRadius(), drawn);
}

void TestPanel::labelsFitCaptions() {
    Panel panel;
    const QList<TiLabel*> labels = panel.form.findChildren<TiLabel*>();
    QCOMPARE(labels.size(), 25);
    for (TiLabel* label : labels) {
        const QFontMetrics metrics(label->Font()->ToQFont());
        QVERIFY2(label->width() >= metrics.horizontalAdvance(label->Caption()),
                 qPrintable(label->objectName()));
    }
}

void TestPanel::unchangedTickRepaintsNothing() {
    Panel panel;
    panel.LoadImage({{0, 1234}, {3, 1}, {13, 0x1FF}, {15, 3800}, {23, 3790}});
    panel.DisplayTick();
    QApplication::processEvents();
    const QList<TiComponent*> widgets = panel.form.findChildren<TiComponent*>();
    auto requests = [&widgets] {
        int n = 0;
        for (const TiComponent* w : widgets)
            n += w->RepaintRequestCount();
        return n;
    };
    const int before = requests();
    panel.DisplayTick();
    QCOMPARE(requests(), before);
    // One changed register repaints only the widgets that show it.
    panel.LoadImage({{0, 1234}, {3, 1}, {13, 0x1FF}, {15, 3800}, {23, 3791}});
    const int afterLoad = requests();
    panel.DisplayTick();
    QVERIFY(requests() > afterLoad);
    QVERIFY(requests() <= afterLoad + 2 * 2);
}

void TestPanel::startUpAndFirstTick() {
    Panel panel;
    auto* fonts = panel.Widget<TiAnalogDisplay>("iAnalogDisplay1");
    QVERIFY(fonts->Font()->Style() & fsBold);
    QCOMPARE(fonts->Font()->Color(), clAqua);
    QCOMPARE(panel.form.iKnob1->PositionDisplayFont()->ToQFont().pixelSize(), 19);
    QCOMPARE(panel.form.iSwitchLed1->Caption(), QStringLiteral("STOP"));
    QCOMPARE(panel.form.iThermometer1->Position(), 25.0);

    // Nothing read yet: the tick shows the all-zero image.
    panel.DisplayTick();
    QCOMPARE(panel.form.iSwitchLed1->Caption(), QStringLiteral("RUN"));
    QCOMPARE(panel.form.iSwitchLed1->ActiveColor(), TColor(255));
    QVERIFY(!panel.form.iSwitchLed1->Active());
    for (TiLedRound* led : panel.form.iLedRound) {
        QCOMPARE(led->ActiveColor(), TColor(65280));
        QVERIFY(!led->Active());
    }
    QVERIFY(CountPixels(panel.form.iLedRound[4], qRgb(0, 85, 0)) > 0);
    QCOMPARE(panel.form.iThermometer1->Position(), 0.0);
    for (auto* out : {panel.form.iAnalogOutput1, panel.form.iAnalogOutput2, panel.form.iAnalogOutput3,
                      panel.form.iAnalogOutput4})
        QCOMPARE(out->Value(), 0.0);
    for (auto* display : panel.form.iAnalogDisplay)
        QCOMPARE(display->Value(), 0.0);
    QCOMPARE(panel.form.iLinearGauge1->PositionMax(), 0.0);
    QCOMPARE(panel.form.iLinearGauge1->Position(), 0.0);
}

void TestPanel::displayTick_data() {
    QTest::addColumn<int>("runStop");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<uint>("color");
    QTest::newRow("bit 0 set") << 3 << "STOP" << 65280u;
    QTest::newRow("bit 0 clear") << 2 << "RUN" << 255u;
}

void TestPanel::displayTick() {
    QFETCH(int, runStop);
    QFETCH(QString, caption);
    QFETCH(uint, color);
    Panel panel;
    panel.LoadImage({{0, 1234},
                     {3, quint16(runStop)},
                     {4, 9999},
                     {5, 2305},
                     {10, 655},
                     {11, 1500},
                     {12, 150},
                     {13, 0x0105},
                     {15, 3000},
                     {20, 1},
                     {21, 22},
                     {22, 333},
                     {23, 3805}});
    panel.DisplayTick();
    TForm1& f = panel.form;
    QCOMPARE(f.iSwitchLed1->Caption(), caption);
    QCOMPARE(f.iSwitchLed1->ActiveColor(), TColor(color));
    // Bits 0, 2 and 8: red LEDs 1, 3 and 9, drawn dimmed since an alarm LED is never active.
    for (int k = 0; k < 9; ++k) {
        const bool red = k == 0 || k == 2 || k == 8;
        QCOMPARE(f.iLedRound[k]->ActiveColor(), TColor(red ? 255 : 65280));
        QVERIFY2(CountPixels(f.iLedRound[k], red ? qRgb(85, 0, 0) : qRgb(0, 85, 0)) > 0,
                 qPrintable(QString::number(k)));
    }
    QCOMPARE(f.iThermometer1->Position(), 100.0);
    QCOMPARE(f.iAnalogOutput1->Value(), 150.0);
    QCOMPARE(f.iAnalogOutput2->Value(), 12.34);
    QCOMPARE(f.iAnalogOutput2->Text(), QStringLiteral("12.34"));
    QCOMPARE(f.iAnalogOutput3->Value(), 65.5);
    QCOMPARE(f.iLedBar1->Position(), 65.5);
    QCOMPARE(f.iAnalogOutput4->Value(), 150.0);
    QCOMPARE(f.iLedBar2->Position(), 100.0);
    QCOMPARE(f.iAnalogDisplay[4]->Value(), 999.9);
    QCOMPARE(f.iAnalogDisplay[5]->Value(), 230.5);
    QCOMPARE(f.iAnalogDisplay[0]->Value(), 0.1);
    QCOMPARE(f.iAnalogDisplay[1]->Value(), 2.2);
    QCOMPARE(f.iAnalogDisplay[2]->Value(), 33.3);
    QCOMPARE(f.iAnalogDisplay[3]->Value(), 380.5);
    // The full scale of this tick clamps the position of this tick.
    QCOMPARE(f.iLinearGauge1->PositionMax(), 300.0);
    QCOMPARE(f.iLinearGauge1->Position(), 300.0);
    // The display never moves a knob.
    QCOMPARE(f.iKnob1->Position(), 0.0);
}

void TestPanel::knobDragAndRelease() {
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    TiKnob* knob = panel.form.iKnob2;
    // A real drag: press inside the knob, sweep clockwise round its centre, release.
    const QPoint c = Centre(knob);
    QTest::mousePress(knob, Qt::LeftButton, {}, c + QPoint(-10, 10));
    for (const QPoint& p : {QPoint(-14, 0), QPoint(-10, -10), QPoint(0, -14), QPoint(10, -10)})
        QTest::mouseMove(knob, c + p);
    QVERIFY(knob->Position() > 0);
    QCOMPARE(panel.form.Poll().WritePending(), 0);
    QTest::mouseRelease(knob, Qt::LeftButton, {}, c + QPoint(10, -10));
    QCOMPARE(panel.form.Poll().WritePending(), 1);
    QCOMPARE(panel.WaitSent(8), WriteRequest(4, KnobWriteValue(knob->Position())));

    // At 250.0 a plain click on the knob writes 250 to register 4.
    knob->SetPosition(250.0);
    QTest::mouseClick(knob, Qt::LeftButton, {}, c);
    QCOMPARE(knob->Position(), 250.0);
    QCOMPARE(panel.WaitSent(8).toHex(' '), QByteArray("01 06 00 04 00 fa 48 48"));
    QCOMPARE(panel.form.Poll().WritePending(), 1);
    QCOMPARE(int(panel.form.Poll().WriteRegister()), 4);
}

void TestPanel::knobRounding_data() {
    QTest::addColumn<QString>("knob");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::newRow("999.5 up to even") << "iKnob1" << 999.5 << 0 << 1000;
    QTest::newRow("998.5 down to even") << "iKnob1" << 998.5 << 0 << 998;
    QTest::newRow("minimum output") << "iKnob3" << 399.6 << 5 << 400;
}

void TestPanel::knobRounding() {
    QFETCH(QString, knob);
    QFETCH(double, position);
    QFETCH(int, reg);
    QFETCH(int, value);
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    auto* k = panel.form.findChild<TiKnob*>(knob);
    k->SetPosition(position);
    QTest::mouseClick(k, Qt::LeftButton, {}, Centre(k));
    QCOMPARE(panel.WaitSent(8), WriteRequest(quint8(reg), quint16(value)));
}

void TestPanel::releaseUntickedTimesOut() {
    Panel panel;
    panel.OpenPort();
    QTest::mouseClick(panel.form.iKnob1, Qt::LeftButton, {}, Centre(panel.form.iKnob1));
    QCOMPARE(panel.form.Poll().WritePending(), 1);
    QCOMPARE(int(panel.form.Poll().WriteRegister()), 0);
    for (int tick = 1; tick <= 3; ++tick) {
        panel.DisplayTick();
        QCOMPARE(panel.form.Poll().WritePending(), 1);
    }
    panel.DisplayTick();
    QCOMPARE(panel.form.Poll().WritePending(), 0);
    QCOMPARE(int(panel.form.Poll().WriteTimeoutCounter()), 0);
    QTest::qWait(150);
    QCOMPARE(panel.Sent(), QByteArray());
}

void TestPanel::keysAndWheelWriteNothing() {
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    TiKnob* knob = panel.form.iKnob3;
    knob->setFocus();
    QTRY_VERIFY(knob->HasFocus());
    QTest::keyClick(knob, Qt::Key_Up);
    QTest::keyClick(knob, Qt::Key_PageUp);
    QCOMPARE(knob->Position(), 1.1);
    const QPoint c = Centre(knob);
    QWheelEvent wheel(c, knob->mapToGlobal(c), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(knob, &wheel);
    QCOMPARE(knob->Position(), 2.1);
    QCOMPARE(panel.form.Poll().WritePending(), 0);
    // The display never moves a knob the operator turned.
    panel.DisplayTick();
    QCOMPARE(knob->Position(), 2.1);
    QTest::qWait(150);
    QCOMPARE(panel.Sent(), QByteArray());
}

void TestPanel::switchByCaption() {
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    TiSwitchLed* sw = panel.form.iSwitchLed1;
    // The layout's "STOP": the switch starts the device.
    QTest::mouseClick(sw, Qt::LeftButton, {}, Centre(sw));
    QVERIFY(sw->Active());
    QCOMPARE(panel.WaitSent(8), WriteRequest(3, 1));
    QCOMPARE(panel.form.Memo13->toPlainText(), QStringLiteral("1111"));

    // The device reports bit 0 clear: "RUN", and the switch stops it, whatever its own state.
    panel.DisplayTick();
    QCOMPARE(sw->Caption(), QStringLiteral("RUN"));
    sw->setFocus();
    QTest::keyClick(sw, Qt::Key_Space);
    QVERIFY(!sw->Active());
    QCOMPARE(panel.WaitSent(8), WriteRequest(3, 0));
    QCOMPARE(panel.form.Memo13->toPlainText(), QStringLiteral("3333"));
    QCOMPARE(panel.form.Poll().WritePending(), 1);
}

void TestPanel::analogOutputNudges() {
    Panel panel;
    panel.OpenPort();
    panel.DisplayTick();
    TiAnalogOutput* out = panel.form.iAnalogOutput2;
    QTest::mousePress(out, Qt::LeftButton, {}, Centre(out));
    QCOMPARE(out->Value(), -0.1);
    QTest::mouseRelease(out, Qt::LeftButton, {}, Centre(out));
    QVERIFY(qAbs(out->Value()) < 1e-12);
    // Held across a display tick: the register's value wins until the release.
    QTest::mousePress(out, Qt::MiddleButton, {}, Centre(out));
    QCOMPARE(out->Value(), -0.1);
    panel.DisplayTick();
    QCOMPARE(out->Value(), 0.0);
    QTest::mouseRelease(out, Qt::MiddleButton, {}, Centre(out));
    QApplication::processEvents();
    QCOMPARE(panel.form.Poll().WritePending(), 0);
    QTest::qWait(150);
    QCOMPARE(panel.Sent(), QByteArray());
}

void TestPanel::upDownIsInert() {
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    panel.DisplayTick();
    TUpDown* upDown = panel.form.UpDown1;
    QCOMPARE(upDown->Associate(), panel.form.iAnalogOutput2);
    QTest::mouseClick(upDown->UpButton(), Qt::LeftButton);
    QTest::mouseClick(upDown->UpButton(), Qt::LeftButton);
    QTest::mouseClick(upDown->DownButton(), Qt::LeftButton);
    QCOMPARE(upDown->Position(), 1);
    // At the bottom of its range it stays there.
    QTest::mouseClick(upDown->DownButton(), Qt::LeftButton);
    QTest::mouseClick(upDown->DownButton(), Qt::LeftButton);
    QCOMPARE(upDown->Position(), 0);
    // The field's Up key belongs to the arrows too.
    panel.form.iAnalogOutput2->setFocus();
    QTest::keyClick(panel.form.iAnalogOutput2, Qt::Key_Up);
    QCOMPARE(upDown->Position(), 1);
    QCOMPARE(panel.form.iAnalogOutput2->Value(), 0.0);
    QCOMPARE(panel.form.iAnalogOutput2->Text(), QStringLiteral("0.00"));
    QCOMPARE(panel.form.Poll().WritePending(), 0);
    QTest::qWait(150);
    QCOMPARE(panel.Sent(), QByteArray());
}

// A knob released straight after a poll request: on a half-duplex line its write request must not go
// out while the poll's answer is due. It goes once the answer is delivered, or once the silence
// interval after the request has passed with nothing received.
void TestPanel::commandWaitsForTheAnswerDue_data() {
    QTest::addColumn<bool>("answering");
    QTest::newRow("the answer coming in past the interval") << true;
    QTest::newRow("a silent device") << false;
}

void TestPanel::commandWaitsForTheAnswerDue() {
    QFETCH(bool, answering);
    Panel panel;
    panel.OpenPort();
    panel.Tick(true);
    // Each record with what the panel had written when it was made.
    QList<std::pair<TrafficRecord, qsizetype>> seen;
    connect(&panel.form, &TForm1::trafficRecorded, this, [&](const TrafficRecord& r) {
        seen.append({r, panel.port->Written().size()});
    });
    panel.form.Timer1Timer(panel.form.Timer1);
    QCOMPARE(panel.WaitSent(8), Hex("01030000000AC5CD"));

    TiKnob* knob = panel.form.iKnob2;
    knob->SetPosition(250.0);
    QTest::mouseClick(knob, Qt::LeftButton, {}, Centre(knob));
    QCOMPARE(panel.form.Poll().WritePending(), 1);
    QCOMPARE(panel.Sent(), QByteArray());
    if (answering) {
        // Slowly enough that the answer is still coming in when the interval after the request is over.
        const QByteArray reply = ReadReply(1, {500});
        for (int i = 0; i < reply.size(); i += 5) {
            panel.port->Feed(reply.mid(i, 5));
            QTest::qWait(30);
        }
    }
    QCOMPARE(panel.WaitSent(8), WriteRequest(4, 250));
    panel.port->Feed(WriteRequest(4, 250));
    QTRY_COMPARE_WITH_TIMEOUT(panel.form.Poll().WritePending(), 0, 2000);

    QList<Verdict> verdicts;
    for (const auto& [record, written] : seen)
        verdicts << record.verdict;
    const TrafficRecord& read = seen[0].first;
    if (answering) {
        QCOMPARE(verdicts,
                 (QList<Verdict>{Verdict::Sent, Verdict::Accepted, Verdict::Sent, Verdict::Confirmed}));
        // The answer was delivered before the write request went out, nothing else.
        QCOMPARE(seen[1].second, 8);
        QVERIFY(seen[2].first.monotonicUs >= seen[1].first.monotonicUs);
        QCOMPARE(panel.form.Poll().Register(0), 500);
    } else {
        QCOMPARE(verdicts, (QList<Verdict>{Verdict::Sent, Verdict::Sent, Verdict::Confirmed}));
    }
    // Never before the silence interval after the poll request.
    const qint64 intervalUs = qint64(panel.form.Comm1->ReadIntervalTimeout()) * 1000;
    QVERIFY(seen[answering ? 2 : 1].first.monotonicUs - read.monotonicUs >= intervalUs);
    QCOMPARE(seen.last().first.function, quint8(0x06));
    QVERIFY(panel.form.Image14->isVisible());
}

// With the port closed, or gone with its device, a tick of the poll timer sends nothing: it is no
// request and makes no record. The lamp stays out.
void TestPanel::closedPortTicksAreNoRequests() {
    Panel panel;
    panel.Tick(true);
    QList<Verdict> verdicts;
    connect(&panel.form, &TForm1::trafficRecorded, this,
            [&](const TrafficRecord& r) { verdicts << r.verdict; });
    for (int i = 0; i < 3; ++i)
        panel.form.Timer1Timer(panel.form.Timer1);
    QVERIFY(verdicts.isEmpty());
    QVERIFY(panel.form.Image14->isHidden());

    // A request goes out, then the device vanishes: that request is missing once, and that is all.
    panel.OpenPort();
    panel.form.Timer1Timer(panel.form.Timer1);
    panel.port->FailEvents(TPortStatus::Failed);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.form.Comm1->IsOpen(), 2000);
    for (int i = 0; i < 3; ++i)
        panel.form.Timer1Timer(panel.form.Timer1);
    QCOMPARE(verdicts, (QList<Verdict>{Verdict::Sent, Verdict::NoReply}));
    QVERIFY(panel.form.Image14->isHidden());
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel.moc"
