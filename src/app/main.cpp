#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Benchlord");
    window.resize(880, 512);
    window.show();
    return app.exec();
}
