#include "HelperProgress.h"

#include "MessageSink.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <thread>

namespace helper_progress {

void wait(QWidget* over, const QString& what, const std::function<void()>& work,
          std::atomic<bool>& cancel, int showAfterMs) {
    std::atomic<bool> done{false};
    // Lives on this thread: the worker posts an empty call to it to wake
    // the loop below when the work has ended.
    QObject waker;
    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(
            &waker, [] {}, Qt::QueuedConnection);
    });

    std::unique_ptr<QProgressDialog> box;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] {
        if (!over || !over->window()->isVisible()) return;
        box = std::make_unique<QProgressDialog>(what, "Cancel", 0, 0, over->window());
        box->setWindowTitle(kMessageCaption);
        box->setWindowModality(Qt::ApplicationModal);
        box->setMinimumDuration(0);
        QObject::connect(box.get(), &QProgressDialog::canceled, [&] { cancel = true; });
        box->show();
    });
    later.start(showAfterMs);

    QEventLoop loop;
    while (!done) {
        // Input only once the box is there to take it: a click meant for
        // the window would otherwise start a second load inside this one.
        const bool boxUp = box && box->isVisible();
        loop.processEvents(QEventLoop::WaitForMoreEvents |
                           (boxUp ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
    }
    worker.join();
}

} // namespace helper_progress
