// The baseline: a Qt program with one plain window of the panel's size, nothing else.
#include "FirstFrameProbe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(801, 556);
    window.show();
    ExitAfterFirstFrame(window);
    return app.exec();
}
