#include "window/appsetup.h"

#include "platform/desktopplatform.h"
#include "platform/fonts/systemfonts.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

namespace {
// Long enough for the first drawing to reach the screen, far shorter than
// anyone takes to type a name.
constexpr int kAfterShownMsecs = 200;

class FirstExposure : public QObject
{
public:
    explicit FirstExposure(std::function<void()> work)
        : QObject(qApp)
        , m_work(std::move(work))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType()
            && static_cast<QWindow *>(watched)->isExposed()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(kAfterShownMsecs, qApp, std::move(m_work));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_work;
};
} // namespace

void prepareApplication()
{
    QApplication::setApplicationName(QStringLiteral("Contadopo"));
    // Wayland compositors take the window's icon and name from the entry with this id.
    QApplication::setDesktopFileName(QStringLiteral("it.contadopo.contadopo"));
    // The window ends the program itself; dialogs shown while it is hidden must not.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::installItalianTranslation();
    SystemFonts::installSubstitutions();
}

void afterFirstWindowShown(std::function<void()> work)
{
    qApp->installEventFilter(new FirstExposure(std::move(work)));
}
