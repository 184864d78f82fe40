#include "base/Errors.h"
#include "platform/ReadySet.h"
#include "platform/Sockets.h"

#include <QSocketNotifier>

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <unordered_map>

namespace tarvel {

namespace {

// Events taken from the system at one turn of the event loop; what is left is there at the next.
constexpr int kEventsPerTurn = 256;

} // namespace

// One epoll descriptor for all members, watched by the event loop as one. Each member is registered
// with a number of its own beside its descriptor, so that an event of a member removed (and of a new
// one that took its descriptor) during the same turn is known for what it is and dropped.
struct ReadySet::Members {
    struct Member {
        quint32 serial = 0;
        bool writable = false;
    };

    explicit Members(Handler handler) : handler(std::move(handler)) {}

    quint64 key(int descriptor, const Member& member) const
    {
        return quint64(member.serial) << 32 | quint32(descriptor);
    }

    int control(int operation, int descriptor, const Member& member) const
    {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | (member.writable ? EPOLLOUT : 0u);
        event.data.u64 = key(descriptor, member);
        return ::epoll_ctl(epoll, operation, descriptor, &event) == 0 ? 0 : errno;
    }

    void dispatch()
    {
        epoll_event events[kEventsPerTurn];
        const int count = ::epoll_wait(epoll, events, kEventsPerTurn, 0);
        for (int i = 0; i < count; ++i) {
            const int descriptor = int(quint32(events[i].data.u64));
            const auto found = members.find(descriptor);
            if (found == members.end() || key(descriptor, found->second) != events[i].data.u64)
                continue; // removed since: told nothing more
            const quint32 what = events[i].events;
            unsigned ready = 0;
            if (what & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP))
                ready |= kReadable;
            if ((what & EPOLLOUT) && found->second.writable)
                ready |= kWritable;
            if (what & EPOLLHUP)
                ready |= kHungUp;
            if (ready != 0)
                handler(qintptr(descriptor), ready);
        }
    }

    Handler handler;
    int epoll = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unordered_map<int, Member> members;
    quint32 serials = 0;
};

ReadySet::ReadySet(Handler handler) : members_(std::make_unique<Members>(std::move(handler)))
{
    members_->epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (members_->epoll == -1) {
        const int error = errno;
        throw TarvelError("Socket error: " + SocketErrorText(error).toStdString() + " (" + std::to_string(error)
                          + "), on API 'epoll_create'");
    }
    members_->notifier = std::make_unique<QSocketNotifier>(members_->epoll, QSocketNotifier::Read);
    QObject::connect(members_->notifier.get(), &QSocketNotifier::activated,
                     [members = members_.get()] { members->dispatch(); });
}

ReadySet::~ReadySet()
{
    members_->notifier.reset();
    ::close(members_->epoll);
}

int ReadySet::Add(qintptr descriptor)
{
    Members::Member member;
    member.serial = ++members_->serials;
    if (const int error = members_->control(EPOLL_CTL_ADD, int(descriptor), member))
        return error;
    members_->members[int(descriptor)] = member;
    return 0;
}

void ReadySet::WatchWritable(qintptr descriptor, bool watch)
{
    const auto found = members_->members.find(int(descriptor));
    if (found == members_->members.end() || found->second.writable == watch)
        return;
    found->second.writable = watch;
    members_->control(EPOLL_CTL_MOD, int(descriptor), found->second);
}

void ReadySet::Remove(qintptr descriptor)
{
    const auto found = members_->members.find(int(descriptor));
    if (found == members_->members.end())
        return;
    ::epoll_ctl(members_->epoll, EPOLL_CTL_DEL, int(descriptor), nullptr);
    members_->members.erase(found);
}

int ReadySet::Size() const { return int(members_->members.size()); }

} // namespace tarvel
