#include "data/Database.h"

#include "data/ConnectionLimits.h"
#include "data/EDatabaseError.h"
#include "data/FbQuery.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

using namespace Firebird;

namespace tarvel {

namespace {

// Owns one status object of the engine for the length of one call.
class Status {
public:
    explicit Status(IMaster* master) : status_(master->getStatus()), wrapper_(status_) {}
    ~Status() { status_->dispose(); }
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    CheckStatusWrapper* operator&() { return &wrapper_; }
    bool failed() const { return (wrapper_.getState() & IStatus::STATE_ERRORS) != 0; }
    IStatus* status() { return &wrapper_; }

private:
    IStatus* status_;
    CheckStatusWrapper wrapper_;
};

// The codes after which the attachment is gone and only a new one helps.
bool attachmentLost(IStatus* status)
{
    static constexpr std::initializer_list<ISC_STATUS> kLost = {
        isc_network_error,      isc_net_connect_err, isc_net_connect_listen_err, isc_net_read_err, isc_net_write_err,
        isc_lost_db_connection, isc_conn_lost,       isc_att_shutdown,           isc_shutdown,     isc_bad_db_handle};
    const ISC_STATUS* v = status->getErrors();
    while (*v != isc_arg_end) {
        const ISC_STATUS kind = v[0];
        if (kind == isc_arg_gds && std::find(kLost.begin(), kLost.end(), v[1]) != kLost.end())
            return true;
        v += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

QByteArray messageOf(IMaster* master, IStatus* status)
{
    char buffer[2048];
    const unsigned length = master->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    QByteArray text(buffer, int(std::min<unsigned>(length, sizeof buffer - 1)));
    while (text.endsWith('\n'))
        text.chop(1);
    return text;
}

// Frees an engine object; when the engine refuses (the attachment is gone) the object is only released.
template <typename T, typename Finish>
void finish(IMaster* master, T*& object, Finish finishCall)
{
    if (!object)
        return;
    Status status(master);
    finishCall(object, &status);
    if (status.failed())
        object->release();
    object = nullptr;
}

constexpr unsigned char kReadTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                      isc_tpb_nowait};
constexpr unsigned char kWriteTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                       isc_tpb_nowait};

} // namespace

// What a probe's thread leaves for the event thread; the thread holds its own share, so a probe that
// outlives its connection (the service stopped meanwhile) writes only here.
struct Database::ProbeState {
    std::mutex mutex;
    bool done = false;
    bool answered = false;
};

namespace {

// The probe's attach, on its own thread: the server answered when it attached, or refused within the
// deadline (an error of its own, which the next step then meets and tells). A server still silent at
// the deadline did not answer.
bool probeAttach(IMaster* master, const QByteArray& server, const QByteArray& user, const QByteArray& password,
                 int seconds)
{
    IProvider* provider = master->getDispatcher();
    bool answered = false;
    {
        Status status(master);
        IXpbBuilder* dpb = master->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
        if (!status.failed()) {
            dpb->insertString(&status, isc_dpb_user_name, user.constData());
            dpb->insertString(&status, isc_dpb_password, password.constData());
            dpb->insertString(&status, isc_dpb_lc_ctype, "NONE");
            dpb->insertInt(&status, isc_dpb_connect_timeout, seconds);
            const auto began = std::chrono::steady_clock::now();
            IAttachment* attachment = nullptr;
            if (!status.failed())
                attachment = provider->attachDatabase(&status, server.constData(), dpb->getBufferLength(&status),
                                                      dpb->getBuffer(&status));
            dpb->dispose();
            answered = !status.failed() || std::chrono::steady_clock::now() - began < std::chrono::seconds(seconds);
            if (attachment && !status.failed())
                finish(master, attachment, [](IAttachment* a, CheckStatusWrapper* s) { a->detach(s); });
        }
    }
    provider->release();
    return answered;
}

} // namespace

Database::Database() : master_(fb_get_master_interface()), provider_(master_->getDispatcher())
{
    probeTimer_.setInterval(100);
    QObject::connect(&probeTimer_, &QTimer::timeout, [this] { probeTick(); });
}

Database::~Database()
{
    Close();
    for (FbQuery* query : queries_)
        query->Close();
    provider_->release();
}

void Database::ClearParams() { params_.clear(); }

void Database::AddParam(const QByteArray& line) { params_.append(line); }

QList<QByteArray> Database::Params() const { return params_; }

QByteArray Database::param(const QByteArray& name) const
{
    const QByteArray wanted = name.toUpper();
    for (const QByteArray& line : params_) {
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && line.left(eq).trimmed().toUpper() == wanted)
            return line.mid(eq + 1);
    }
    return {};
}

unsigned Database::dialect() const { return param("SQLDIALECT").trimmed() == "1" ? 1 : 3; }

void Database::Open()
{
    if (connected_)
        return;
    // Opening is a step of its own caller (Start, the setup dialog's test), which tells its failure:
    // no outage outlives it.
    try {
        attach();
    } catch (...) {
        endOutage();
        throw;
    }
    connected_ = true;
}

void Database::Close() { shut(true); }

void Database::Abandon() { shut(false); }

void Database::shut(bool detach)
{
    endOutage();
    if (!connected_)
        return;
    for (FbQuery* query : queries_)
        query->Close();
    if (detach) {
        // A server that does not answer keeps no one from stopping: past the limit the connection is
        // cut and the objects only released.
        watch(std::min<std::chrono::milliseconds>(kCloseLimit, std::chrono::seconds(deadlineSeconds_)));
        dropAttachment(true);
    } else if (attachment_) {
        Status status(master_);
        attachment_->cancelOperation(&status, fb_cancel_abort);
        dropAttachment(false);
    }
    deadline_.disarm();
    connected_ = false;
}

void Database::beginOutage(const std::string& message)
{
    outage_ = message;
    probe_.reset();
    probeStarted_ = std::chrono::steady_clock::now() - kProbeInterval;
    probeTimer_.start();
}

void Database::endOutage()
{
    outage_.reset();
    probe_.reset(); // a probe still under way finishes on its own thread, unheard
    probeTimer_.stop();
}

void Database::startProbe()
{
    auto state = std::make_shared<ProbeState>();
    probe_ = state;
    probeStarted_ = std::chrono::steady_clock::now();
    // Never joined: the event thread does not wait for a server that does not answer, and a process
    // that ends meanwhile ends the probe with it.
    std::thread([state, master = master_, server = param("SERVER NAME"), user = param("USER NAME"),
                 password = param("PASSWORD"), seconds = std::max(deadlineSeconds_, 1)] {
        const bool answered = probeAttach(master, server, user, password, seconds);
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->answered = answered;
    }).detach();
}

bool Database::probeAnswered()
{
    if (!probe_)
        return false;
    bool answered = false;
    {
        const std::lock_guard lock(probe_->mutex);
        if (!probe_->done)
            return false;
        answered = probe_->answered;
    }
    probe_.reset();
    return answered;
}

void Database::probeTick()
{
    if (!outage_) {
        probeTimer_.stop();
        return;
    }
    if (probeAnswered()) {
        endOutage();
        if (outageEnded_)
            outageEnded_();
        return;
    }
    if (!probe_ && std::chrono::steady_clock::now() - probeStarted_ >= kProbeInterval)
        startProbe();
}

QByteArray Database::DeadlineMessage(int seconds)
{
    return "The POS database did not answer within " + QByteArray::number(seconds) + " s";
}

void Database::watch(std::chrono::milliseconds limit)
{
    if (deadlineSeconds_ == 0 || !attachment_)
        return;
    IAttachment* attachment = attachment_;
    IMaster* master = master_;
    deadline_.arm(limit, [master, attachment] {
        // The engine's own way to end a call from another thread: the client side of the connection
        // is closed, and the call waiting on it fails at once.
        Status status(master);
        attachment->cancelOperation(&status, fb_cancel_abort);
    });
}

void Database::passed()
{
    if (!deadline_.disarm())
        return;
    // Whatever the engine said: the connection is cut, and nothing more is asked of it.
    for (FbQuery* query : queries_)
        query->Close();
    dropAttachment(false);
    const std::string message = DeadlineMessage(deadlineSeconds_).toStdString();
    beginOutage(message);
    throw EDatabaseError(message);
}

void Database::attach()
{
    // Whatever the caller has checked: this name would abort the server.
    CheckDatabaseUserName(param("USER NAME"), "USER NAME of the connection");
    Status status(master_);
    IXpbBuilder* dpb = master_->getUtilInterface()->getXpbBuilder(&status, IXpbBuilder::DPB, nullptr, 0);
    if (status.failed())
        fail(status.status());
    dpb->insertString(&status, isc_dpb_user_name, param("USER NAME").constData());
    dpb->insertString(&status, isc_dpb_password, param("PASSWORD").constData());
    dpb->insertString(&status, isc_dpb_lc_ctype, "NONE");
    // The parameter lines in force are those of this Open: the dialect is read once, here.
    dialect_ = dialect();
    dpb->insertInt(&status, isc_dpb_sql_dialect, int(dialect_));
    // The engine's deadline for the server's first answer: a host that is down or a server that does
    // not answer. No handle exists to cut before the attachment does.
    if (deadlineSeconds_ > 0)
        dpb->insertInt(&status, isc_dpb_connect_timeout, deadlineSeconds_);
    const QByteArray server = param("SERVER NAME");
    const auto began = std::chrono::steady_clock::now();
    if (!status.failed())
        attachment_ = provider_->attachDatabase(&status, server.constData(), dpb->getBufferLength(&status),
                                                dpb->getBuffer(&status));
    dpb->dispose();
    if (status.failed()) {
        attachment_ = nullptr;
        if (deadlineSeconds_ > 0
            && std::chrono::steady_clock::now() - began >= std::chrono::seconds(deadlineSeconds_)) {
            const std::string message = DeadlineMessage(deadlineSeconds_).toStdString();
            beginOutage(message);
            throw EDatabaseError(message);
        }
        fail(status.status());
    }
    watch(std::chrono::seconds(deadlineSeconds_));
    transaction_ = attachment_->startTransaction(&status, sizeof kReadTpb, kReadTpb);
    passed();
    if (status.failed()) {
        transaction_ = nullptr;
        const QByteArray message = messageOf(master_, status.status());
        dropAttachment(true);
        throw EDatabaseError(message.toStdString());
    }
}

void Database::ensureAttached()
{
    if (!connected_)
        throw EDatabaseError("Database is not connected");
    // The probe may have finished since the timer's last look: a scan then need not fail for it.
    if (outage_ && probeAnswered()) {
        endOutage();
        if (outageEnded_)
            outageEnded_();
    }
    if (outage_)
        throw EDatabaseError(*outage_);
    if (!attachment_)
        attach();
}

void Database::dropAttachment(bool detach)
{
    if (!detach) {
        // The engine cannot end what it has lost: only the objects go.
        if (transaction_)
            transaction_->release();
        if (attachment_)
            attachment_->release();
        transaction_ = nullptr;
        attachment_ = nullptr;
        return;
    }
    finish(master_, transaction_, [](ITransaction* t, CheckStatusWrapper* s) { t->rollback(s); });
    finish(master_, attachment_, [](IAttachment* a, CheckStatusWrapper* s) { a->detach(s); });
}

void Database::fail(IStatus* status)
{
    passed();
    const QByteArray message = messageOf(master_, status);
    const bool lost = attachment_ && attachmentLost(status);
    if (lost)
        dropAttachment(false);
    throw EDatabaseError(message.toStdString(), lost);
}

void Database::ExecSql(const QByteArray& sql)
{
    if (trace_)
        trace_(sql);
    ensureAttached();
    watch(std::chrono::seconds(deadlineSeconds_));
    Status status(master_);
    ITransaction* write = attachment_->startTransaction(&status, sizeof kWriteTpb, kWriteTpb);
    if (status.failed())
        fail(status.status());
    attachment_->execute(&status, write, sql.size(), sql.constData(), dialect_, nullptr, nullptr, nullptr, nullptr);
    if (status.failed()) {
        Status cleanup(master_);
        write->rollback(&cleanup);
        if (cleanup.failed())
            write->release();
        fail(status.status());
    }
    write->commit(&status);
    if (status.failed()) {
        write->release();
        fail(status.status());
    }
    passed();
}

FbResult Database::Select(const QByteArray& sql)
{
    if (trace_)
        trace_(sql);
    ensureAttached();
    watch(std::chrono::seconds(deadlineSeconds_));
    Status status(master_);
    IResultSet* cursor = attachment_->openCursor(&status, transaction_, sql.size(), sql.constData(), dialect_, nullptr,
                                                 nullptr, nullptr, nullptr, 0);
    if (status.failed())
        fail(status.status());

    FbResult result;
    IMessageMetadata* meta = cursor->getMetadata(&status);
    const auto cleanUp = [&] {
        if (meta)
            meta->release();
        finish(master_, cursor, [](IResultSet* c, CheckStatusWrapper* s) { c->close(s); });
    };
    std::vector<int> blobColumns;
    if (!status.failed()) {
        const unsigned count = meta->getCount(&status);
        result.columns.reserve(count);
        for (unsigned i = 0; i < count && !status.failed(); ++i) {
            FbColumn c;
            c.name = meta->getAlias(&status, i);
            c.type = meta->getType(&status, i) & ~1u;
            c.subType = unsigned(meta->getSubType(&status, i));
            c.scale = meta->getScale(&status, i);
            c.length = meta->getLength(&status, i);
            c.offset = meta->getOffset(&status, i);
            c.nullOffset = meta->getNullOffset(&status, i);
            c.index = int(i);
            if (c.type == SQL_BLOB)
                blobColumns.push_back(int(i));
            result.columns.push_back(c);
        }
    }
    const unsigned messageLength = status.failed() ? 0 : meta->getMessageLength(&status);
    // The first row only: the lookups read nothing else, and an empty code can match most of a
    // catalogue.
    FbRow row;
    row.message = QByteArray(int(messageLength), '\0');
    if (!status.failed() && cursor->fetchNext(&status, row.message.data()) == IStatus::RESULT_OK) {
        row.blobs.resize(result.columns.size());
        for (int i : blobColumns) {
            const FbColumn& c = result.columns[i];
            if (FieldIsNull(c, row))
                continue;
            ISC_QUAD id;
            std::memcpy(&id, row.message.constData() + c.offset, sizeof id);
            IBlob* blob = attachment_->openBlob(&status, transaction_, &id, 0, nullptr);
            char segment[8192];
            unsigned got = 0;
            while (!status.failed()) {
                const int r = blob->getSegment(&status, sizeof segment, segment, &got);
                if (r != IStatus::RESULT_OK && r != IStatus::RESULT_SEGMENT)
                    break;
                row.blobs[i].append(segment, int(got));
            }
            finish(master_, blob, [](IBlob* b, CheckStatusWrapper* s) { b->close(s); });
        }
        result.rows.push_back(std::move(row));
    }
    cleanUp();
    if (status.failed())
        fail(status.status());
    passed();
    return result;
}

} // namespace tarvel
