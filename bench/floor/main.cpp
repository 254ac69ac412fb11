// The floor: one maximized window with one label, nothing else.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Pronto"));
    label.setWindowTitle(QStringLiteral("Floor"));
    label.showMaximized();
    return app.exec();
}
