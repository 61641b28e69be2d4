#include "Controls.h"

#include "ControlPeer.h"
#include "GraphicsPrivate.h"
#include "Window.h"
#include "WindowPrivate.h"
#include "framework/runtime/Runtime.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace fw {
namespace {

QString Q(const String& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

String FromQ(const QString& s)
{
    QByteArray b = s.toUtf8();
    return String(std::string_view(b.constData(), static_cast<size_t>(b.size())));
}

QWidget* ContentOf(RectControl& c)
{
    QWidget* w = WindowContent(*ControlWindow(c));
    if (!w)
        throw NilObjectException("A control was made before its window was built.");
    return w;
}

Qt::Alignment HorizontalAlignment(int32_t a)
{
    return a == 1 ? Qt::AlignHCenter : a == 2 ? Qt::AlignRight : Qt::AlignLeft;
}

class CanvasWidget : public QWidget {
public:
    CanvasWidget(Canvas& owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        PainterHandle handle(p);
        Ref<Graphics> g = MakeRef<Graphics>(&handle, width(), height());
        owner_.RaisePaint(*g);
    }

private:
    Canvas& owner_;
};

} // namespace

FW_CLASS_TABLE(EditField, RectControl, "EditField")
{
    t.factory = [] { return static_cast<Object*>(new EditField); };
    t.properties = {
        BoolProperty("Border", &EditField::SetBorder), KeptProperty("Multiline", 'B'),
        KeptProperty("ScrollbarHorizontal", 'B'), KeptProperty("ScrollbarVertical", 'B'),
        KeptProperty("Styled", 'B'), BoolProperty("Password", &EditField::SetPassword),
        KeptProperty("TextColor", 'C'), KeptProperty("BackColor", 'C'), KeptProperty("Format", 'S'),
        StringProperty("Text", &EditField::SetText), KeptProperty("Mask", 'S'),
        BoolProperty("ReadOnly", &EditField::SetReadOnly), IntProperty("LimitText", &EditField::SetLimitText),
        KeptProperty("AcceptTabs", 'B'), IntProperty("Alignment", &EditField::SetAlignment),
        KeptProperty("DataSource", 'S'), KeptProperty("DataField", 'S'),
    };
}

const std::vector<EventDecl>& EditField::Events() const
{
    static const std::vector<EventDecl> events = {
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
        {"TextChange", ParamList::None, "(  )"},
        {"GotFocus", ParamList::None, "(  )"},
        {"LostFocus", ParamList::None, "(  )"},
    };
    return events;
}

std::unique_ptr<ControlPeer> EditField::CreatePeer()
{
    auto* w = new QLineEdit(ContentOf(*this));
    auto peer = std::make_unique<ControlPeer>(*this, w);
    w->setText(Q(pendingText_));
    QObject::connect(w, &QLineEdit::textChanged, peer.get(), [this] { RaiseSimple("TextChange"); });
    return peer;
}

String EditField::Text() const
{
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        return FromQ(w->text());
    return pendingText_;
}

void EditField::SetText(const String& text)
{
    pendingText_ = text;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setText(Q(text));
}

void EditField::SetPassword(bool on)
{
    password_ = on;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
}

void EditField::SetReadOnly(bool on)
{
    readOnly_ = on;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setReadOnly(on);
}

void EditField::SetLimitText(int32_t n)
{
    limit_ = n;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setMaxLength(n > 0 ? n : 32767);
}

void EditField::SetAlignment(int32_t a)
{
    alignment_ = a;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setAlignment(HorizontalAlignment(a) | Qt::AlignVCenter);
}

void EditField::SetBorder(bool on)
{
    border_ = on;
    if (auto* w = qobject_cast<QLineEdit*>(NativeWidget(*this)))
        w->setFrame(on);
}

FW_CLASS_TABLE(StaticText, RectControl, "StaticText")
{
    t.factory = [] { return static_cast<Object*>(new StaticText); };
    t.properties = {
        StringProperty("Text", &StaticText::SetText), IntProperty("TextAlign", &StaticText::SetTextAlign),
        KeptProperty("TextColor", 'C'), BoolProperty("Multiline", &StaticText::SetMultiline),
        KeptProperty("DataSource", 'S'), KeptProperty("DataField", 'S'),
    };
}

std::unique_ptr<ControlPeer> StaticText::CreatePeer()
{
    auto* w = new QLabel(ContentOf(*this));
    w->setTextFormat(Qt::PlainText);
    w->setText(Q(text_));
    return std::make_unique<ControlPeer>(*this, w);
}

void StaticText::SetText(const String& text)
{
    text_ = text;
    if (auto* w = qobject_cast<QLabel*>(NativeWidget(*this)))
        w->setText(Q(text));
}

void StaticText::SetTextAlign(int32_t a)
{
    align_ = a;
    if (auto* w = qobject_cast<QLabel*>(NativeWidget(*this)))
        w->setAlignment(HorizontalAlignment(a) | Qt::AlignVCenter);
}

void StaticText::SetMultiline(bool on)
{
    multiline_ = on;
    if (auto* w = qobject_cast<QLabel*>(NativeWidget(*this)))
        w->setWordWrap(on);
}

FW_CLASS_TABLE(PushButton, RectControl, "PushButton")
{
    t.factory = [] { return static_cast<Object*>(new PushButton); };
    t.properties = {
        StringProperty("Caption", &PushButton::SetCaption), BoolProperty("Default", &PushButton::SetDefault),
        KeptProperty("Cancel", 'B'),
    };
}

const std::vector<EventDecl>& PushButton::Events() const
{
    static const std::vector<EventDecl> events = {
        {"Action", ParamList::None, "(  )"},
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
    };
    return events;
}

std::unique_ptr<ControlPeer> PushButton::CreatePeer()
{
    auto* w = new QPushButton(Q(caption_), ContentOf(*this));
    w->setAutoDefault(false);
    auto peer = std::make_unique<ControlPeer>(*this, w);
    QObject::connect(w, &QPushButton::clicked, peer.get(), [this] { RaiseSimple("Action"); });
    return peer;
}

void PushButton::SetCaption(const String& caption)
{
    caption_ = caption;
    if (auto* w = qobject_cast<QPushButton*>(NativeWidget(*this)))
        w->setText(Q(caption));
}

void PushButton::SetDefault(bool on)
{
    default_ = on;
    if (auto* w = qobject_cast<QPushButton*>(NativeWidget(*this)))
        w->setDefault(on);
}

FW_CLASS_TABLE(CheckBox, RectControl, "CheckBox")
{
    t.factory = [] { return static_cast<Object*>(new CheckBox); };
    t.properties = {
        StringProperty("Caption", &CheckBox::SetCaption), BoolProperty("Value", &CheckBox::SetValue),
        KeptProperty("DataSource", 'S'), KeptProperty("DataField", 'S'),
    };
}

const std::vector<EventDecl>& CheckBox::Events() const
{
    static const std::vector<EventDecl> events = {
        {"Action", ParamList::None, "(  )"},
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
    };
    return events;
}

std::unique_ptr<ControlPeer> CheckBox::CreatePeer()
{
    auto* w = new QCheckBox(Q(caption_), ContentOf(*this));
    w->setChecked(value_);
    auto peer = std::make_unique<ControlPeer>(*this, w);
    QObject::connect(w, &QCheckBox::toggled, peer.get(), [this](bool on) { ValueChangedByWidget(on); });
    return peer;
}

void CheckBox::SetCaption(const String& caption)
{
    caption_ = caption;
    if (auto* w = qobject_cast<QCheckBox*>(NativeWidget(*this)))
        w->setText(Q(caption));
}

void CheckBox::SetValue(bool on)
{
    auto* w = qobject_cast<QCheckBox*>(NativeWidget(*this));
    if (w && w->isChecked() != on) {
        w->setChecked(on); // the widget reports the change, which raises Action
        return;
    }
    if (value_ != on) {
        value_ = on;
        RaiseSimple("Action");
    }
}

void CheckBox::ValueChangedByWidget(bool on)
{
    value_ = on;
    RaiseSimple("Action");
}

FW_CLASS_TABLE(Canvas, RectControl, "Canvas")
{
    t.factory = [] { return static_cast<Object*>(new Canvas); };
    t.properties = {
        BoolProperty("AcceptFocus", &Canvas::SetAcceptFocus), KeptProperty("AcceptTabs", 'B'),
        BoolProperty("EraseBackground", &Canvas::SetEraseBackground),
    };
}

const std::vector<EventDecl>& Canvas::Events() const
{
    static const std::vector<EventDecl> events = {
        {"Paint", ParamList::Paint, "( Graphics )"},
        {"MouseDown", ParamList::Mouse, "( Int32, Int32 ) as Boolean"},
        {"KeyDown", ParamList::Key, "( String ) as Boolean"},
    };
    return events;
}

std::unique_ptr<ControlPeer> Canvas::CreatePeer()
{
    auto* w = new CanvasWidget(*this, ContentOf(*this));
    w->setAutoFillBackground(erase_);
    w->setFocusPolicy(acceptFocus_ ? Qt::StrongFocus : Qt::NoFocus);
    return std::make_unique<ControlPeer>(*this, w);
}

void Canvas::SetEraseBackground(bool on)
{
    erase_ = on;
    if (QWidget* w = NativeWidget(*this))
        w->setAutoFillBackground(on);
}

void Canvas::SetAcceptFocus(bool on)
{
    acceptFocus_ = on;
    if (QWidget* w = NativeWidget(*this))
        w->setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
}

void Canvas::RaisePaint(Graphics& g)
{
    Raise<PaintCall>("Paint", g);
}

} // namespace fw
