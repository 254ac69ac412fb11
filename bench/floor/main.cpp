// The floors: the least a Qt Widgets program costs on this machine.
//   floor          a name prompt, made and shown as the program makes and shows its first one
//   floor window   one maximized window with one label, for memory beside the main window
#include <QApplication>
#include <QInputDialog>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("window")) {
        QLabel label(QStringLiteral("Pronto"));
        label.setWindowTitle(QStringLiteral("Floor"));
        label.showMaximized();
        return app.exec();
    }
    QInputDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Floor"));
    dialog.setLabelText(QStringLiteral("Come ti chiami?"));
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
