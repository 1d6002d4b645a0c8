#include "platform/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <deque>
#include <map>
#include <memory>

namespace quadrantel::platform {
namespace {

struct Message {
    std::uint32_t number;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class Window;
std::map<MessageWindow::Handle, Window*>& Windows()
{
    static std::map<MessageWindow::Handle, Window*> windows;
    return windows;
}

// One posted event per message keeps the loop's own ordering; the queue itself stays here
// so that messages can be withdrawn before they are delivered.
class Window final : public QObject {
public:
    explicit Window(MessageWindow::Handle handle) : handle_(handle)
    {
        procedure_ = [](MessageWindow::Handle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            return 0;
        };
    }

    void post(const Message& m)
    {
        queue_.push_back(m);
        QCoreApplication::postEvent(this, new QEvent(kDeliverEvent));
    }

    bool event(QEvent* e) override
    {
        if (e->type() != kDeliverEvent)
            return QObject::event(e);
        if (!alive_ || queue_.empty())
            return true;
        const Message m = queue_.front();
        queue_.pop_front();
        // The procedure may replace itself or destroy the window while it runs.
        MessageWindow::Procedure procedure = procedure_;
        procedure(handle_, m.number, m.wParam, m.lParam);
        return true;
    }

    void close()
    {
        alive_ = false;
        queue_.clear();
        deleteLater();
    }

    MessageWindow::Handle handle_;
    MessageWindow::Procedure procedure_;
    std::deque<Message> queue_;
    bool alive_ = true;
};

Window* Find(MessageWindow::Handle handle)
{
    auto it = Windows().find(handle);
    return it == Windows().end() ? nullptr : it->second;
}

} // namespace

MessageWindow::Handle MessageWindow::Create()
{
    static Handle next = 0x1000;
    const Handle handle = ++next;
    Windows()[handle] = new Window(handle);
    return handle;
}

bool MessageWindow::Destroy(Handle window)
{
    Window* w = Find(window);
    if (!w)
        return false;
    Windows().erase(window);
    w->close();
    return true;
}

bool MessageWindow::Exists(Handle window)
{
    return Find(window) != nullptr;
}

bool MessageWindow::Post(Handle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    Window* w = Find(window);
    if (!w)
        return false;
    w->post({message, wParam, lParam});
    return true;
}

MessageWindow::Procedure MessageWindow::SetProcedure(Handle window, Procedure procedure)
{
    Window* w = Find(window);
    if (!w)
        return {};
    Procedure previous = std::move(w->procedure_);
    w->procedure_ = std::move(procedure);
    return previous;
}

int MessageWindow::RemovePosted(Handle window, const Filter& filter)
{
    Window* w = Find(window);
    if (!w)
        return 0;
    int removed = 0;
    for (auto it = w->queue_.begin(); it != w->queue_.end();) {
        if (filter(it->number, it->wParam, it->lParam)) {
            it = w->queue_.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

int MessageWindow::CountPosted(Handle window, const Filter& filter)
{
    Window* w = Find(window);
    if (!w)
        return 0;
    int count = 0;
    for (const Message& m : w->queue_)
        count += filter(m.number, m.wParam, m.lParam) ? 1 : 0;
    return count;
}

} // namespace quadrantel::platform
