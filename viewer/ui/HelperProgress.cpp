#include "HelperProgress.h"

#include "MessageSink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <thread>

namespace helper_progress {

void wait(QWidget* over, const QString& what, const std::function<void()>& work,
          std::atomic<bool>& cancel, bool evenIfHidden, int showAfterMs) {
    std::atomic<bool> done{false};
    // Lives on this thread: the worker posts an empty call to it to wake
    // the loop below when the work has ended.
    QObject waker;
    std::thread worker([&] {
        work();
        done = true;
        // An event made and posted inside Qt: nothing of ours is built on
        // this thread and run on the other.
        QCoreApplication::postEvent(&waker, new QEvent(QEvent::User));
    });

    std::unique_ptr<QProgressDialog> box;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] {
        if (!over || (!evenIfHidden && !over->window()->isVisible())) return;
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
