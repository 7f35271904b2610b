#pragma once
// The up-down arrows beside a numeric field: a position from Min to Max in steps of Increment, moved by
// its arrows and by the Up and Down keys of its associate, and written as decimal text into the
// associate's window text at each change. Nothing else reads that text or the position.

#include <QWidget>

class QToolButton;

class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Increment() const { return m_increment; }
    int Position() const { return m_position; }
    void SetPosition(int value);
    bool Wrap() const { return m_wrap; }
    QWidget* Associate() const { return m_associate; }
    void SetAssociate(QWidget* associate);

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

signals:
    void OnChanging(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Step(int direction);

    int m_min = 0;
    int m_max = 100;
    int m_increment = 1;
    int m_position = 0;
    bool m_wrap = false;
    QWidget* m_associate = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
};
