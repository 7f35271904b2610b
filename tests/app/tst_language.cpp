// The panel in Chinese and in English: which language a run starts in, every visible text translated,
// the port button deciding by its state in both languages, and switching while the panel runs.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "Language.h"
#include "MainWindow.h"
#include "PtyPair.h"
#include "iLabel.h"
#include "iSwitchLed.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QStringList BuiltTranslations() {
    return {qEnvironmentVariable("Z7_BINARY_DIR") + QStringLiteral("/share/z7panel/translations")};
}

// Every text the window shows, with where it is. The language menu names each language in itself, so
// "中文" stays in the English window.
QStringList ShownTexts(QWidget* window) {
    QStringList texts{QStringLiteral("window title: ") + window->windowTitle()};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString where =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w))
            texts << where + QStringLiteral(": ") + label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << where + QStringLiteral(": ") + button->text();
        else if (auto* label = qobject_cast<TLabel*>(w))
            texts << where + QStringLiteral(": ") + label->Caption();
        else if (auto* label = qobject_cast<TiLabel*>(w))
            texts << where + QStringLiteral(": ") + label->Caption();
        else if (auto* menu = qobject_cast<QMenu*>(w))
            texts << where + QStringLiteral(": ") + menu->title();
    }
    for (QAction* action : window->findChildren<QAction*>())
        texts << QStringLiteral("action: ") + action->text();
    return texts;
}

QStringList Chinese(const QStringList& texts) {
    // CJK ideographs and the full-width punctuation that goes with them.
    static const QRegularExpression cjk(
        QStringLiteral("[\\x{3000}-\\x{303F}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    QStringList found;
    for (const QString& t : texts)
        if (t.contains(cjk))
            found << t;
    return found;
}

// Closes the next modal box that appears.
void CloseNextBox() {
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
        else
            CloseNextBox();
    });
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ApplyLanguage(Language::Chinese); }
    void choice_data();
    void choice();
    void englishWindowHasNoChinese();
    void portButtonDecidesByState_data();
    void portButtonDecidesByState();
    void switchingWhileRunning();
};

void TestLanguage::choice_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<Language>("expected");
    const Language zh = Language::Chinese;
    const Language en = Language::English;
    QTest::newRow("argument over all") << "en"
                                       << "zh" << QStringList{"zh-CN"} << en;
    QTest::newRow("argument zh") << "zh"
                                 << "en" << QStringList{"de-DE"} << zh;
    QTest::newRow("saved over system") << ""
                                       << "en" << QStringList{"zh-CN"} << en;
    QTest::newRow("system Chinese") << ""
                                    << "" << QStringList{"zh-Hans-CN", "en-US"} << zh;
    QTest::newRow("system Taiwan") << ""
                                   << "" << QStringList{"zh-TW"} << zh;
    QTest::newRow("system German") << ""
                                   << "" << QStringList{"de-DE", "zh-CN"} << en;
    QTest::newRow("system English") << ""
                                    << "" << QStringList{"en-GB"} << en;
    QTest::newRow("C locale") << ""
                              << "" << QStringList{"C"} << zh;
    QTest::newRow("POSIX then German") << ""
                                       << "" << QStringList{"POSIX", "de"} << en;
    QTest::newRow("no language") << ""
                                 << "" << QStringList{} << zh;
    QTest::newRow("saved value unknown") << ""
                                         << "fr" << QStringList{"en-US"} << en;
}

void TestLanguage::choice() {
    QFETCH(QString, argument);
    QFETCH(QString, saved);
    QFETCH(QStringList, system);
    QFETCH(Language, expected);
    QCOMPARE(ChooseLanguage(argument, saved, system), expected);
}

void TestLanguage::englishWindowHasNoChinese() {
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    TMainWindow window;
    window.show();
    QCOMPARE(Chinese(ShownTexts(&window)), QStringList{QStringLiteral("action: 中文")});
    QCOMPARE(window.Form()->BitBtn7->text(), QStringLiteral("Open"));
    QCOMPARE(window.Form()->iSwitchLed1->Caption(), QStringLiteral("STOP")); // the same in both
}

void TestLanguage::portButtonDecidesByState_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("Chinese") << Language::Chinese;
    QTest::newRow("English") << Language::English;
}

// Open, close; then a failed opening keeps the open look, and the next click closes.
void TestLanguage::portButtonDecidesByState() {
    QFETCH(Language, language);
    QVERIFY(ApplyLanguage(language, BuiltTranslations()));
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TForm1 form;
    const QString openText = form.BitBtn7->text();
    form.PresetPort(pty.name);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    QVERIFY(form.OpenLook());
    const QString closeText = form.BitBtn7->text();
    QVERIFY(closeText != openText);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.BitBtn7->text(), openText);

    form.PresetPort(QStringLiteral("/nonexistent/ttyZ7"));
    CloseNextBox();
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(!form.Comm1->IsOpen());
    QCOMPARE(form.BitBtn7->text(), closeText);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QCOMPARE(form.BitBtn7->text(), openText);
    QVERIFY(!form.OpenLook());
}

void TestLanguage::switchingWhileRunning() {
    PtyPair pty;
    TMainWindow window;
    window.show();
    TForm1* form = window.Form();
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("关闭串口"));

    QAction* english = window.LanguageActions.value(1);
    QCOMPARE(english->data().toString(), QStringLiteral("en"));
    // The menu looks beside the program for its translation; the test's build tree has it elsewhere.
    QVERIFY(ApplyLanguage(Language::English, BuiltTranslations()));
    QTRY_COMPARE(form->BitBtn7->text(), QStringLiteral("Close"));
    QCOMPARE(form->Label23->Caption(), QStringLiteral("Port: "));
    QVERIFY(window.StatusLabel()->text().startsWith(QStringLiteral("Port ")));
    QVERIFY(english->isChecked());
    QCOMPARE(Chinese(ShownTexts(&window)), QStringList{QStringLiteral("action: 中文")});

    // Back to Chinese through the menu: at once, and remembered.
    window.LanguageActions.value(0)->trigger();
    QTRY_COMPARE(form->BitBtn7->text(), QStringLiteral("关闭串口"));
    QCOMPARE(form->Label23->Caption(), QStringLiteral("端口: "));
    QCOMPARE(SavedLanguage(), QStringLiteral("zh"));
    QVERIFY(window.LanguageActions.value(0)->isChecked());
    // The port stayed open throughout, and the button still closes it.
    QVERIFY(form->Comm1->IsOpen());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Comm1->IsOpen());
}

int main(int argc, char* argv[]) {
    // The saved language goes to a place of the test's own, not the user's settings.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
