#include "ControlPeer.h"

#include "framework/runtime/StringFunctions.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QMouseEvent>

namespace fw {

ControlPeer::ControlPeer(RectControl& owner, QWidget* widget) : owner_(owner), widget_(widget)
{
    widget->installEventFilter(this);
}

ControlPeer::~ControlPeer()
{
    delete widget_.data();
}

void ControlPeer::WatchInput(QWidget* w)
{
    w->installEventFilter(this);
}

bool ControlPeer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        auto* me = static_cast<QMouseEvent*>(event);
        auto* w = qobject_cast<QWidget*>(watched);
        QPoint p = w ? w->mapTo(widget_, me->position().toPoint()) : me->position().toPoint();
        if (w == widget_ || !w)
            p = me->position().toPoint();
        return owner_.RaiseMouseDown(p.x(), p.y());
    }
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        String key = KeyText(ke->key(), ke->text());
        if (key.empty())
            return false;
        return owner_.RaiseKeyDown(key);
    }
    return QObject::eventFilter(watched, event);
}

String KeyText(int key, const QString& text)
{
    switch (key) {
    case Qt::Key_Left: return Chr(28);
    case Qt::Key_Right: return Chr(29);
    case Qt::Key_Up: return Chr(30);
    case Qt::Key_Down: return Chr(31);
    case Qt::Key_Home: return Chr(1);
    case Qt::Key_End: return Chr(4);
    case Qt::Key_PageUp: return Chr(11);
    case Qt::Key_PageDown: return Chr(12);
    case Qt::Key_Return:
    case Qt::Key_Enter: return Chr(13);
    case Qt::Key_Escape: return Chr(27);
    case Qt::Key_Tab: return Chr(9);
    case Qt::Key_Backspace: return Chr(8);
    case Qt::Key_Delete: return Chr(127);
    default: break;
    }
    QByteArray utf8 = text.toUtf8();
    return String(std::string_view(utf8.constData(), utf8.size()));
}

QWidget* NativeWidget(const RectControl& control)
{
    return control.Peer() ? control.Peer()->Widget() : nullptr;
}

QWidget* NativeInputWidget(const RectControl& control)
{
    QWidget* w = NativeWidget(control);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w))
        return area->viewport();
    return w;
}

} // namespace fw
