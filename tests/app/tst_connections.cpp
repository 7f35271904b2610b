// Connections remembered by choice: the recent list's order, duplicates and limit, named connections
// saved, replaced and removed, a connection put into the four boxes as typed, remembered when its port
// opens and chosen again from the menu, and --connection on the command line.
#include "CRC16.h"
#include "CommandLine.h"
#include "Connections.h"
#include "Fonts.h"
#include "Language.h"
#include "MainWindow.h"
#include "ModalBoxes.h"
#include "PtyPair.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

Connection Serial(int n, quint8 address = 1) {
    return Connection{QStringLiteral("/dev/ttyUSB%1").arg(n), 19200, QStringLiteral("8_N_2"), address};
}

// The panel's settings as the program keeps them, emptied between tests.
void ForgetAll() {
    PanelSettings().clear();
}

} // namespace

Q_DECLARE_METATYPE(Connection)

class TestConnections : public QObject {
    Q_OBJECT
private slots:
    void init() { ForgetAll(); }
    void recent_data();
    void recent();
    void named();
    void appliedAsTyped_data();
    void appliedAsTyped();
    void rememberedWhenOpenedAndChosenAgain();
    void commandLine_data();
    void commandLine();
    void unknownNameStopsTheStart();
};

void TestConnections::recent_data() {
    QTest::addColumn<QList<Connection>>("opened");
    QTest::addColumn<QList<Connection>>("listed");
    QTest::newRow("newest first") << QList<Connection>{Serial(0), Serial(1)}
                                  << QList<Connection>{Serial(1), Serial(0)};
    QTest::newRow("again moves to the front, once")
        << QList<Connection>{Serial(0), Serial(1), Serial(2), Serial(0)}
        << QList<Connection>{Serial(0), Serial(2), Serial(1)};
    QTest::newRow("five at most, the oldest goes")
        << QList<Connection>{Serial(0), Serial(1), Serial(2), Serial(3), Serial(4), Serial(5)}
        << QList<Connection>{Serial(5), Serial(4), Serial(3), Serial(2), Serial(1)};
    QTest::newRow("another address is another connection")
        << QList<Connection>{Serial(0, 1), Serial(0, 2)} << QList<Connection>{Serial(0, 2), Serial(0, 1)};
    const Connection tcp{QStringLiteral("tcp://[::1]:4001"), 9600, QStringLiteral("8_E_1"), 247};
    QTest::newRow("network port") << QList<Connection>{tcp} << QList<Connection>{tcp};
}

void TestConnections::recent() {
    QFETCH(QList<Connection>, opened);
    QFETCH(QList<Connection>, listed);
    QCOMPARE(RecentConnections(), QList<Connection>());
    for (const Connection& c : opened)
        RememberConnection(c);
    QCOMPARE(RecentConnections(), listed);
}

void TestConnections::named() {
    const Connection furnace{QStringLiteral("tcp://gw-7.plant.example:4001"), 38400, QStringLiteral("8_O_1"),
                             12};
    // Names are the operator's words: slashes, spaces and Chinese are kept as typed.
    const QString furnaceName = QStringLiteral("炉 1/区 A");
    SaveConnection(furnaceName, furnace);
    SaveConnection(QStringLiteral("bench"), Serial(3, 5));
    QCOMPARE(ConnectionNames().size(), 2);
    QVERIFY(ConnectionNames().contains(furnaceName));
    QCOMPARE(NamedConnection(furnaceName).value_or(Connection{}), furnace);
    QCOMPARE(NamedConnection(QStringLiteral("bench")).value_or(Connection{}), Serial(3, 5));
    QVERIFY(!NamedConnection(QStringLiteral("炉 1")));

    SaveConnection(QStringLiteral("bench"), Serial(4, 6));
    QCOMPARE(ConnectionNames().size(), 2);
    QCOMPARE(NamedConnection(QStringLiteral("bench")).value_or(Connection{}), Serial(4, 6));
    RemoveConnection(QStringLiteral("bench"));
    QCOMPARE(ConnectionNames(), QStringList{furnaceName});
    QCOMPARE(NamedConnection(furnaceName).value_or(Connection{}), furnace);

    // An entry the boxes could not hold (written by hand) is passed over, not turned into address 44.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("z7panel"));
    settings.setValue(QStringLiteral("connections/named/2/name"), QStringLiteral("broken"));
    settings.setValue(QStringLiteral("connections/named/2/port"), QStringLiteral("/dev/ttyS0"));
    settings.setValue(QStringLiteral("connections/named/2/baud"), 9600);
    settings.setValue(QStringLiteral("connections/named/2/address"), 300);
    settings.setValue(QStringLiteral("connections/named/size"), 2);
    settings.sync();
    QCOMPARE(ConnectionNames(), QStringList{furnaceName});
}

void TestConnections::appliedAsTyped_data() {
    QTest::addColumn<Connection>("connection");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("serial, even parity")
        << Connection{QStringLiteral("/dev/ttyS7"), 9600, "8_E_1", 17} << int(TComm::Even) << int(TComm::_1);
    QTest::newRow("network, odd parity")
        << Connection{QStringLiteral("tcp://192.168.1.20:4001"), 38400, "8_O_1", 247} << int(TComm::Odd)
        << int(TComm::_1);
    QTest::newRow("the layout's own")
        << Connection{QStringLiteral("COM4"), 19200, "8_N_2", 1} << int(TComm::None) << int(TComm::_2);
}

void TestConnections::appliedAsTyped() {
    QFETCH(Connection, connection);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    TForm1 form;
    // Start from other values than the connection's, so that every box has to change.
    ApplyConnection(form, Connection{QStringLiteral("/dev/ttyACM3"), 4800, "8_O_1", 99});
    ApplyConnection(form, connection);
    QCOMPARE(form.ComboBox4->currentText(), connection.port);
    QCOMPARE(form.ComboBox5->currentText(), QString::number(connection.baudRate));
    QCOMPARE(form.ComboBox6->currentText(), connection.format);
    QCOMPARE(form.ComboBox1->currentText(), QString::number(connection.address));
    // The boxes' handlers ran: the line is set, and the poll asks the address.
    QCOMPARE(form.Comm1->CommName(), connection.port);
    QCOMPARE(form.Comm1->IsNetworkPort(), connection.port.startsWith(u"tcp://"));
    QCOMPARE(form.Comm1->BaudRate(), connection.baudRate);
    QCOMPARE(int(form.Comm1->Parity()), parity);
    QCOMPARE(int(form.Comm1->StopBits()), stopBits);
    QCOMPARE(form.Address(), connection.address);
    // The list follows the typed text, as it does for the operator.
    QCOMPARE(form.ComboBox5->itemText(form.ComboBox5->currentIndex()), form.ComboBox5->currentText());
    QCOMPARE(CurrentConnection(form), connection);
}

// A port that opens is remembered with the line it opened on; one that fails is not. Chosen from 文件 →
// 最近的连接, it comes back into the boxes.
void TestConnections::rememberedWhenOpenedAndChosenAgain() {
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TMainWindow window;
    TForm1* form = window.Form();
    TConnectionMenu* menu = window.Connections();
    const auto showFileMenu = [&window] {
        for (QAction* m : window.menuBar()->actions())
            if (m->menu() && m->menu()->actions().contains(window.SaveTrafficAction))
                emit m->menu()->aboutToShow();
    };
    showFileMenu();
    QVERIFY(!menu->RecentMenu->isEnabled());
    QVERIFY(!menu->OpenAction->isEnabled());

    const Connection worked{pty.name, 9600, QStringLiteral("8_E_1"), 7};
    ApplyConnection(*form, worked);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    ApplyConnection(*form,
                    Connection{QStringLiteral("/nonexistent/ttyZ7"), 4800, QStringLiteral("8_N_2"), 3});
    CloseNextBox();
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Comm1->IsOpen());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QCOMPARE(RecentConnections(), QList<Connection>{worked});

    showFileMenu();
    QVERIFY(menu->RecentMenu->isEnabled());
    QCOMPARE(menu->RecentMenu->actions().size(), 1);
    QCOMPARE(menu->RecentMenu->actions().first()->text(), worked.Text());
    menu->RecentMenu->actions().first()->trigger();
    QCOMPARE(CurrentConnection(*form), worked);
    QCOMPARE(form->ComboBox4->currentText(), pty.name);
}

void TestConnections::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("connection"); // empty: an error
    QTest::newRow("a name") << QStringList{"--connection", "炉 1"} << "炉 1";
    QTest::newRow("with a traffic log")
        << QStringList{"--traffic-log", "/tmp/t.log", "--connection", "bench"} << "bench";
    QTest::newRow("no name") << QStringList{"--connection"} << "";
    QTest::newRow("twice") << QStringList{"--connection", "a", "--connection", "b"} << "";
    QTest::newRow("with a port") << QStringList{"--connection", "a", "--port", "/dev/ttyUSB0"} << "";
    QTest::newRow("with an export") << QStringList{"--connection", "a", "--export-csv", "-"} << "";
}

void TestConnections::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, connection);
    const TCommandLine parsed = ParseCommandLine(args);
    QCOMPARE(parsed.Action, connection.isEmpty() ? TCommandLine::Error : TCommandLine::Run);
    if (connection.isEmpty())
        QVERIFY2(parsed.Message.contains(u"--connection"), qPrintable(parsed.Message));
    else
        QCOMPARE(parsed.Connection, connection);
    QVERIFY(UsageText(QStringLiteral("z7panel")).contains(u"--connection"));
}

// A name that is not saved stops the program before any window, naming the saved ones.
void TestConnections::unknownNameStopsTheStart() {
    SaveConnection(QStringLiteral("bench"), Serial(3));
    SaveConnection(QStringLiteral("炉 1"), Serial(4));
    for (const auto& [language, expected] :
         {std::pair{
              QStringLiteral("en"),
              QStringLiteral("z7panel: there is no connection named \"oven\"; the saved connections: ")},
          std::pair{QStringLiteral("zh"), QStringLiteral("z7panel: 没有名为“oven”的连接；已保存的连接：")}}) {
        QProcess program;
        program.start(QStringLiteral(Z7PANEL_PATH), {QStringLiteral("--lang"), language,
                                                     QStringLiteral("--connection"), QStringLiteral("oven")});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(err.startsWith(expected) && err.contains(u"bench") && err.contains(u"炉 1"),
                 qPrintable(err));
    }
}

int main(int argc, char* argv[]) {
    // The connections go to a place of the test's own, not the user's settings; the program the test
    // starts finds them there too.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    LoadFontAliases();
    QApplication app(argc, argv);
    TestConnections test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connections.moc"
