#include "CArrayDataSource.h"

#include "MemoryRelease.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace {

// Elements rendered between two looks at the cancel flag: about a
// millisecond of text, so that dropping an offer mid-way waits no longer.
constexpr int64_t kSpanElements = 4096;

enum Form { AglDataForm = 0, TextForm = 1, FormCount = 2 };

// Renders region of block as form into out, span by span: the same bytes as
// encodeAglData or formatBlockText of the whole region. False, out partial,
// when stop() said so before the end.
bool renderForm(const aglArray& block, const BlockRegion& region, const BlockTextFormat& format,
                Form form, const std::function<bool()>& stop, QByteArray& out) {
    out.clear();
    // What the whole-region functions render nothing for.
    if (region.rows < 1 || region.columns < 1 || region.firstRow < 0 || region.firstColumn < 0 ||
        region.firstRow + region.rows > block.rowCount() ||
        region.firstColumn + region.columns > block.colCount())
        return true;
    if (form == AglDataForm) {
        if (region.rows * region.columns > kMaxClipboardElements) return true;
        out.reserve(8 + 8 * qsizetype(region.rows * region.columns));
    }
    std::string part;
    int64_t row = 0, column = 0;
    while (row < region.rows) {
        if (stop && stop()) return false;
        // Whole rows while they are short, else a piece of one row.
        BlockRegion span{region.firstRow + row, region.firstColumn + column, 1, 0};
        bool rowEnds = true;
        if (column == 0 && region.columns <= kSpanElements) {
            span.rows = std::min(region.rows - row, kSpanElements / region.columns);
            span.columns = region.columns;
            row += span.rows;
        } else {
            span.columns = std::min(kSpanElements, region.columns - column);
            column += span.columns;
            rowEnds = column == region.columns;
            if (rowEnds) {
                column = 0;
                ++row;
            }
        }
        part.clear();
        if (form == TextForm) {
            formatBlockText(block, span, format, part);
            // A span that stops inside its row: the row goes on after a tab
            // where the span's text ends it.
            if (!rowEnds) {
                part.pop_back();
                part.back() = '\t';
            }
            out.append(part.data(), qsizetype(part.size()));
        } else {
            encodeAglData(block, span, part);
            // One head for the block: the first span's, set right below.
            const size_t skip = out.isEmpty() ? 0 : 8;
            out.append(part.data() + skip, qsizetype(part.size() - skip));
        }
    }
    if (form == AglDataForm) {
        const int32_t head[2] = {int32_t(region.rows), int32_t(region.columns)};
        std::memcpy(out.data(), head, 8);
    } else {
        // The text grew by doubling: give back what it did not fill.
        out.squeeze();
    }
    return true;
}

// Set for good once the program ends and the worker with it (a flag that
// outlives the worker object: offers may go after it).
std::atomic<bool> g_workerClosed{false};

// The clipboard's worker: one thread for the process, started on first use,
// that renders offers and frees what offers let go (freeing first, then in
// the order asked). A job's captures are destroyed on the worker too. At the
// end of the program the jobs left are run (renders stop at once) and the
// thread is joined.
class ClipboardWorker {
public:
    ~ClipboardWorker() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
            g_workerClosed.store(true);
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    // Queues job (moved from only when queued); false when there is no
    // worker: the program is ending, or no thread could start.
    bool post(std::function<void()>& job, bool first) {
        if (g_workerClosed.load()) return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return false;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        (first ? m_first : m_jobs).push_back(std::move(job));
        m_wake.notify_one();
        return true;
    }

private:
    // At normal priority: it maps and unmaps tens of megabytes, and at the
    // lowest a busy machine left it holding the process's memory map while
    // the user-interface thread's next Copy waited for it (tens of ms).
    void run() {
        pthread_setname_np(pthread_self(), "clipboard");
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_closed || !m_first.empty() || !m_jobs.empty(); });
            std::deque<std::function<void()>>& queue = m_first.empty() ? m_jobs : m_first;
            if (queue.empty()) return; // closed, nothing left
            std::function<void()> job = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_first, m_jobs;
    bool m_closed = false;
    std::thread m_thread;
};

ClipboardWorker g_worker;

} // namespace

struct CArrayDataSource::Shared {
    // The worker's alone once it has the offer; dropped when both forms
    // are rendered.
    std::unique_ptr<aglArray> block;
    // The block still to be copied, holding the document's array until it
    // is: the worker's, like the block, once it has the offer.
    std::unique_ptr<PlaneBlockCopy> pending;
    BlockRegion region;
    std::shared_ptr<const BlockTextFormat> format;
    bool hasBlock = false;
    // The worker renders the forms (set on the user-interface thread once
    // it has the offer; read there only).
    bool threaded = false;
    // Set when the last source goes.
    std::atomic<bool> cancel{false};

    // On the worker as a rule: the forms' tens of megabytes are given back
    // a piece at a time, so the next Copy's block is not kept waiting to be
    // mapped. A form that someone still shares (bytes handed to Qt) stays.
    ~Shared() {
        for (QByteArray& bytes : forms)
            if (bytes.size() > 0 && bytes.isDetached())
                platform::dropPagesInSteps(bytes.data(), size_t(bytes.size()));
    }

    // The rendered forms: written once each, under the lock.
    std::mutex mutex;
    std::condition_variable formDone;
    QByteArray forms[FormCount];
    bool done[FormCount] = {};
    // The worker stopped, the program ending, before the forms were done.
    bool abandoned = false;
    int renders = 0;

    // Renders form (the lock not held); true unless cancelled. A form that
    // does not fit in memory is offered empty.
    bool render(Form form, const std::function<bool()>& stop, QByteArray& bytes) {
        copyBlock();
        if (!block) {
            bytes = QByteArray();
            return true;
        }
        try {
            return renderForm(*block, region, *format, form, stop, bytes);
        } catch (const std::bad_alloc&) {
            bytes = QByteArray();
            return true;
        }
    }
    void copyBlock() {
        if (!pending) return;
        block = pending->fill();
        pending.reset();
    }

    void store(Form form, QByteArray bytes) {
        forms[form] = std::move(bytes);
        done[form] = true;
        ++renders;
    }

    // The worker's job.
    void work() {
        const std::function<bool()> stop = [this] {
            return cancel.load(std::memory_order_relaxed) ||
                   g_workerClosed.load(std::memory_order_relaxed);
        };
        for (Form form : {AglDataForm, TextForm}) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (done[form]) continue;
            }
            QByteArray bytes;
            if (!render(form, stop, bytes)) {
                // Nobody waits on a cancelled offer; one left by the end of
                // the program is rendered by whoever still asks.
                std::lock_guard<std::mutex> lock(mutex);
                abandoned = true;
                formDone.notify_all();
                return;
            }
            std::lock_guard<std::mutex> lock(mutex);
            store(form, std::move(bytes));
            formDone.notify_all();
        }
        // Both forms hold everything the block had.
        block.reset();
    }
};

struct CArrayDataSource::Owner {
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    ~Owner() {
        shared->cancel.store(true);
        // Freeing tens of megabytes takes milliseconds: the worker does it
        // (after a render under way has stopped). Without it, here.
        std::function<void()> release = [last = std::move(shared)] {};
        g_worker.post(release, true);
    }
};

CArrayDataSource::CArrayDataSource(std::unique_ptr<aglArray> block, const BlockRegion& region,
                                   std::shared_ptr<const BlockTextFormat> format)
    : m_owner(std::make_shared<Owner>()) {
    const int type = block ? block->typeCode() : AGL_DOUBLE;
    shared().block = std::move(block);
    describe(shared().block != nullptr, type, region, std::move(format));
}

CArrayDataSource::CArrayDataSource(std::unique_ptr<PlaneBlockCopy> copy, const BlockRegion& region,
                                   std::shared_ptr<const BlockTextFormat> format)
    : m_owner(std::make_shared<Owner>()) {
    const int type = copy ? copy->typeCode() : AGL_DOUBLE;
    shared().pending = std::move(copy);
    describe(shared().pending != nullptr, type, region, std::move(format));
}

void CArrayDataSource::describe(bool hasBlock, int type, const BlockRegion& region,
                                std::shared_ptr<const BlockTextFormat> format) {
    Shared& s = shared();
    s.hasBlock = hasBlock;
    s.region = region;
    s.format = format ? std::move(format) : std::make_shared<PlainTextFormat>(type);
}

CArrayDataSource::CArrayDataSource(std::shared_ptr<Owner> owner, bool textOnly)
    : m_owner(std::move(owner)), m_textOnly(textOnly) {}

CArrayDataSource::~CArrayDataSource() = default;

CArrayDataSource::Shared& CArrayDataSource::shared() const {
    return *m_owner->shared;
}

CArrayDataSource* CArrayDataSource::textOnlyTwin() const {
    return new CArrayDataSource(m_owner, true);
}

QStringList CArrayDataSource::formats() const {
    if (!shared().hasBlock) return {};
    if (m_textOnly) return {QString::fromLatin1(kTextMimeType)};
    return {QString::fromLatin1(kAglDataMimeType), QString::fromLatin1(kTextMimeType)};
}

bool CArrayDataSource::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

bool CArrayDataSource::startRendering() {
    Shared& s = shared();
    if (s.threaded || !s.hasBlock) return s.threaded;
    std::function<void()> job;
    if (s.pending) {
        // The copy goes ahead of other offers' rendering, so that the
        // document's array is held no longer than it takes; the forms
        // follow in turn.
        job = [offer = m_owner->shared] {
            if (offer->cancel.load()) {
                // Let go before the worker got here: nothing to copy.
                offer->pending.reset();
                std::lock_guard<std::mutex> lock(offer->mutex);
                offer->abandoned = true;
                offer->formDone.notify_all();
                return;
            }
            offer->copyBlock();
            std::function<void()> next = [offer] { offer->work(); };
            // The program ending: the worker takes no more jobs.
            if (!g_worker.post(next, false)) offer->work();
        };
        s.threaded = g_worker.post(job, true);
        if (!s.threaded) s.copyBlock();
        return s.threaded;
    }
    job = [offer = m_owner->shared] { offer->work(); };
    s.threaded = g_worker.post(job, false);
    return s.threaded;
}

QByteArray CArrayDataSource::rendered(bool text) const {
    Shared& s = shared();
    const Form form = text ? TextForm : AglDataForm;
    std::unique_lock<std::mutex> lock(s.mutex);
    // Asked for before the worker got there: its bytes are the answer.
    if (s.threaded) s.formDone.wait(lock, [&] { return s.done[form] || s.abandoned; });
    if (!s.done[form]) {
        QByteArray bytes;
        s.render(form, nullptr, bytes);
        s.store(form, std::move(bytes));
    }
    return s.forms[form];
}

void CArrayDataSource::renderAll() const {
    if (!shared().hasBlock) return;
    rendered(true);
    if (!m_textOnly) rendered(false);
}

CArrayDataSource::FormWait CArrayDataSource::formWait(const QString& mimeType) const {
    if (!shared().threaded || !hasFormat(mimeType)) return {};
    const Form form = mimeType == QLatin1String(kTextMimeType) ? TextForm : AglDataForm;
    return [offer = m_owner->shared, form](const std::atomic<bool>& stop) {
        std::unique_lock<std::mutex> lock(offer->mutex);
        while (!offer->done[form] && !offer->abandoned) {
            if (stop.load()) return std::optional<QByteArray>();
            offer->formDone.wait_for(lock, std::chrono::milliseconds(50));
        }
        return offer->done[form] ? std::optional<QByteArray>(offer->forms[form]) : std::nullopt;
    };
}

bool CArrayDataSource::isRendered() const {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return !s.hasBlock || (s.done[TextForm] && s.done[AglDataForm]);
}

const BlockRegion& CArrayDataSource::region() const {
    return shared().region;
}

int CArrayDataSource::renderCount() const {
    Shared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.renders;
}

QVariant CArrayDataSource::retrieveData(const QString& mimeType, QMetaType type) const {
    if (!shared().hasBlock) return {};
    if (mimeType == QLatin1String(kTextMimeType)) {
        // The text is plain ASCII: Latin-1 and UTF-8 alike.
        const QByteArray text = rendered(true);
        if (type.id() == QMetaType::QString) return QString::fromLatin1(text);
        return text;
    }
    if (!m_textOnly && mimeType == QLatin1String(kAglDataMimeType)) return rendered(false);
    return {};
}
