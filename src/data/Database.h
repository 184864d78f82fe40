#pragma once

#include "data/CallDeadline.h"
#include "data/FbResult.h"

#include <QByteArray>
#include <QList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Firebird {
class IAttachment;
class ITransaction;
class IProvider;
class IStatus;
class IMaster;
} // namespace Firebird

namespace tarvel {

class FbQuery;

// A connection component (coDataDb, coStoreDb): a Firebird attachment made from a parameter list of
// "NAME=value" lines. Names, matched without regard to case: "USER NAME", "PASSWORD", "SQLDIALECT"
// (1 or 3; 3 when missing), "SERVER NAME" (the Firebird connection string: a plain path opens the
// file embedded, "host:/path" goes to that server over TCP). Other lines are kept and ignored.
// The attachment uses the character set NONE, so every text goes both ways byte for byte.
// All reads share one read-only read-committed transaction, started with the attachment: it sees
// every commit at once and holds back no garbage collection.
// A lost attachment (server restart, dropped network) fails the call that meets it with an error
// that says so (EDatabaseError::AttachmentLost); the next call attaches again by itself. Every engine
// failure is an EDatabaseError with Firebird's own message.
// With a deadline set, no step waits longer for the server: attaching (the server must answer within
// it), each query with its fetches and each statement. A step that runs past it fails with
// DeadlineMessage; its attachment is abandoned on the spot (its connection cut, never waited for again)
// and the next step attaches afresh. Closing waits at most kCloseLimit for a server that does not
// answer. Event thread only; the deadline's watchdog thread only ever cuts the connection.
// A step that ran past the deadline, or an attach that did, begins an outage: every step after it fails
// at once with the same DeadlineMessage instead of waiting out a deadline of its own, until a probe
// finds the server answering. The probe is one attach at a time on a thread of its own, begun from a
// timer of the event loop at most once a second; the event thread never waits for it.
class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The lines in force at the next Open.
    void ClearParams();
    void AddParam(const QByteArray& line);
    QList<QByteArray> Params() const;

    // Attaches. Does nothing when already connected. Throws EDatabaseError.
    void Open();
    // Closes every query open on it, then detaches. Does nothing when not connected. Never throws.
    void Close();
    // True from a successful Open until Close, also while the attachment is lost and not yet renewed.
    bool Connected() const { return connected_; }

    // Runs a statement without rows in a transaction of its own, committed at once.
    void ExecSql(const QByteArray& sql);

    // Runs a statement and copies out its columns and its first row, if any; the rest of the result is
    // never fetched. For FbQuery.
    FbResult Select(const QByteArray& sql);

    // The deadline of every step on the server, in seconds; 0 (the default) for none.
    void setDeadline(int seconds) { deadlineSeconds_ = seconds > 0 ? seconds : 0; }
    // What a step that ran past the deadline fails with.
    static QByteArray DeadlineMessage(int seconds);
    // The longest a close waits for a server that does not answer before it cuts the connection.
    static constexpr std::chrono::milliseconds kCloseLimit{1000};

    // Whether an outage is in force: the server let a deadline pass and no probe has found it since.
    bool InOutage() const { return outage_.has_value(); }
    // Told on the event thread when a probe found the server answering and the outage ended.
    void setOutageEnded(std::function<void()> ended) { outageEnded_ = std::move(ended); }
    // Like Close, but the server is not asked to detach: the connection is cut on the spot. For a server
    // that let a deadline pass, which would keep a detach waiting for kCloseLimit. Never throws.
    void Abandon();
    // The least time between the starts of two probes of an outage.
    static constexpr std::chrono::milliseconds kProbeInterval{1000};

    // Called with every SQL text run on this connection, verbatim, before it runs.
    void setSqlTrace(std::function<void(const QByteArray&)> trace) { trace_ = std::move(trace); }

private:
    friend class FbQuery;
    void attach();
    void ensureAttached();
    void dropAttachment(bool detach);
    // Watches the engine calls that follow on the attachment for `limit`; past it, the watchdog cuts
    // the attachment's connection. Ended by fail, passed or the next watch.
    void watch(std::chrono::milliseconds limit);
    // Ends the watch; a step that ran past its deadline abandons the attachment and throws.
    void passed();
    [[noreturn]] void fail(Firebird::IStatus* status);
    QByteArray param(const QByteArray& name) const;
    unsigned dialect() const;
    // The outage: begun with the message of the step that ran past its deadline, ended by a probe or
    // by Close.
    void beginOutage(const std::string& message);
    void endOutage();
    void startProbe();
    // Close (detach: the server is asked) and Abandon (the connection is cut).
    void shut(bool detach);
    // The probe under way has finished and found the server answering; forgets a finished probe.
    bool probeAnswered();
    void probeTick();

    QList<QByteArray> params_;
    std::vector<FbQuery*> queries_;
    std::function<void(const QByteArray&)> trace_;
    Firebird::IMaster* master_ = nullptr;
    Firebird::IProvider* provider_ = nullptr;
    Firebird::IAttachment* attachment_ = nullptr;
    Firebird::ITransaction* transaction_ = nullptr;
    bool connected_ = false;
    unsigned dialect_ = 3; // of the parameter lines at the last Open
    int deadlineSeconds_ = 0;
    struct ProbeState;
    std::optional<std::string> outage_;
    std::shared_ptr<ProbeState> probe_; // the probe under way; shared with its thread
    std::chrono::steady_clock::time_point probeStarted_;
    QTimer probeTimer_;
    std::function<void()> outageEnded_;
    CallDeadline deadline_; // last: its thread ends before the engine objects go
};

} // namespace tarvel
