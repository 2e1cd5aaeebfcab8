// The program's entry: a Qt application around the start-up sequence.
#include <QApplication>

#include "app/run.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return pixhaven::app::Run();
}
