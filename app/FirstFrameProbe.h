#pragma once
// Benchmark builds only: ends the program right after the window's first complete paint, so that
// start-up to first frame can be timed from outside.

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

class TFirstFrameProbe : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued, so the whole window (children included) is painted and flushed first.
            QTimer::singleShot(0, [] {
                std::puts("first-frame");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

inline void ExitAfterFirstFrame(QWidget& window) {
    window.installEventFilter(new TFirstFrameProbe(&window));
}
