#include "ThreadedLink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace anunciel {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long msSince(Clock::time_point since)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

bool isReading(ThreadedLink::Operation op)
{
    return op == ThreadedLink::Operation::RfBusy || op == ThreadedLink::Operation::IpBusy;
}

bool isUnkey(const ThreadedLink::Call &call)
{
    return call.op == ThreadedLink::Operation::SetTransmit && !call.on;
}

QString nameOf(const ThreadedLink::Call &call)
{
    switch (call.op) {
    case ThreadedLink::Operation::RfBusy:
        return QStringLiteral("RfBusy");
    case ThreadedLink::Operation::IpBusy:
        return QStringLiteral("IpBusy");
    case ThreadedLink::Operation::SetTransmit:
        return call.on ? QStringLiteral("SetTransmit(1)") : QStringLiteral("SetTransmit(0)");
    case ThreadedLink::Operation::PlayFile:
        return QStringLiteral("PlayFile");
    }
    return {};
}

ThreadedLink::Answer perform(LinkObject &link, const ThreadedLink::Call &call)
{
    ThreadedLink::Answer answer;
    switch (call.op) {
    case ThreadedLink::Operation::RfBusy:
        answer.status = link.RfBusy(answer.value);
        break;
    case ThreadedLink::Operation::IpBusy:
        answer.status = link.IpBusy(answer.value);
        break;
    case ThreadedLink::Operation::SetTransmit:
        answer.status = link.SetTransmit(call.on);
        break;
    case ThreadedLink::Operation::PlayFile:
        answer.status = link.PlayFile(call.path, call.flag);
        break;
    }
    return answer;
}

LinkStatus failure(std::int32_t code, const QString &text)
{
    return LinkStatus::failure(code, text.toStdString());
}

// Threads left in a hung node's call. Kept where a leak checker sees them: they are left on
// purpose, and the process ends with them.
std::mutex g_leftMutex;
std::vector<QThread *> *g_leftBehind = nullptr;

void leaveBehind(QThread *thread)
{
    const std::lock_guard lock(g_leftMutex);
    if (!g_leftBehind)
        g_leftBehind = new std::vector<QThread *>;
    g_leftBehind->push_back(thread);
}

} // namespace

struct ThreadedLink::Job
{
    Call call;
    Clock::time_point postedAt;
    Clock::time_point deadline;
    Clock::time_point startedAt;
    milliseconds bound{};
    bool started = false;
    bool settled = false; // the caller has its answer, in time or not
    Answer answer;
    Done done;
};

struct ThreadedLink::Shared
{
    Bounds bounds;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> waiting;
    std::shared_ptr<Job> running;
    std::unique_ptr<LinkObject> link; // made, used and released on the node's thread
    bool tells = false;
    bool created = false;
    bool creating = false;
    LinkStatus creation;
    QThread *thread = nullptr;
    QObject *runner = nullptr; // lives on the node's thread
    QObject *home = nullptr;   // lives on the caller's thread; null once the link is gone
    Note note;
    PlayOutcomeHandler outcome;
    int lateInRun = 0;

    // Runs on the caller's thread, unless the link is gone by then. Called locked.
    void postHome(std::function<void()> what)
    {
        if (home)
            QMetaObject::invokeMethod(home, std::move(what), Qt::QueuedConnection);
    }
    void noteLocked(const QString &text)
    {
        if (note)
            postHome([note = note, text] { note(text); });
    }

    // On the node's thread: the next call waiting, unless its caller gave up on it before
    // the node could take it.
    void runNext()
    {
        std::unique_lock lock(mutex);
        if (waiting.empty())
            return;
        const std::shared_ptr<Job> job = waiting.front();
        waiting.pop_front();
        if ((job->settled || Clock::now() >= job->deadline) && !isUnkey(job->call))
            return;
        running = job;
        job->started = true;
        job->startedAt = Clock::now();
        LinkObject *node = link.get();
        lock.unlock();
        const Answer answer = perform(*node, job->call);
        lock.lock();
        running.reset();
        if (!job->settled && Clock::now() < job->deadline) {
            job->settled = true;
            job->answer = answer;
            if (job->done)
                postHome([done = job->done, answer] { done(answer); });
            if (lateInRun > 1)
                noteLocked(QStringLiteral("O nó voltou a responder a tempo; %1 respostas "
                                          "atrasadas foram descartadas.")
                               .arg(lateInRun));
            lateInRun = 0;
        } else if (lateInRun++ == 0) {
            noteLocked(QStringLiteral("O nó respondeu a %1 após %2 ms, além do limite de %3 ms: "
                                      "a resposta foi descartada.")
                           .arg(nameOf(job->call))
                           .arg(msSince(job->postedAt))
                           .arg(job->bound.count()));
        }
        changed.notify_all();
    }

    // What a call gets when its bound ran out. Called locked.
    Answer timedOut(Job &job)
    {
        job.settled = true;
        const QString what =
            isReading(job.call.op) ? QStringLiteral("à leitura %1") : QStringLiteral("a %1");
        job.answer.status = failure(
            kNoAnswerInTime, QStringLiteral("O nó não respondeu a tempo %1 (limite de %2 ms).")
                                 .arg(what.arg(nameOf(job.call)))
                                 .arg(job.bound.count()));
        return job.answer;
    }

    // Queues the call for the node, or says why it is refused at once. Called locked.
    std::shared_ptr<Job> enqueue(const Call &call, Answer &refused)
    {
        const milliseconds bound = isReading(call.op) ? bounds.read : bounds.transmit;
        const bool hung = running && msSince(running->startedAt) > bounds.transmit.count();
        const bool busy = running || !waiting.empty();
        if ((isReading(call.op) && busy) || hung) {
            const Job &earlier = running ? *running : *waiting.front();
            refused.status = failure(kNodeStillBusy,
                                     QStringLiteral("O nó ainda não respondeu à chamada anterior "
                                                    "(%1, há %2 ms); a chamada %3 não foi feita.")
                                         .arg(nameOf(earlier.call))
                                         .arg(msSince(earlier.postedAt))
                                         .arg(nameOf(call)));
            // An unkey is still owed to the node, once: it gets it when it frees.
            if (!isUnkey(call) || (!waiting.empty() && isUnkey(waiting.back()->call)))
                return nullptr;
        }
        auto job = std::make_shared<Job>();
        job->call = call;
        job->bound = bound;
        job->postedAt = Clock::now();
        job->deadline = job->postedAt + bound;
        if (refused.status.code != 0)
            job->settled = true;
        waiting.push_back(job);
        QMetaObject::invokeMethod(
            runner, [self = this] { self->runNext(); }, Qt::QueuedConnection);
        return job->settled ? nullptr : job;
    }
};

LinkCreation ThreadedLink::create(const Factory &factory, Note note, Bounds bounds)
{
    auto shared = std::make_shared<Shared>();
    shared->bounds = bounds;
    shared->note = std::move(note);
    shared->home = new QObject;
    shared->thread = new QThread;
    shared->thread->setObjectName(QStringLiteral("node"));
    shared->runner = new QObject;
    shared->runner->moveToThread(shared->thread);
    QObject::connect(shared->thread, &QThread::finished, shared->runner, &QObject::deleteLater);
    shared->thread->start();
    // The link's own notes come from the node's thread: posted to this one.
    const Note fromNode = [weak = std::weak_ptr<Shared>(shared)](const QString &text) {
        if (const auto s = weak.lock()) {
            const std::lock_guard lock(s->mutex);
            s->noteLocked(text);
        }
    };
    shared->creating = true;
    QMetaObject::invokeMethod(
        shared->runner,
        [s = shared.get(), factory, fromNode] {
            LinkCreation made = factory(fromNode);
            const std::lock_guard lock(s->mutex);
            s->link = std::move(made.link);
            s->creation = made.status;
            s->tells = s->link && s->link->tellsPlayOutcome();
            s->created = true;
            s->creating = false;
            s->changed.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared->mutex);
    const bool made =
        shared->changed.wait_for(lock, bounds.creation, [&] { return shared->created; });
    LinkStatus status = shared->creation;
    const bool haveLink = made && shared->link;
    lock.unlock();
    // From here the object owns the thread, and its destructor leaves it behind if need be.
    std::unique_ptr<ThreadedLink> link(new ThreadedLink(shared));
    if (haveLink)
        return {std::move(link), LinkStatus::success()};
    if (!made)
        status =
            failure(kNoAnswerInTime, QStringLiteral("O nó não respondeu em %1 s ao ser criado.")
                                         .arg(bounds.creation.count() / 1000.0));
    else if (status.ok())
        status = failure(std::int32_t(0x80004005U), QStringLiteral("O nó não foi criado."));
    return {nullptr, status};
}

LinkCreation ThreadedLink::create(const Factory &factory, Note note)
{
    return create(factory, std::move(note), Bounds());
}

ThreadedLink::ThreadedLink(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

ThreadedLink::~ThreadedLink()
{
    Shared &s = *m_shared;
    std::unique_lock lock(s.mutex);
    QObject *home = s.home;
    s.home = nullptr;
    s.note = nullptr;
    s.outcome = nullptr;
    // A call that is only slow may still end within the release bound: then the object is
    // released as it should be. One past the keying bound (a hung node) is not waited for.
    const bool stuck =
        s.creating || (s.running && msSince(s.running->startedAt) > s.bounds.transmit.count());
    lock.unlock();
    delete home; // drops every answer and note still on its way here

    // After whatever is queued (an owed unkey): the link released on its own thread, and
    // the thread's end. Behind a stuck call that happens whenever the call returns, if ever.
    QMetaObject::invokeMethod(
        s.runner,
        [keep = m_shared] {
            std::unique_ptr<LinkObject> link;
            {
                const std::lock_guard l(keep->mutex);
                link = std::move(keep->link);
            }
            link.reset();
            keep->thread->quit();
        },
        Qt::QueuedConnection);
    if (!stuck && s.thread->wait(QDeadlineTimer(s.bounds.release))) {
        delete s.thread;
        return;
    }
    leaveBehind(s.thread);
}

ThreadedLink::Answer ThreadedLink::callAndWait(Call call)
{
    Shared &s = *m_shared;
    std::unique_lock lock(s.mutex);
    Answer refused;
    const std::shared_ptr<Job> job = s.enqueue(call, refused);
    if (!job)
        return refused;
    // Keying and playing may take seconds from a slow node: meanwhile the caller's timers go
    // on (the window's clock), as they do while a call into a node pumps messages; what the
    // operator clicks waits for the answer.
    if (!isReading(call.op) && QCoreApplication::instance() && s.home &&
        QThread::currentThread() == s.home->thread()) {
        lock.unlock();
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            const std::lock_guard polled(s.mutex);
            if (job->settled || Clock::now() >= job->deadline)
                loop.quit();
        });
        poll.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        lock.lock();
    } else {
        s.changed.wait_until(lock, job->deadline, [&] { return job->settled; });
    }
    return job->settled ? job->answer : s.timedOut(*job);
}

void ThreadedLink::submit(Call call, Done done)
{
    Shared &s = *m_shared;
    std::unique_lock lock(s.mutex);
    Answer refused;
    const std::shared_ptr<Job> job = s.enqueue(call, refused);
    if (!job) {
        s.postHome([done = std::move(done), refused] { done(refused); });
        return;
    }
    job->done = done;
    const auto left = std::chrono::ceil<milliseconds>(job->deadline - Clock::now());
    QTimer::singleShot(std::max(left, milliseconds(0)), s.home,
                       [weak = std::weak_ptr<Shared>(m_shared), job] {
                           const auto shared = weak.lock();
                           if (!shared)
                               return;
                           std::unique_lock l(shared->mutex);
                           if (job->settled)
                               return;
                           const Answer answer = shared->timedOut(*job);
                           l.unlock();
                           job->done(answer);
                       });
}

LinkStatus ThreadedLink::RfBusy(std::int16_t &value)
{
    const Answer answer = callAndWait({Operation::RfBusy, false, {}, false});
    if (answer.status.ok())
        value = answer.value;
    return answer.status;
}

LinkStatus ThreadedLink::IpBusy(std::int16_t &value)
{
    const Answer answer = callAndWait({Operation::IpBusy, false, {}, false});
    if (answer.status.ok())
        value = answer.value;
    return answer.status;
}

LinkStatus ThreadedLink::SetTransmit(bool on)
{
    return callAndWait({Operation::SetTransmit, on, {}, false}).status;
}

LinkStatus ThreadedLink::PlayFile(const std::string &path, bool flag)
{
    return callAndWait({Operation::PlayFile, false, path, flag}).status;
}

bool ThreadedLink::tellsPlayOutcome() const
{
    return m_shared->tells;
}

void ThreadedLink::setPlayOutcomeHandler(PlayOutcomeHandler handler)
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->outcome = std::move(handler);
    }
    QMetaObject::invokeMethod(
        m_shared->runner,
        [weak = std::weak_ptr<Shared>(m_shared)] {
            const auto s = weak.lock();
            if (!s || !s->link)
                return;
            s->link->setPlayOutcomeHandler([weak](const PlayOutcome &outcome) {
                const auto shared = weak.lock();
                if (!shared)
                    return;
                const std::lock_guard lock(shared->mutex);
                shared->postHome([shared, outcome] {
                    if (shared->outcome)
                        shared->outcome(outcome);
                });
            });
        },
        Qt::QueuedConnection);
}

std::string ThreadedLink::unansweredCall() const
{
    const std::lock_guard lock(m_shared->mutex);
    const Job *job = m_shared->running.get();
    if (!job || msSince(job->startedAt) <= m_shared->bounds.transmit.count())
        return {};
    return nameOf(job->call).toStdString();
}

const ThreadedLink::Bounds &ThreadedLink::bounds() const
{
    return m_shared->bounds;
}

} // namespace anunciel
