#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace tarvel {

// How a scan that got a reply ended.
enum class ScanOutcome {
    Found, // an item frame went out
    NotFound, // a registered terminal's code that the lookup did not find
    // The terminal is not in the registry: its scan was looked up as "Un-Registered" (after the trims) in
    // place of its code, and not found; the not-found frame went out. Should an item have that code,
    // the scan counts as Found.
    Unregistered,
};

// What the listener tells about the terminals and their scans as they happen, for the service's
// statistics. Called on the event thread inside the listener's handlers, once per event: an
// implementation counts and returns, it never blocks, throws or calls back into the listener.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void terminalConnected(const QByteArray& terminalAddress) = 0;
    virtual void terminalDisconnected(const QByteArray& terminalAddress) = 0;
    // A reply went out: `code` is the looked-up code (after the registry check and the trims);
    // `replyNanoseconds` runs from the message read to the frame handed to the platform.
    virtual void scanAnswered(const QByteArray& terminalAddress, ScanOutcome outcome, const QByteArray& code,
                              qint64 replyNanoseconds) = 0;
    // The reply was ready but dropped, not sent: the terminal has left too many earlier replies unread.
    virtual void scanDropped(const QByteArray& terminalAddress) = 0;
    // The handling of a message failed and the terminal got no reply; `databaseError` when the engine
    // (or the registry) failed, false for a failed send and the like.
    virtual void scanFailed(const QByteArray& terminalAddress, bool databaseError) = 0;
};

} // namespace tarvel
