#include "platform/ReadySet.h"

#include <QSocketNotifier>

#include <unordered_map>

namespace tarvel {

// The portable set: each member watched by the event loop's own notifiers (poll or select on Unix,
// the window messages of Windows Sockets on Windows), one for data and one for room to write while
// asked. The event loop looks at every member at each turn.
struct ReadySet::Members {
    struct Member {
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
    };

    explicit Members(Handler handler) : handler(std::move(handler)) {}

    // A notifier may be the one whose signal is being delivered: it is silenced now, deleted later.
    static void Retire(std::unique_ptr<QSocketNotifier>& notifier)
    {
        if (!notifier)
            return;
        notifier->setEnabled(false);
        QObject::disconnect(notifier.get(), nullptr, nullptr, nullptr);
        notifier.release()->deleteLater();
    }

    std::unique_ptr<QSocketNotifier> watch(qintptr descriptor, QSocketNotifier::Type type, unsigned ready)
    {
        auto notifier = std::make_unique<QSocketNotifier>(descriptor, type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated,
                         [this, descriptor, ready] { handler(descriptor, ready); });
        return notifier;
    }

    Handler handler;
    std::unordered_map<qintptr, Member> members;
};

ReadySet::ReadySet(Handler handler) : members_(std::make_unique<Members>(std::move(handler))) {}

ReadySet::~ReadySet()
{
    for (auto& [descriptor, member] : members_->members) {
        Members::Retire(member.readable);
        Members::Retire(member.writable);
    }
}

int ReadySet::Add(qintptr descriptor)
{
    Members::Member& member = members_->members[descriptor];
    Members::Retire(member.writable);
    Members::Retire(member.readable);
    member.readable = members_->watch(descriptor, QSocketNotifier::Read, kReadable);
    return 0;
}

void ReadySet::WatchWritable(qintptr descriptor, bool watch)
{
    const auto found = members_->members.find(descriptor);
    if (found == members_->members.end() || bool(found->second.writable) == watch)
        return;
    if (watch)
        found->second.writable = members_->watch(descriptor, QSocketNotifier::Write, kWritable);
    else
        Members::Retire(found->second.writable);
}

void ReadySet::Remove(qintptr descriptor)
{
    const auto found = members_->members.find(descriptor);
    if (found == members_->members.end())
        return;
    Members::Retire(found->second.readable);
    Members::Retire(found->second.writable);
    members_->members.erase(found);
}

int ReadySet::Size() const { return int(members_->members.size()); }

} // namespace tarvel
