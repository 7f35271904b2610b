#pragma once
// Answering the message boxes a test makes the panel show.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Closes the next modal box that appears.
inline void CloseNextBox() {
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
        else
            CloseNextBox();
    });
}
