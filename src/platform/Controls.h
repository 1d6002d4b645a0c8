#pragma once

#include "platform/Runtime.h"

#include <QTimer>

#include <stdexcept>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Window-free models of the controls the windows are made of. Behaviour code works on
// these; a window binds its widgets to them and repaints when they change. Setting a
// value from code raises the same events a user's action would, as the toolkit the
// program was designed with did (a check box's Click, a text box's Change, a list's Click).
namespace quadrantel::platform {

// A list of callbacks; a control calls it whenever one of its properties changes.
class Notifier {
public:
    using Slot = std::function<void()>;
    void connect(Slot slot) { slots_.push_back(std::move(slot)); }
    void operator()() const
    {
        for (const auto& s : slots_)
            s();
    }

private:
    std::vector<Slot> slots_;
};

// The hidden pictures that lights and switches copy from.
enum class Picture { None, Red, Yellow, Blue, Green, On, Off };

struct Bounds {
    float left = 0, top = 0, width = 0, height = 0; // twips
};

class Control {
public:
    virtual ~Control() = default;

    bool visible() const { return visible_; }
    void setVisible(bool v) { set(visible_, v); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool v) { set(enabled_, v); }
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(const std::string& t) { set(toolTip_, t); }
    const std::string& tag() const { return tag_; }
    void setTag(const std::string& t) { set(tag_, t); }
    const Bounds& rect() const { return rect_; }
    void move(float left, float top, float width, float height) { set(rect_, Bounds{left, top, width, height}); }
    void setWidth(float v) { move(rect_.left, rect_.top, v, rect_.height); }
    void setHeight(float v) { move(rect_.left, rect_.top, rect_.width, v); }

    // Asks the window to give this control the keyboard focus; throws when it cannot.
    void setFocus();
    // Asks the window to repaint the control now.
    void refresh() { repaintRequested(); }

    Notifier changed;                   // any property changed
    Notifier repaintRequested;          // an immediate repaint was asked for
    std::function<bool()> focusHandler; // set by the window; none means no window

protected:
    template <typename T> void set(T& field, const T& value)
    {
        if (!(field == value)) {
            field = value;
            changed();
        }
    }

private:
    bool visible_ = true;
    bool enabled_ = true;
    std::string toolTip_;
    std::string tag_;
    Bounds rect_;
};

inline bool operator==(const Bounds& a, const Bounds& b)
{
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

class Label : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c) { set(caption_, c); }

private:
    std::string caption_;
};

class Image : public Control {
public:
    Picture picture() const { return picture_; }
    void setPicture(Picture p) { set(picture_, p); }
    void click()
    {
        if (onClick)
            onClick();
    }
    std::function<void()> onClick;

private:
    Picture picture_ = Picture::None;
};

class TextBox : public Control {
public:
    const std::string& text() const { return text_; }
    // Raises onChange when the text differs.
    void setText(const std::string& t)
    {
        if (t == text_)
            return;
        text_ = t;
        changed();
        if (onChange)
            onChange();
    }
    uint32_t foreColor() const { return foreColor_; }
    void setForeColor(uint32_t c) { set(foreColor_, c); }
    int maxLength() const { return maxLength_; }
    void setMaxLength(int n) { set(maxLength_, n); }

    std::function<void()> onChange;

private:
    std::string text_;
    uint32_t foreColor_ = 0;
    int maxLength_ = 0;
};

class Button : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c) { set(caption_, c); }
    void click()
    {
        if (onClick)
            onClick();
    }
    std::function<void()> onClick;

private:
    std::string caption_;
};

// A check box; also the "TEST" check box drawn as a button.
class CheckBox : public Control {
public:
    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& c) { set(caption_, c); }
    int value() const { return value_; }
    // Raises onClick when the value changes.
    void setValue(int v)
    {
        if (v == value_)
            return;
        value_ = v;
        changed();
        if (onClick)
            onClick();
    }
    bool checked() const { return value_ == 1; }
    std::function<void()> onClick;

private:
    std::string caption_;
    int value_ = 0;
};

// A single-selection list; each entry has a text and a 32-bit item data.
class ListBox : public Control {
public:
    struct Item {
        std::string text;
        int32_t data = 0; // the player id of a voice list entry
    };

    int listCount() const { return static_cast<int>(items_.size()); }
    const std::vector<Item>& items() const { return items_; }
    const std::string& list(int i) const { return items_.at(static_cast<std::size_t>(i)).text; }
    int listIndex() const { return listIndex_; }
    // Text of the selected entry, empty when none.
    std::string text() const
    {
        return listIndex_ >= 0 ? items_[static_cast<std::size_t>(listIndex_)].text : std::string();
    }

    // Counts the changes of the entries (not of the selection): a bound widget compares its
    // entries only when this moved.
    std::uint64_t itemsRevision() const { return itemsRevision_; }

    void addItem(const std::string& text, int32_t data = 0)
    {
        items_.push_back({text, data});
        ++itemsRevision_;
        changed();
    }
    // Replaces every entry at once, with no selection: one change instead of one per entry,
    // so that a bound widget of thousands of entries is filled once, not once per entry.
    void setItems(std::vector<Item> items)
    {
        items_ = std::move(items);
        listIndex_ = -1;
        ++itemsRevision_;
        changed();
    }
    void setItems(const std::vector<std::string>& texts)
    {
        std::vector<Item> items;
        items.reserve(texts.size());
        for (const std::string& t : texts)
            items.push_back({t, 0});
        setItems(std::move(items));
    }
    // Clearing is no click, even when an entry was selected.
    void clear()
    {
        items_.clear();
        listIndex_ = -1;
        ++itemsRevision_;
        changed();
    }
    // Selects entry i (-1: none); raises onClick when the selection changes.
    void setListIndex(int i)
    {
        if (i < -1 || i >= listCount())
            throw std::out_of_range("list index");
        if (i == listIndex_)
            return;
        listIndex_ = i;
        changed();
        if (onClick)
            onClick();
    }
    bool selected(int i) const { return i == listIndex_ && i >= 0; }
    void setSelected(int i, bool on)
    {
        if (i < 0 || i >= listCount())
            throw std::out_of_range("list index");
        if (on)
            setListIndex(i);
        else if (listIndex_ == i)
            setListIndex(-1);
    }

    std::function<void()> onClick;

private:
    std::vector<Item> items_;
    int listIndex_ = -1;
    std::uint64_t itemsRevision_ = 0;
};

// A combo box with an editable text; an entry counts as selected when the text equals it
// without regard to case, as the desktop's combo boxes match.
class ComboBox : public Control {
public:
    const std::vector<std::string>& items() const { return items_; }
    int listCount() const { return static_cast<int>(items_.size()); }
    const std::string& text() const { return text_; }
    void setText(const std::string& t)
    {
        text_ = t;
        listIndex_ = -1;
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (EqualsNoCase(items_[i], t)) {
                listIndex_ = static_cast<int>(i);
                break;
            }
        changed();
    }
    int listIndex() const { return listIndex_; }
    void setListIndex(int i)
    {
        if (i < -1 || i >= listCount())
            throw std::out_of_range("list index");
        listIndex_ = i;
        if (i >= 0)
            text_ = items_[static_cast<std::size_t>(i)];
        changed();
    }
    std::uint64_t itemsRevision() const { return itemsRevision_; }
    void addItem(const std::string& t)
    {
        items_.push_back(t);
        ++itemsRevision_;
        changed();
    }
    // Replaces every entry in one change, with no selection; the text stays as it was.
    void setItems(std::vector<std::string> items)
    {
        items_ = std::move(items);
        listIndex_ = -1;
        ++itemsRevision_;
        changed();
    }
    void clear()
    {
        items_.clear();
        listIndex_ = -1;
        ++itemsRevision_;
        changed();
    }

private:
    std::vector<std::string> items_;
    std::string text_;
    int listIndex_ = -1;
    std::uint64_t itemsRevision_ = 0;
};

class Line : public Control {
public:
    float x1() const { return x1_; }
    float y1() const { return y1_; }
    float x2() const { return x2_; }
    float y2() const { return y2_; }
    void setPoints(float x1, float y1, float x2, float y2)
    {
        if (x1 == x1_ && y1 == y1_ && x2 == x2_ && y2 == y2_)
            return;
        x1_ = x1;
        y1_ = y1;
        x2_ = x2;
        y2_ = y2;
        changed();
    }

private:
    float x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
};

class Shape : public Control {
public:
    enum Kind { Rectangle = 0, Oval = 2, Circle = 3 };
    uint32_t backColor() const { return backColor_; }
    void setBackColor(uint32_t c) { set(backColor_, c); }
    int kind() const { return kind_; }
    void setKind(int k) { set(kind_, k); }

private:
    uint32_t backColor_ = 0;
    int kind_ = Rectangle;
};

// A timer on the event loop; onTimer runs at each tick while enabled.
class Timer {
public:
    explicit Timer(int intervalMs) : interval_(intervalMs)
    {
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimer)
                onTimer();
        });
    }
    int interval() const { return interval_; }
    bool enabled() const { return timer_.isActive(); }
    void setEnabled(bool on)
    {
        if (on && !timer_.isActive())
            timer_.start();
        else if (!on)
            timer_.stop();
    }
    std::function<void()> onTimer;

private:
    int interval_;
    QTimer timer_;
};

// Colours as the toolkit stores them: red in the low byte.
constexpr uint32_t RGB(int r, int g, int b)
{
    return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

} // namespace quadrantel::platform
