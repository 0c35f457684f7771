// The viewer's wait for another program (the HDF helper): the work runs on
// a worker thread while the user-interface thread goes on handling events,
// so the window repaints and automation calls are taken (and deferred, see
// AutomationServer) instead of the viewer freezing for the helper's whole
// time limit. After kShowAfterMs a progress box says what is being waited
// for and offers Cancel, which sets the work's cancel flag (the helper is
// killed). User input reaches nothing but that box: until it is up, input
// events wait in the queue; once it is up, it is application-modal.
//
// Nothing of the document runs inside the wait but what is safe there:
// the document refuses loads and object changes while it waits
// (CArrayDoc::isWaitingForHelper). User-interface thread only.
#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

namespace helper_progress {

// How long a wait goes on before the progress box appears, in milliseconds.
inline constexpr int kShowAfterMs = 500;

// Runs work on a worker thread and returns when it has returned. The box is
// shown over `over` when that window is visible (a viewer hidden behind an
// automation client shows none; its client hears how the call ended), or
// when evenIfHidden says a user waits for a window not up yet (the file
// named on the command line is opened before the main window is shown).
void wait(QWidget* over, const QString& what, const std::function<void()>& work,
          std::atomic<bool>& cancel, bool evenIfHidden = false, int showAfterMs = kShowAfterMs);

} // namespace helper_progress
