#include "iEditCustom.h"

#include <QTest>

namespace {

// Every character 10 pixels wide, so scroll windows and click positions follow from the numbers alone.
int FixedWidth(const QString& s) {
    return int(s.size()) * 10;
}

} // namespace

class TestEditCustom : public QObject {
    Q_OBJECT

private slots:
    void bufferKeepsIndicesInsideText();
    void cursorKeys_data();
    void cursorKeys();
    void deletingAndInserting_data();
    void deletingAndInserting();
    void scrollWindow_data();
    void scrollWindow();
    void charIndexAtX_data();
    void charIndexAtX();
};

void TestEditCustom::bufferKeepsIndicesInsideText() {
    EditBuffer b;
    b.setText("12345");
    b.setCursor(9);
    QCOMPARE(b.cursor(), 5);
    b.setSelection(3, 9);
    QCOMPARE(b.selStart(), 3);
    QCOMPARE(b.selLength(), 2);
    b.setText("1");
    QCOMPARE(b.cursor(), 1);
    QCOMPARE(b.selStart(), 1);
    QCOMPARE(b.selLength(), 0);
    b.setCursor(-4);
    QCOMPARE(b.cursor(), 0);
}

using Keys = QList<int>; // EditBuffer::Move values, with 0x100 for Shift and 0x200 for Ctrl

void TestEditCustom::cursorKeys_data() {
    QTest::addColumn<int>("startCursor");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");

    using M = EditBuffer::Move;
    constexpr int S = 0x100, C = 0x200;
    // Text "abcdef".
    QTest::newRow("left") << 3 << Keys{int(M::Left)} << 2 << -1 << 0;
    QTest::newRow("left at start stays") << 0 << Keys{int(M::Left)} << 0 << -1 << 0;
    QTest::newRow("right at end stays") << 6 << Keys{int(M::Right)} << 6 << -1 << 0;
    QTest::newRow("ctrl left to start") << 4 << Keys{int(M::Left) | C} << 0 << -1 << 0;
    QTest::newRow("ctrl right to end") << 1 << Keys{int(M::Right) | C} << 6 << -1 << 0;
    QTest::newRow("home, end") << 3 << Keys{int(M::Home), int(M::End)} << 6 << -1 << 0;
    QTest::newRow("shift right twice") << 2 << Keys{int(M::Right) | S, int(M::Right) | S} << 4 << 2 << 2;
    QTest::newRow("shift left selects leftwards")
        << 4 << Keys{int(M::Left) | S, int(M::Left) | S} << 2 << 2 << 2;
    QTest::newRow("shift back over anchor")
        << 3 << Keys{int(M::Right) | S, int(M::Left) | S, int(M::Left) | S} << 2 << 2 << 1;
    QTest::newRow("shift ctrl right") << 2 << Keys{int(M::Right) | S | C} << 6 << 2 << 4;
    QTest::newRow("shift home") << 5 << Keys{int(M::Home) | S} << 0 << 0 << 5;
    QTest::newRow("plain move drops selection") << 2 << Keys{int(M::End) | S, int(M::Left)} << 5 << -1 << 0;
}

void TestEditCustom::cursorKeys() {
    QFETCH(int, startCursor);
    QFETCH(Keys, keys);
    EditBuffer b;
    b.setText("abcdef");
    b.setCursor(startCursor);
    for (int k : keys)
        b.moveCursor(EditBuffer::Move(k & 0xFF), k & 0x100, k & 0x200);
    QTEST(b.cursor(), "cursor");
    QFETCH(int, selStart);
    if (selStart >= 0)
        QCOMPARE(b.selStart(), selStart);
    QTEST(b.selLength(), "selLength");
}

void TestEditCustom::deletingAndInserting_data() {
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("op"); // "bs", "del" or the text to insert
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("newCursor");

    QTest::newRow("backspace at 0 changes nothing") << 0 << 0 << 0 << "bs"
                                                    << "0.0'C" << 0;
    QTest::newRow("backspace") << 3 << 0 << 0 << "bs"
                               << "0.'C" << 2;
    QTest::newRow("backspace selection") << 5 << 1 << 2 << "bs"
                                         << "0'C" << 1;
    QTest::newRow("delete at end changes nothing") << 5 << 0 << 0 << "del"
                                                   << "0.0'C" << 5;
    QTest::newRow("delete") << 1 << 0 << 0 << "del"
                            << "00'C" << 1;
    QTest::newRow("delete selection") << 0 << 0 << 3 << "del"
                                      << "'C" << 0;
    // The number part selected with the caret behind the units: typing replaces the number only.
    QTest::newRow("insert over selection") << 5 << 0 << 3 << "7"
                                           << "7'C" << 1;
    QTest::newRow("insert at caret") << 1 << 0 << 0 << "12"
                                     << "012.0'C" << 3;
}

void TestEditCustom::deletingAndInserting() {
    QFETCH(int, cursor);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, op);
    EditBuffer b;
    b.setText("0.0'C");
    b.setCursor(cursor);
    b.setSelection(selStart, selLength);
    if (op == "bs")
        b.deleteBackward();
    else if (op == "del")
        b.deleteForward();
    else
        b.insert(op);
    QTEST(b.text(), "text");
    QTEST(b.cursor(), "newCursor");
    QCOMPARE(b.selLength(), 0);
}

void TestEditCustom::scrollWindow_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("firstVisible");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");

    const QString longText = "0123456789ABCDEFGHIJ"; // 200 pixels in a 56-pixel field: 5 characters fit
    QTest::newRow("short text shows whole") << "1234" << 4 << 3 << 0 << 3;
    QTest::newRow("caret at end") << longText << 20 << 0 << 15 << 19;
    QTest::newRow("home shows start") << longText << 0 << 15 << 0 << 4;
    QTest::newRow("caret inside window stays") << longText << 12 << 10 << 10 << 14;
    QTest::newRow("caret just behind window") << longText << 15 << 10 << 10 << 14;
    QTest::newRow("caret one further scrolls one") << longText << 16 << 10 << 11 << 15;
    QTest::newRow("caret left of window") << longText << 7 << 10 << 7 << 11;
    QTest::newRow("start beyond a shortened text") << longText << 3 << 40 << 3 << 7;
}

void TestEditCustom::scrollWindow() {
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(int, firstVisible);
    const EditVisibleRange r = ScrollEditText(text, cursor, firstVisible, 56, FixedWidth);
    QTEST(r.first, "first");
    QTEST(r.last, "last");
}

void TestEditCustom::charIndexAtX_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("index");

    // Text drawn from x = 3; characters 10 wide.
    QTest::newRow("left of text, window at 0") << 0 << 1 << 0;
    QTest::newRow("left of text, scrolled") << 4 << 1 << 3;
    QTest::newRow("first half of first char") << 0 << 7 << 0;
    QTest::newRow("second half of first char") << 0 << 9 << 1;
    QTest::newRow("middle of third char") << 0 << 27 << 2;
    QTest::newRow("right of the window") << 0 << 200 << 5;
    QTest::newRow("scrolled window, first char") << 4 << 5 << 4;
    QTest::newRow("scrolled window, second half") << 4 << 19 << 6;
}

void TestEditCustom::charIndexAtX() {
    QFETCH(int, first);
    QFETCH(int, x);
    const QString text = "0123456789";
    const EditVisibleRange visible{first, first + 4};
    QTEST(EditCharIndexAt(text, x, 3, visible, FixedWidth), "index");
}

QTEST_MAIN(TestEditCustom)
#include "tst_editcustom.moc"
