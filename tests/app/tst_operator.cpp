// What the frame tells the operator about the form's device, on a scripted device: the veil over stale
// readings, each command's fate in the status bar and by the control used, and the set-point dialog
// down to the request bytes it causes.

#include "CRC16.h"
#include "Controls.h"
#include "MainWindow.h"
#include "ModbusTestBytes.h"
#include "RegisterWindow.h"
#include "ScriptedCommPort.h"
#include "SetPointDialog.h"
#include "StaleVeil.h"
#include "iComponent.h"
#include "iKnob.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QToolTip>

#include <atomic>
#include <memory>

using namespace modbus_test;

namespace {

// A Z7 at address 1 that answers reads with register 0 = 500 (5.00 %) and echoes writes, or stays
// silent, or refuses writes with exception 02.
struct Device {
    enum Mode { Answering, Silent, RefusingWrites };
    std::atomic<int> mode = Answering;

    QByteArray Answer(const QByteArray& written) const {
        if (mode == Silent || written.size() != 8 || quint8(written[0]) != 1)
            return {};
        if (written[1] == 0x06)
            return mode == RefusingWrites ? WithCrc(Hex("018602")) : written;
        return ReadReply(1, {500});
    }
};

struct Panel {
    TScriptedCommPort* port = new TScriptedCommPort;
    TMainWindow window{std::unique_ptr<TCommPort>(port)};
    TForm1* form = window.Form();
    Device device;

    Panel() {
        port->SetResponder(
            [this](const QByteArray& written, const TCommState&) { return device.Answer(written); });
        window.show();
    }
    void Open() { QTest::mouseClick(form->BitBtn7, Qt::LeftButton); }
    void Poll(bool on) {
        if (form->CheckBox2->isChecked() != on)
            QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    }
    bool VeilShown() const { return window.Veil()->isVisible(); }
    // The write request the port was handed last, if any.
    QByteArray LastWrite() const {
        const QByteArray all = port->Written();
        for (qsizetype i = all.size() - 8; i >= 0; --i)
            if (all[i] == 0x01 && all[i + 1] == 0x06)
                return all.mid(i, 8);
        return {};
    }
};

// The widgets under `root` painted while `action` runs and the events it posted are handled.
QStringList PaintsDuring(QWidget* root, const std::function<void()>& action) {
    struct Counter : QObject {
        QStringList painted;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint)
                painted << o->objectName() + QLatin1Char(':') + QLatin1String(o->metaObject()->className());
            return false;
        }
    } counter;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets << root;
    for (QWidget* w : widgets)
        w->installEventFilter(&counter);
    action();
    QApplication::processEvents();
    for (QWidget* w : widgets)
        w->removeEventFilter(&counter);
    return counter.painted;
}

} // namespace

class TestOperator : public QObject {
    Q_OBJECT
private slots:
    void veilFollowsTheReadings();
    void veilLetsClicksThroughAndAddsNoRepaint();
    void commandFateInTheStatusBar();
    void setPointWritesAsTheKnobWould_data();
    void setPointWritesAsTheKnobWould();
    void setPointRefusals_data();
    void setPointRefusals();
    void registerViewOpensTheDialogOnItsQuantity();
};

void TestOperator::veilFollowsTheReadings() {
    Panel panel;
    TStaleVeil* veil = panel.window.Veil();
    QVERIFY(panel.VeilShown());
    QCOMPARE(veil->Text(), QStringLiteral("尚无读数"));
    panel.Open();
    QVERIFY(panel.VeilShown());
    panel.Poll(true);
    // The first accepted reply lifts it.
    QTRY_VERIFY_WITH_TIMEOUT(!panel.VeilShown(), 10000);
    const qint64 lastUtcMs = *panel.window.Watch()->Readings().LastUpdateUtcMs();

    // Silent: two missing answers leave the readings live, the third veils them with the last time.
    panel.device.mode = Device::Silent;
    QTRY_VERIFY_WITH_TIMEOUT(panel.VeilShown(), 15000);
    QVERIFY(QDateTime::currentMSecsSinceEpoch() - lastUtcMs > 2500);
    const QString time = QDateTime::fromMSecsSinceEpoch(*panel.window.Watch()->Readings().LastUpdateUtcMs())
                             .toString(QStringLiteral("HH:mm:ss"));
    QCOMPARE(veil->Text(), QStringLiteral("读数未更新 · 最后更新 %1").arg(time));

    panel.device.mode = Device::Answering;
    QTRY_VERIFY_WITH_TIMEOUT(!panel.VeilShown(), 10000);
    // Polling off veils at once; so does closing the port.
    panel.Poll(false);
    QVERIFY(panel.VeilShown());
    panel.Poll(true);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.VeilShown(), 10000);
    panel.Open(); // closes
    QVERIFY(panel.VeilShown());
}

void TestOperator::veilLetsClicksThroughAndAddsNoRepaint() {
    Panel panel;
    QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
    QVERIFY(panel.VeilShown());
    // Every control under the veil is still what a click there reaches.
    const QList<QWidget*> controls = {panel.form->iKnob1, panel.form->iKnob2, panel.form->iKnob3,
                                      panel.form->Memo12};
    for (QWidget* control : controls) {
        const QPoint centre = control->mapTo(panel.form, control->rect().center());
        QVERIFY2(panel.form->childAt(centre) == control || control->isAncestorOf(panel.form->childAt(centre)),
                 qPrintable(control->objectName()));
    }
    // The port settings and the communication bar are left clear.
    QVERIFY(!panel.window.Veil()->geometry().intersects(
        panel.form->Panel5->geometry().translated(0, 24).adjusted(0, 0, 0, -2)));
    QVERIFY(!panel.window.Veil()->mask().contains(panel.form->BitBtn7->mapTo(panel.form, QPoint(5, 5)) -
                                                  panel.window.Veil()->pos()));
    // A display tick that changes nothing paints nothing, veil and strip and status bar included, once
    // what the window's showing and its status refresh put on the way has been painted.
    panel.form->Timer2Timer(nullptr);
    QTest::qWait(600);
    QCOMPARE(PaintsDuring(&panel.window, [&] { panel.form->Timer2Timer(nullptr); }), QStringList());
}

void TestOperator::commandFateInTheStatusBar() {
    Panel panel;
    QLabel* fate = panel.window.CommandLabel();
    // Not sent: said in the status bar and by the knob.
    panel.Open();
    panel.form->iKnob2->SetPosition(250);
    panel.form->iKnob2Click(panel.form->iKnob2);
    QCOMPARE(fate->text(), QStringLiteral("未发送: 通讯未开启"));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("未发送: 通讯未开启"));
    QVERIFY(panel.LastWrite().isEmpty());

    panel.Poll(true);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.VeilShown(), 10000);
    panel.form->iKnob2Click(panel.form->iKnob2);
    QCOMPARE(fate->text(), QStringLiteral("发送中…"));
    QTRY_VERIFY_WITH_TIMEOUT(fate->text().startsWith(QStringLiteral("已确认 (")), 10000);
    QVERIFY(fate->toolTip().startsWith(QStringLiteral("最大输出量限制 25.0 %: 已确认")));

    panel.device.mode = Device::RefusingWrites;
    panel.form->iKnob2->SetPosition(260);
    panel.form->iKnob2Click(panel.form->iKnob2);
    QTRY_VERIFY_WITH_TIMEOUT(fate->text().startsWith(QStringLiteral("被拒绝: ")), 10000);
    QVERIFY2(fate->text().contains(QStringLiteral("02")), qPrintable(fate->text()));

    panel.device.mode = Device::Silent;
    panel.form->iKnob2->SetPosition(270);
    panel.form->iKnob2Click(panel.form->iKnob2);
    QTRY_COMPARE_WITH_TIMEOUT(fate->text(), QStringLiteral("无应答"), 10000);
}

void TestOperator::setPointWritesAsTheKnobWould_data() {
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("setting 10.00") << int(Quantity::InputSetting) << "10.00"
                                   << "写入 设定值 = 10.00 %？" << WithCrc(Hex("0106000003E8"));
    QTest::newRow("maximum 25.5") << int(Quantity::MaxOutput) << "25.5"
                                  << "写入 最大输出量限制 = 25.5 %？" << WithCrc(Hex("0106000400FF"));
    QTest::newRow("minimum 40") << int(Quantity::MinOutput) << "40"
                                << "写入 最小输出量限制 = 40.0 %？" << WithCrc(Hex("010600050190"));
    QTest::newRow("start") << int(Quantity::Run) << "启动"
                           << "写入 运行 = 启动？" << WithCrc(Hex("010600030000"));
    QTest::newRow("stop") << int(Quantity::Run) << "停止"
                          << "写入 运行 = 停止？" << WithCrc(Hex("010600030001"));
}

void TestOperator::setPointWritesAsTheKnobWould() {
    QFETCH(int, quantity);
    QFETCH(QString, typed);
    QFETCH(QString, question);
    QFETCH(QByteArray, request);
    Panel panel;
    panel.Open();
    panel.Poll(true);
    QTRY_VERIFY_WITH_TIMEOUT(!panel.VeilShown(), 10000);
    panel.window.showSetPoint(Quantity(quantity));
    TSetPointDialog* dialog = panel.window.SetPointDialog();
    QVERIFY(dialog && dialog->isVisible());
    QString asked;
    bool answer = false;
    dialog->Confirm = [&](const QString& q, const QString&) {
        asked = q;
        return answer;
    };
    const auto enter = [&] {
        if (Quantity(quantity) == Quantity::Run) {
            dialog->RunBox()->setCurrentText(typed);
            dialog->findChildren<QPushButton*>().last()->click();
        } else {
            QLineEdit* field = dialog->Field(Quantity(quantity));
            field->setText(typed);
            QTest::keyClick(field, Qt::Key_Return);
        }
    };
    // Asked, and declined: nothing goes out.
    enter();
    QCOMPARE(asked, question);
    QVERIFY(panel.LastWrite().isEmpty());
    answer = true;
    enter();
    QTRY_COMPARE_WITH_TIMEOUT(panel.LastWrite(), request, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        dialog->findChild<QLabel*>(QStringLiteral("fate"))->text().contains(QStringLiteral("已确认")), 10000);
    // The device's value is shown beside the field (register 0 reads 500 here).
    if (Quantity(quantity) == Quantity::InputSetting) {
        const QList<QLabel*> labels = dialog->findChildren<QLabel*>();
        QVERIFY(
            std::any_of(labels.cbegin(), labels.cend(), [](QLabel* l) { return l->text() == u"5.00 %"; }));
    }
}

void TestOperator::setPointRefusals_data() {
    QTest::addColumn<bool>("polling");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("out of range") << true << "10.5"
                                  << "10.5 超出范围 0.00 % 至 10.00 %。";
    QTest::newRow("not a number") << true << "ten"
                                  << "“ten”不是数字。";
    QTest::newRow("too fine") << true << "1.234"
                              << "设定值最多 2 位小数。";
    QTest::newRow("polling off") << false << "5"
                                 << "未发送: 通讯未开启";
}

void TestOperator::setPointRefusals() {
    QFETCH(bool, polling);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    Panel panel;
    panel.Open();
    panel.Poll(polling);
    panel.window.showSetPoint(Quantity::InputSetting);
    TSetPointDialog* dialog = panel.window.SetPointDialog();
    bool asked = false;
    dialog->Confirm = [&](const QString&, const QString&) { return asked = true; };
    QCOMPARE(dialog->findChildren<QLabel*>().first()->isVisible(), !polling);
    dialog->Field(Quantity::InputSetting)->setText(typed);
    QTest::keyClick(dialog->Field(Quantity::InputSetting), Qt::Key_Return);
    QCOMPARE(dialog->Refusal(), refusal);
    QVERIFY(!asked);
    QTest::qWait(100);
    QVERIFY(panel.LastWrite().isEmpty());
}

void TestOperator::registerViewOpensTheDialogOnItsQuantity() {
    Panel panel;
    panel.window.RegistersAction->trigger();
    TRegisterWindow* registers = panel.window.RegisterWindow();
    QVERIFY(registers);
    registers->WriteButton(4)->click();
    TSetPointDialog* dialog = panel.window.SetPointDialog();
    QVERIFY(dialog && dialog->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), dialog->Field(Quantity::MaxOutput));
}

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
