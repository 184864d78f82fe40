#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace tarvel {

// Many sockets watched as one: each member is watched for data (and for its end or its failure,
// which a read then tells), and for room to write while asked to. The event loop is told of them
// through the set's own means, once: on Linux one epoll descriptor, whatever the number of members
// (ReadySet_linux.cpp); elsewhere the event loop's own watch of each member (ReadySet_other.cpp). A
// member costs no descriptor of its own beside its socket. Event thread only.
class ReadySet {
public:
    // What is ready on a member, as bits.
    enum Ready : unsigned {
        kReadable = 1, // data waiting, or the end of data, or an error: a read tells which
        kWritable = 2, // room to write, only while watched for it
        kHungUp = 4, // ended both ways, where the system tells it apart (epoll); a read gives the rest
    };
    // Called for each ready member, one at a time, on the event thread. It may add, change and remove
    // members, itself or others: a member removed is told nothing more, even of what was ready with it.
    using Handler = std::function<void(qintptr descriptor, unsigned ready)>;

    // Throws TarvelError "Socket error: <text> (<number>), on API 'epoll_create'" when the system
    // gives no set.
    explicit ReadySet(Handler handler);
    ~ReadySet();
    ReadySet(const ReadySet&) = delete;
    ReadySet& operator=(const ReadySet&) = delete;

    // Watches a non-blocking socket for data; 0, or the platform's error number when it will not be
    // watched (then it is no member).
    int Add(qintptr descriptor);
    // Watches a member for room to write as well (true) or no longer (false).
    void WatchWritable(qintptr descriptor, bool watch);
    // Forgets a member before its socket is closed; nothing for a descriptor that is none.
    void Remove(qintptr descriptor);
    int Size() const;

private:
    struct Members;
    std::unique_ptr<Members> members_;
};

} // namespace tarvel
