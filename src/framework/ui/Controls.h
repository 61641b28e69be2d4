#pragma once
// The simple controls: a one-line text field, a label, a push button, a check box and a canvas
// that the application paints.
#include "RectControl.h"

namespace fw {

class EditField : public RectControl {
    FW_DECLARE_CLASS()
public:
    String Text() const;
    void SetText(const String& text);
    void SetPassword(bool on);
    void SetReadOnly(bool on);
    void SetLimitText(int32_t n);
    void SetAlignment(int32_t a);
    void SetBorder(bool on);
    const std::vector<EventDecl>& Events() const override;

protected:
    EditField() = default;
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    String pendingText_;
    bool password_ = false, readOnly_ = false, border_ = true;
    int32_t limit_ = 0, alignment_ = 0;
};

class StaticText : public RectControl {
    FW_DECLARE_CLASS()
public:
    String Text() const { return text_; }
    void SetText(const String& text);
    void SetTextAlign(int32_t a);
    void SetMultiline(bool on);

protected:
    StaticText() = default;
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    String text_;
    int32_t align_ = 0;
    bool multiline_ = false;
};

class PushButton : public RectControl {
    FW_DECLARE_CLASS()
public:
    String Caption() const { return caption_; }
    void SetCaption(const String& caption);
    void SetDefault(bool on);
    const std::vector<EventDecl>& Events() const override;

protected:
    PushButton() = default;
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    String caption_;
    bool default_ = false;
};

class CheckBox : public RectControl {
    FW_DECLARE_CLASS()
public:
    String Caption() const { return caption_; }
    void SetCaption(const String& caption);
    bool Value() const { return value_; }
    // Raises "Action" when the value changes.
    void SetValue(bool on);
    const std::vector<EventDecl>& Events() const override;
    void ValueChangedByWidget(bool on); // toolkit side

protected:
    CheckBox() = default;
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    String caption_;
    bool value_ = false;
};

class Canvas : public RectControl {
    FW_DECLARE_CLASS()
public:
    bool EraseBackground() const { return erase_; }
    void SetEraseBackground(bool on);
    void SetAcceptFocus(bool on);
    const std::vector<EventDecl>& Events() const override;
    void RaisePaint(Graphics& g); // toolkit side

protected:
    Canvas() = default;
    std::unique_ptr<ControlPeer> CreatePeer() override;

private:
    bool erase_ = true, acceptFocus_ = false;
};

} // namespace fw
