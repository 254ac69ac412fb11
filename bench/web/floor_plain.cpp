// The floor's name prompt, shown and left to the event loop instead of exec().
#include <QApplication>
#include <QInputDialog>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto *dialog = new QInputDialog;
    dialog->setWindowTitle(QStringLiteral("Floor"));
    dialog->setLabelText(QStringLiteral("Come ti chiami?"));
    dialog->setTextValue(QString());
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->show();
    return app.exec();
}
