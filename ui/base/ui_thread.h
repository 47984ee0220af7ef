// Questions a worker thread puts to the user: the bad-sector prompt and the
// overwrite prompt are shown on the user-interface thread while the worker
// that needs the answer waits for it.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <optional>
#include <type_traits>
#include <utility>

namespace zt::ui {

// Runs ask() on the user-interface thread and returns its result; the
// calling thread waits until ask() has returned. Called on the
// user-interface thread itself (or before the application exists), ask()
// simply runs in place: a blocking queued call to one's own thread would
// never return.
//
// The user-interface thread must not be waiting for the asking worker (a
// Join) while the question is due, or neither ever moves: pages poll their
// workers with timers instead. ask() may show a modal dialog; its event loop
// keeps every page alive meanwhile.
template <typename Ask>
std::invoke_result_t<Ask&> AskOnUiThread(Ask&& ask) {
    using Answer = std::invoke_result_t<Ask&>;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) return ask();
    if constexpr (std::is_void_v<Answer>) {
        QMetaObject::invokeMethod(app, [&ask] { ask(); }, Qt::BlockingQueuedConnection);
    } else {
        std::optional<Answer> answer;  // the answer need not be default-constructible
        QMetaObject::invokeMethod(app, [&ask, &answer] { answer.emplace(ask()); }, Qt::BlockingQueuedConnection);
        return std::move(*answer);
    }
}

}  // namespace zt::ui
