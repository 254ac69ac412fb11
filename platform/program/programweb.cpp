#include "platform/program/program.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace {

// The browser's Qt activates a window as soon as it is made, before its widgets are
// shown. Qt then finds the widget that asked for the keys hidden and hands them to the
// next one in the tab order: the OK button under the name's field, Exit after the
// answer box; typed letters went to a button until a tap. The widget that asked is
// noted while the window is still hidden, and gets the keys back once it is shown.
class FocusKeeper : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            return false;
        QWidget *window = widget->window();
        switch (event->type()) {
        case QEvent::WindowActivate:
            if (widget->isWindow() && !widget->isVisible() && widget->focusWidget())
                m_asked.insert(widget, widget->focusWidget());
            break;
        case QEvent::FocusOut:
            if (static_cast<QFocusEvent *>(event)->reason() == Qt::ActiveWindowFocusReason
                && !window->isVisible())
                m_asked.insert(window, widget);
            break;
        case QEvent::Show:
            if (widget->isWindow()) {
                const QPointer<QWidget> asked = m_asked.take(widget);
                if (asked && asked->isVisible() && asked->isEnabled() && widget->isActiveWindow())
                    asked->setFocus(Qt::ActiveWindowFocusReason);
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    QHash<QWidget *, QPointer<QWidget>> m_asked;
};

} // namespace

namespace Program {

void prepareWindows()
{
    static bool prepared = false;
    if (!prepared && qApp) {
        qApp->installEventFilter(new FocusKeeper(qApp));
        prepared = true;
    }
}

// The cues and Qt's Italian texts are compiled in as resources: the page has no
// folder of its own.
QString folder()
{
    return QStringLiteral(":");
}

QString translationsFolder()
{
    return QStringLiteral(":/translations");
}

// A page may not close the browser's tab: the race ends and its window stays.
bool canClose()
{
    return false;
}

void end()
{
}

} // namespace Program
