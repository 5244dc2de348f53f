// Waiting for a signal from a coroutine, with a time-out, such that no wake-up can reach a
// waiter that has gone.
//
// QCoro's own signal awaiter resumes through one queued call per emission: a signal emitted
// twice in one event-loop pass (or once just as its time-out fires) leaves a second call
// queued that runs after the awaiter's frame is gone. Here every connection holds only a weak
// reference to the wait: the first emission or the time-out, whichever comes first, cuts the
// others off and posts exactly one resumption, which runs only while the waiting frame exists.
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
// end. The wait begins when the object is made, so an emission between making it and awaiting
// it is not missed. The signal may come from another thread (it is then delivered to obj's
// thread).
template <typename T, typename Signal>
class NextSignal {
public:
    using Args = typename detail::SignalArgs<Signal>::Tuple;

    NextSignal(T *sender, Signal signal,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(-1))
        : state_(std::make_shared<State>()) {
        if (!sender) {
            state_->fired = true;
            return;
        }
        const std::weak_ptr<State> weak = state_;
        state_->connection = QObject::connect(sender, signal, sender, [weak](auto &&...args) {
            if (const auto s = weak.lock()) s->wake(Args(args...));
        });
        state_->destroyed = QObject::connect(sender, &QObject::destroyed, sender, [weak] {
            if (const auto s = weak.lock()) s->wake(std::nullopt);
        });
        if (timeout.count() >= 0) {
            state_->timer.setTimerType(Qt::PreciseTimer);
            state_->timer.setSingleShot(true);
            QObject::connect(&state_->timer, &QTimer::timeout, [weak] {
                if (const auto s = weak.lock()) s->wake(std::nullopt);
            });
            state_->timer.start(timeout);
        }
    }
    NextSignal(NextSignal &&) noexcept = default;
    NextSignal(const NextSignal &) = delete;
    NextSignal &operator=(const NextSignal &) = delete;
    ~NextSignal() {
        if (state_) state_->cutOff();
    }

    bool await_ready() const noexcept { return state_->fired; }
    void await_suspend(std::coroutine_handle<> waiter) { state_->waiter = waiter; }
    std::optional<Args> await_resume() { return std::move(state_->result); }

private:
    struct State : std::enable_shared_from_this<State> {
        std::coroutine_handle<> waiter;
        bool fired = false;
        std::optional<Args> result;
        QMetaObject::Connection connection;
        QMetaObject::Connection destroyed;
        QTimer timer;

        void cutOff() {
            QObject::disconnect(connection);
            QObject::disconnect(destroyed);
            timer.stop();
        }
        void wake(std::optional<Args> got) {
            if (fired) return;
            fired = true;
            cutOff();
            result = std::move(got);
            if (!waiter) return;  // not awaited yet: await_ready says so
            // Resumed from the event loop, never from inside an emission, and only while the
            // waiting frame (the only owner of the state) still exists.
            QTimer::singleShot(0, [weak = this->weak_from_this()] {
                if (const auto s = weak.lock()) s->waiter.resume();
            });
        }
    };

    std::shared_ptr<State> state_;
};

}  // namespace vantel
