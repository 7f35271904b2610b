#include "iEditCustom.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

// Every character 10 pixels wide, so scroll windows and click positions follow from the numbers alone.
int FixedWidth(const QString& s) {
    return int(s.size()) * 10;
}

// An edit box in a shown, active window, so focus, keys and the clipboard behave as on the desktop.
struct EditWindow {
    QWidget window;
    TiEditCustom* edit;
    EditWindow() : edit(new TiEditCustom(&window)) {
        window.resize(160, 60);
        edit->move(10, 10);
        window.show();
    }
    // Gives the box the focus the way the operator does: a click.
    bool focus() {
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        edit->RenderToImage();
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->Width() - 3, 10));
        return edit->HasFocus();
    }
};

struct KeyStroke {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};
using KeyStrokes = QList<KeyStroke>;

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

    void keyboard_data();
    void keyboard();
    void applyOnEnterAndFocusLoss_data();
    void applyOnEnterAndFocusLoss();
    void longTextScrollsWithCaret();
    void mouseSelection();
    void clipboard_data();
    void clipboard();
    void contextMenuStates_data();
    void contextMenuStates();
    void contextMenuApplies_data();
    void contextMenuApplies();
    void applicationMenuReplacesBuiltIn();
    void autoSizeFollowsFont();
    void paintsSelectionOnlyWhenFocusedAndNoError();
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

void TestEditCustom::keyboard_data() {
    QTest::addColumn<KeyStrokes>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");

    // The box starts with "abcd" accepted, the caret at its end and nothing selected.
    const auto shift = Qt::ShiftModifier;
    const auto ctrl = Qt::ControlModifier;
    QTest::newRow("type") << KeyStrokes{{Qt::Key_X}, {Qt::Key_Y}} << "abcdxy" << 6 << -1 << 0;
    QTest::newRow("backspace") << KeyStrokes{{Qt::Key_Backspace}} << "abc" << 3 << -1 << 0;
    QTest::newRow("backspace at 0 changes nothing")
        << KeyStrokes{{Qt::Key_Home}, {Qt::Key_Backspace}} << "abcd" << 0 << -1 << 0;
    QTest::newRow("delete") << KeyStrokes{{Qt::Key_Home}, {Qt::Key_Delete}} << "bcd" << 0 << -1 << 0;
    QTest::newRow("shift left twice")
        << KeyStrokes{{Qt::Key_Left, shift}, {Qt::Key_Left, shift}} << "abcd" << 2 << 2 << 2;
    QTest::newRow("ctrl shift left") << KeyStrokes{{Qt::Key_Left, shift | ctrl}} << "abcd" << 0 << 0 << 4;
    QTest::newRow("ctrl left, shift end")
        << KeyStrokes{{Qt::Key_Left, ctrl}, {Qt::Key_Right}, {Qt::Key_End, shift}} << "abcd" << 4 << 1 << 3;
    QTest::newRow("typing replaces selection")
        << KeyStrokes{{Qt::Key_Left, shift}, {Qt::Key_Z}} << "abcz" << 4 << -1 << 0;
    QTest::newRow("ctrl+a selects all, no letter typed")
        << KeyStrokes{{Qt::Key_A, ctrl}} << "abcd" << 4 << 0 << 4;
    QTest::newRow("up and down do nothing")
        << KeyStrokes{{Qt::Key_Left}, {Qt::Key_Up}, {Qt::Key_Down}} << "abcd" << 3 << -1 << 0;
    QTest::newRow("escape returns to accepted text")
        << KeyStrokes{{Qt::Key_X}, {Qt::Key_Escape}} << "abcd" << 0 << 0 << 4;
    QTest::newRow("ctrl+z returns to accepted text")
        << KeyStrokes{{Qt::Key_Backspace}, {Qt::Key_Z, ctrl}} << "abcd" << 0 << 0 << 4;
    QTest::newRow("ctrl+letter is no text") << KeyStrokes{{Qt::Key_B, ctrl}} << "abcd" << 4 << -1 << 0;
    const auto alt = Qt::AltModifier;
    QTest::newRow("alt+letter is no text")
        << KeyStrokes{{Qt::Key_B, alt}, {Qt::Key_B, alt | shift}} << "abcd" << 4 << -1 << 0;
    QTest::newRow("shifted letter is text") << KeyStrokes{{Qt::Key_B, shift}} << "abcdb" << 5 << -1 << 0;
}

void TestEditCustom::keyboard() {
    QFETCH(KeyStrokes, keys);
    EditWindow w;
    // A second box to take the focus, should an arrow key escape the first.
    auto* other = new TiEditCustom(&w.window);
    other->move(10, 35);
    other->show();
    QVERIFY(w.focus());
    w.edit->SetText("abcd");
    w.edit->ApplyText();
    QTest::keyClick(w.edit, Qt::Key_End);
    for (const KeyStroke& k : keys)
        QTest::keyClick(w.edit, k.key, k.modifiers);
    QTEST(w.edit->Text(), "text");
    QTEST(w.edit->CursorPos(), "cursor");
    QFETCH(int, selStart);
    if (selStart >= 0)
        QCOMPARE(w.edit->SelStart(), selStart);
    QTEST(w.edit->SelLength(), "selLength");
    QVERIFY(w.edit->HasFocus());
}

void TestEditCustom::applyOnEnterAndFocusLoss_data() {
    QTest::addColumn<bool>("acceptOnLostFocus");
    QTest::addColumn<bool>("pressEnter");
    QTest::addColumn<int>("changes");

    QTest::newRow("enter") << false << true << 1;
    QTest::newRow("focus loss applies") << true << false << 1;
    QTest::newRow("focus loss without AcceptOnLostFocus") << false << false << 0;
    QTest::newRow("enter, then focus loss: once") << true << true << 1;
}

void TestEditCustom::applyOnEnterAndFocusLoss() {
    QFETCH(bool, acceptOnLostFocus);
    QFETCH(bool, pressEnter);
    EditWindow w;
    auto* other = new TiEditCustom(&w.window);
    other->move(10, 35);
    other->show();
    w.edit->SetAcceptOnLostFocus(acceptOnLostFocus);
    QVERIFY(w.focus());
    QSignalSpy changes(w.edit, &TiEditCustom::OnChange);
    QTest::keyClicks(w.edit, "12");
    if (pressEnter) {
        QTest::keyClick(w.edit, Qt::Key_Return);
        QCOMPARE(w.edit->LastAcceptedText(), QString("12"));
        QCOMPARE(w.edit->SelLength(), 2);
    }
    other->setFocus();
    QTRY_VERIFY(!w.edit->HasFocus());
    QTEST(int(changes.count()), "changes");
    QCOMPARE(w.edit->LastAcceptedText() == "12", pressEnter || acceptOnLostFocus);
    QVERIFY(!w.edit->CaretCreated());
}

void TestEditCustom::longTextScrollsWithCaret() {
    EditWindow w;
    QVERIFY(w.focus());
    const QString text = "0123456789012345678901234567890123456789";
    w.edit->SetText(text);
    QTest::keyClick(w.edit, Qt::Key_End);
    w.edit->RenderToImage();
    const EditVisibleRange atEnd = w.edit->VisibleRange();
    QCOMPARE(atEnd.last, int(text.size()) - 1);
    QVERIFY(atEnd.first > 0);
    // The window that is drawn fits the field.
    const QFontMetrics fm(w.edit->Font()->ToQFont());
    QVERIFY(fm.horizontalAdvance(text.mid(atEnd.first, atEnd.last - atEnd.first + 1)) <= w.edit->Width() - 4);
    QVERIFY(w.edit->TextRect().right() < w.edit->Width());

    QTest::keyClick(w.edit, Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(w.edit, Qt::Key_Right);
    w.edit->RenderToImage();
    QCOMPARE(w.edit->VisibleRange().first, 1);

    QTest::keyClick(w.edit, Qt::Key_Home);
    w.edit->RenderToImage();
    QCOMPARE(w.edit->VisibleRange().first, 0);
    QVERIFY(w.edit->VisibleRange().last < atEnd.last);
}

void TestEditCustom::mouseSelection() {
    EditWindow w;
    w.edit->SetText("00000000");
    QVERIFY(w.focus());
    w.edit->RenderToImage();
    const QFontMetrics fm(w.edit->Font()->ToQFont());
    const int left = w.edit->TextRect().left();
    const auto xBefore = [&](int i) { return left + fm.horizontalAdvance(QString(i, '0')) + 1; };

    QTest::mouseClick(w.edit, Qt::LeftButton, {}, QPoint(xBefore(2), 10));
    QCOMPARE(w.edit->CursorPos(), 2);
    QCOMPARE(w.edit->SelLength(), 0);

    QTest::mousePress(w.edit, Qt::LeftButton, {}, QPoint(xBefore(1), 10));
    QTest::mouseMove(w.edit, QPoint(xBefore(5), 10));
    QTest::mouseRelease(w.edit, Qt::LeftButton, {}, QPoint(xBefore(5), 10));
    QCOMPARE(w.edit->SelStart(), 1);
    QCOMPARE(w.edit->SelLength(), 4);
    QCOMPARE(w.edit->CursorPos(), 5);

    // Moving without the button held selects nothing more.
    QTest::mouseMove(w.edit, QPoint(xBefore(7), 10));
    QCOMPARE(w.edit->SelLength(), 4);

    QTest::mouseDClick(w.edit, Qt::LeftButton, {}, QPoint(xBefore(3), 10));
    QCOMPARE(w.edit->SelStart(), 0);
    QCOMPARE(w.edit->SelLength(), 8);
}

void TestEditCustom::clipboard_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("text");

    // Text "1234" with "23" selected; the clipboard holds "xy" before the command.
    QTest::newRow("copy") << "copy" << false << "" << 0 << "23"
                          << "1234";
    QTest::newRow("copy masked") << "copy" << false << "*" << 0 << "**"
                                 << "1234";
    QTest::newRow("copy in error state") << "copy" << true << "" << 0 << "Error"
                                         << "1234";
    QTest::newRow("cut") << "cut" << false << "" << 0 << "23"
                         << "14";
    QTest::newRow("cut in error state") << "cut" << true << "" << 0 << "Error"
                                        << "1234";
    QTest::newRow("paste over selection") << "paste" << false << "" << 0 << "xy"
                                          << "1xy4";
    QTest::newRow("paste cut to MaxLength") << "paste" << false << "" << 5 << "xy"
                                            << "1x4";
    QTest::newRow("paste with no room left") << "paste" << false << "" << 3 << "xy"
                                             << "14";
    QTest::newRow("paste in error state") << "paste" << true << "" << 0 << "xy"
                                          << "1234";
    QTest::newRow("delete") << "delete" << false << "" << 0 << "xy"
                            << "14";
}

void TestEditCustom::clipboard() {
    QFETCH(QString, command);
    QFETCH(bool, error);
    QFETCH(QString, mask);
    QFETCH(int, maxLength);
    TiEditCustom edit;
    edit.SetText("1234");
    edit.SetMaskText(mask);
    edit.SetMaxLength(maxLength);
    QTest::keyClick(&edit, Qt::Key_Right);
    QTest::keyClick(&edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&edit, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(edit.SelLength(), 2);
    edit.SetErrorActive(error);
    QGuiApplication::clipboard()->setText("xy");
    if (command == "copy")
        edit.CopyToClipboard();
    else if (command == "cut")
        edit.CutToClipboard();
    else if (command == "paste")
        edit.PasteFromClipboard();
    else
        edit.DeleteSelection();
    QTEST(QGuiApplication::clipboard()->text(), "clipboard");
    QTEST(edit.Text(), "text");
}

void TestEditCustom::contextMenuStates_data() {
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("enabled"); // Apply Undo Cut Copy Paste Delete SelectAll, 1 = enabled

    QTest::newRow("fresh") << false << 0 << false << ""
                           << "0000001";
    QTest::newRow("edited") << true << 0 << false << ""
                            << "1100001";
    QTest::newRow("selection") << false << 2 << false << ""
                               << "0011011";
    QTest::newRow("all selected") << false << 4 << false << ""
                                  << "0011010";
    QTest::newRow("clipboard text") << false << 0 << false << "z"
                                    << "0000101";
    QTest::newRow("error state") << true << 2 << true << "z"
                                 << "0001001";
}

void TestEditCustom::contextMenuStates() {
    QFETCH(bool, edited);
    QFETCH(int, selLength);
    QFETCH(bool, error);
    QFETCH(QString, clipboard);
    QFETCH(QString, enabled);
    TiEditCustom edit;
    edit.SetText("abcd");
    edit.ApplyText();
    if (edited) {
        QTest::keyClick(&edit, Qt::Key_End);
        QTest::keyClick(&edit, Qt::Key_E);
        QTest::keyClick(&edit, Qt::Key_Home);
    }
    for (int i = 0; i < selLength; ++i)
        QTest::keyClick(&edit, Qt::Key_Right, Qt::ShiftModifier);
    if (selLength == 0)
        QTest::keyClick(&edit, Qt::Key_Home);
    edit.SetErrorActive(error);
    QGuiApplication::clipboard()->setText(clipboard);

    edit.UpdateContextMenu();
    QString states;
    QStringList names;
    for (QAction* a : edit.ContextMenu()->actions()) {
        names << (a->isSeparator() ? "-" : a->text());
        if (!a->isSeparator())
            states += a->isEnabled() ? '1' : '0';
    }
    QCOMPARE(names, QStringList({"Apply", "Undo", "-", "Cut", "Copy", "Paste", "Delete", "-", "Select All"}));
    QCOMPARE(states, enabled);
}

void TestEditCustom::contextMenuApplies_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("accepted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("changes");

    QTest::newRow("apply") << 0 << "42"
                           << "42" << 1;
    QTest::newRow("undo") << 1 << ""
                          << "" << 0;
}

void TestEditCustom::contextMenuApplies() {
    QFETCH(int, item);
    EditWindow w;
    QVERIFY(w.focus());
    QSignalSpy changes(w.edit, &TiEditCustom::OnChange);
    QTest::keyClicks(w.edit, "42");
    QTest::mouseClick(w.edit, Qt::RightButton, {}, QPoint(5, 5));
    QTRY_VERIFY(w.edit->ContextMenu()->isVisible());
    // Opening the menu applies nothing, even though the box gives up the focus to it.
    QCOMPARE(w.edit->LastAcceptedText(), QString());
    QAction* action = w.edit->ContextMenu()->actions().at(item);
    QVERIFY(action->isEnabled());
    action->trigger();
    w.edit->ContextMenu()->close();
    QTEST(w.edit->LastAcceptedText(), "accepted");
    QTEST(w.edit->Text(), "text");
    QTEST(int(changes.count()), "changes");
}

void TestEditCustom::applicationMenuReplacesBuiltIn() {
    EditWindow w;
    w.edit->setContextMenuPolicy(Qt::CustomContextMenu);
    w.edit->SetText("1234");
    QVERIFY(w.focus());
    QTest::mouseClick(w.edit, Qt::RightButton, {}, QPoint(3, 10));
    QVERIFY(!w.edit->ContextMenu()->isVisible());
    // The press places the caret instead, as any other button does.
    QCOMPARE(w.edit->CursorPos(), 0);
}

void TestEditCustom::autoSizeFollowsFont() {
    EditWindow w;
    w.edit->Font()->SetSize(14);
    const int textHeight = QFontMetrics(w.edit->Font()->ToQFont()).height();
    QCOMPARE(w.edit->Height(), textHeight + 2 * 2 + 4);

    w.edit->SetAutoSize(false);
    w.edit->SetBorderStyle(ibsNone);
    w.edit->Font()->SetSize(8);
    QCOMPARE(w.edit->Height(), textHeight + 8);
    w.edit->SetAutoSize(true);
    QCOMPARE(w.edit->Height(), QFontMetrics(w.edit->Font()->ToQFont()).height() + 4);

    // Without a parent there is nothing to fit.
    TiEditCustom alone;
    alone.Font()->SetSize(20);
    QCOMPARE(alone.Height(), 21);
}

void TestEditCustom::paintsSelectionOnlyWhenFocusedAndNoError() {
    EditWindow w;
    w.edit->SetText("8888");
    const QColor highlight = ColorToQColor(clHighlight);
    const auto highlightPixels = [&](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixelColor(x, y) == highlight;
        return n;
    };

    w.edit->SelectAll();
    QCOMPARE(highlightPixels(w.edit->RenderToImage()), 0);

    QVERIFY(w.focus());
    w.edit->SelectAll();
    const QImage focused = w.edit->RenderToImage();
    const QRect text = w.edit->TextRect();
    QVERIFY(highlightPixels(focused) > text.width() * text.height() / 2);
    // The selected characters are drawn in white on the highlight.
    int light = 0;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x)
            light += focused.pixelColor(x, y).lightness() > 200;
    QVERIFY(light > 0);
    QCOMPARE(focused.pixelColor(text.right() + 3, text.center().y()), ColorToQColor(clWindow));

    w.edit->SetErrorActive(true);
    w.edit->SetErrorBackGroundColor(clYellow);
    const QImage error = w.edit->RenderToImage();
    QCOMPARE(highlightPixels(error), 0);
    QCOMPARE(error.pixelColor(w.edit->Width() - 4, 4), ColorToQColor(clYellow));
    QVERIFY(!w.edit->CaretCreated());
    QCOMPARE(w.edit->Text(), QString("8888"));
}

QTEST_MAIN(TestEditCustom)
#include "tst_editcustom.moc"
