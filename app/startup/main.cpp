// Entry point of the program; the start-up sequence lives in basKamoMail.
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
