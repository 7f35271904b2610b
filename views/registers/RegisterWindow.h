#pragma once
// 寄存器: the thirty registers the poll reads from the current device, with number, name, content in
// decimal and hex, the value in its unit and how long ago each was last read. It shows what the line
// watch keeps of the accepted replies and sends nothing. The registers a command may write carry a
// button that asks for the set-point dialog on their quantity.

#include "Quantities.h"
#include "RegisterTable.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class TRegisterWindow : public QWidget {
    Q_OBJECT
public:
    enum Column {
        NumberColumn,
        NameColumn,
        RawColumn,
        HexColumn,
        ValueColumn,
        AgeColumn,
        WriteColumn,
        ColumnCount
    };

    explicit TRegisterWindow(const RegisterTable* registers, QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    // The write button on register `reg`'s row; nullptr for a register no command writes.
    QPushButton* WriteButton(int reg) const;
    // The monotonic clock, in microseconds, that the ages are counted on: TrafficMonotonicUs unless a
    // test holds time still.
    void SetClock(std::function<qint64()> monotonicUs);

public slots:
    // Shows the table's registers and their ages now; while the window is shown this happens once a
    // second.
    void refresh();

signals:
    // The operator asked to write the quantity (a "写入…" button).
    void writeRequested(Quantity quantity);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void retranslateUi();

    const RegisterTable* m_registers;
    std::function<qint64()> m_clock;
    QLabel* m_device = nullptr;
    QTableWidget* m_table = nullptr;
    QTimer* m_timer = nullptr;
};
