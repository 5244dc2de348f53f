// Waiting for a signal from a coroutine, with a time-out, such that no wake-up can reach a
// waiter that has gone.
//
// QCoro's own signal awaiter resumes through one queued call per emission: a signal emitted
// twice in one event-loop pass (or once just as its time-out fires) leaves a second call
// queued that runs after the awaiter's frame is gone. Here the first emission or the time-out,
// whichever comes first, cuts both off at once and posts exactly one resumption, which only
// runs while the awaiter still exists.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <coroutine>
#include <memory>
#include <optional>
#include <tuple>
#include <type_traits>

namespace vantel {

namespace detail {

template <typename F>
struct SignalArgs;
template <typename R, typename C, typename... A>
struct SignalArgs<R (C::*)(A...)> {
    using Tuple = std::tuple<std::remove_cvref_t<A>...>;
};

}  // namespace detail

// co_await NextSignal(obj, &Obj::signal, timeout) yields the signal's arguments as a tuple, or
// nullopt when the time-out passed first or obj went away. A negative timeout waits without
// end.
template <typename T, typename Signal>
class NextSignal {
public:
    using Args = typename detail::SignalArgs<Signal>::Tuple;

    NextSignal(T *sender, Signal signal,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(-1))
        : sender_(sender), signal_(signal), timeout_(timeout) {}
    // Movable only before it is awaited (nothing is connected until then).
    NextSignal(NextSignal &&other) noexcept
        : sender_(other.sender_), signal_(other.signal_), timeout_(other.timeout_) {}
    NextSignal(const NextSignal &) = delete;
    NextSignal &operator=(const NextSignal &) = delete;
    ~NextSignal() { cutOff(); }

    bool await_ready() const noexcept { return sender_ == nullptr; }

    void await_suspend(std::coroutine_handle<> waiter) {
        waiter_ = std::make_shared<std::coroutine_handle<>>(waiter);
        fired_ = false;
        connection_ = QObject::connect(
            sender_, signal_, sender_, [this](auto &&...args) { wake(Args(args...)); },
            Qt::DirectConnection);
        destroyed_ =
            QObject::connect(sender_, &QObject::destroyed, sender_, [this] { wake(std::nullopt); });
        if (timeout_.count() >= 0) {
            timer_.emplace();
            timer_->setTimerType(Qt::PreciseTimer);
            timer_->setSingleShot(true);
            QObject::connect(&*timer_, &QTimer::timeout, [this] { wake(std::nullopt); });
            timer_->start(timeout_);
        }
    }

    std::optional<Args> await_resume() { return std::move(result_); }

private:
    void cutOff() {
        QObject::disconnect(connection_);
        QObject::disconnect(destroyed_);
        if (timer_) timer_->stop();
    }

    void wake(std::optional<Args> result) {
        if (fired_) return;
        fired_ = true;
        cutOff();
        result_ = std::move(result);
        // Resumed from the event loop, never from inside the emission, and only while the
        // waiting frame (which owns waiter_) still exists.
        QTimer::singleShot(0, [alive = std::weak_ptr(waiter_)] {
            if (const auto handle = alive.lock()) handle->resume();
        });
    }

    T *sender_;
    Signal signal_;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<std::coroutine_handle<>> waiter_;  // the only owner: dies with the frame
    bool fired_ = false;
    QMetaObject::Connection connection_;
    QMetaObject::Connection destroyed_;
    std::optional<QTimer> timer_;
    std::optional<Args> result_;
};

}  // namespace vantel
