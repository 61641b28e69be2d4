#pragma once
// The toolkit side of a control: holds its widget and turns presses and keys into the
// control's events before the widget sees them. Only framework sources include this.
#include "RectControl.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace fw {

class ControlPeer : public QObject {
    Q_OBJECT
public:
    ControlPeer(RectControl& owner, QWidget* widget);
    ~ControlPeer() override;
    QWidget* Widget() const { return widget_; }
    RectControl& Owner() const { return owner_; }
    // Also watch a child that receives the input (a list's viewport).
    void WatchInput(QWidget* w);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RectControl& owner_;
    QPointer<QWidget> widget_;
};

// The key as the platform's KeyDown handlers see it: the typed text, or a control character
// for the keys that type none (arrows 28 to 31, Return 13, Delete 127 ...). Empty for keys that
// raise no event (modifiers alone).
String KeyText(int key, const QString& text);

// The widget of a control, for the framework's own use and for tests.
QWidget* NativeWidget(const RectControl& control);
// The widget that takes a control's mouse input (a list's viewport, otherwise the widget).
QWidget* NativeInputWidget(const RectControl& control);

} // namespace fw
