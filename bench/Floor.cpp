// tarvel-floor: the least a scan can cost on this database. Runs the lookups' own literal SQL texts for
// each code, in order, on one attachment and one read-only read-committed transaction, straight through
// the engine's API: no Tarvel layer, no server socket, no log. Each query reads its first row only,
// which is all a lookup uses. Prints the per-scan times so that bench/run can set the server beside it.
//
//   tarvel-floor --layout standard|extended [--level P1] [--column M_PRICE] [--passes N] DATABASE CODEFILE
//
// DATABASE is the Firebird connection string (localhost:/path/DATA.FDB for TCP as the server uses it);
// CODEFILE holds one code per line. The first pass warms the caches and is not counted.

#include <firebird/Interface.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Firebird;

namespace {

std::string Quote(const std::string& value)
{
    std::string quoted = "'";
    for (char c : value) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    return quoted + "'";
}

class Engine {
public:
    explicit Engine(const std::string& database)
        : master_(fb_get_master_interface()), status_(master_->getStatus()), wrapper_(status_)
    {
        IXpbBuilder* dpb = master_->getUtilInterface()->getXpbBuilder(&wrapper_, IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&wrapper_, isc_dpb_user_name, "SYSDBA");
        dpb->insertString(&wrapper_, isc_dpb_password, "quillpost");
        dpb->insertString(&wrapper_, isc_dpb_lc_ctype, "NONE");
        dpb->insertInt(&wrapper_, isc_dpb_sql_dialect, 3);
        provider_ = master_->getDispatcher();
        attachment_ = provider_->attachDatabase(&wrapper_, database.c_str(), dpb->getBufferLength(&wrapper_),
                                                dpb->getBuffer(&wrapper_));
        check();
        dpb->dispose();
        const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                     isc_tpb_nowait};
        transaction_ = attachment_->startTransaction(&wrapper_, sizeof tpb, tpb);
        check();
    }

    ~Engine()
    {
        transaction_->commit(&wrapper_);
        attachment_->detach(&wrapper_);
        provider_->release();
        status_->dispose();
    }

    // Runs the text and reads its first row; `column` of that row as text, or nothing when no row.
    // The column's text form is the one the server gives: a VARCHAR byte for byte, an INTEGER in decimal.
    bool FirstRow(const std::string& sql, const char* column, std::string* value)
    {
        IResultSet* cursor = attachment_->openCursor(&wrapper_, transaction_, unsigned(sql.size()), sql.c_str(), 3,
                                                     nullptr, nullptr, nullptr, nullptr, 0);
        check();
        IMessageMetadata* meta = cursor->getMetadata(&wrapper_);
        check();
        buffer_.assign(meta->getMessageLength(&wrapper_), '\0');
        const bool found = cursor->fetchNext(&wrapper_, buffer_.data()) == IStatus::RESULT_OK;
        check();
        if (found && column && value) {
            const unsigned count = meta->getCount(&wrapper_);
            for (unsigned i = 0; i < count; ++i) {
                if (strcasecmp(meta->getAlias(&wrapper_, i), column) != 0)
                    continue;
                const char* data = buffer_.data() + meta->getOffset(&wrapper_, i);
                const bool null = *reinterpret_cast<const short*>(buffer_.data() + meta->getNullOffset(&wrapper_, i));
                const unsigned type = meta->getType(&wrapper_, i) & ~1u;
                if (null)
                    value->clear();
                else if (type == SQL_VARYING)
                    value->assign(data + 2, *reinterpret_cast<const unsigned short*>(data));
                else if (type == SQL_LONG)
                    *value = std::to_string(*reinterpret_cast<const int*>(data));
                else
                    throw std::runtime_error(std::string("unexpected type of ") + column);
                break;
            }
        }
        meta->release();
        cursor->close(&wrapper_);
        check();
        return found;
    }

private:
    void check()
    {
        if (!(wrapper_.getState() & IStatus::STATE_ERRORS))
            return;
        char text[1024];
        master_->getUtilInterface()->formatStatus(text, sizeof text, status_);
        throw std::runtime_error(text);
    }

    IMaster* master_;
    IStatus* status_;
    CheckStatusWrapper wrapper_;
    IProvider* provider_ = nullptr;
    IAttachment* attachment_ = nullptr;
    ITransaction* transaction_ = nullptr;
    std::vector<char> buffer_;
};

// The standard lookup's texts: barcode, item (by link key or the fallback form), price row.
void StandardScan(Engine& engine, const std::string& code, const std::string& level)
{
    std::string key;
    const bool barcode = engine.FirstRow("Select M_PLULINKID From Mas_Stock_Barcode Where M_BarCode=" + Quote(code),
                                         "M_PLULINKID", &key);
    const std::string select = "Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where ";
    const std::string item =
        barcode ? select + "M_PluLinkId=" + Quote(key)
                : select + "M_PLUCODE=" + Quote(code) + "Or M_ALU=" + Quote(code) + "Or M_BARCODE=" + Quote(code);
    if (!engine.FirstRow(item, "M_PLULINKID", &key))
        return;
    engine.FirstRow("Select * From Mas_Stock_Price Where M_PluLinkId=" + Quote(key) + " And M_Level=" + Quote(level)
                        + " AND M_QTY=1 AND M_OFQTY=1",
                    nullptr, nullptr);
}

// The extended lookup's texts: barcode, item with the price column.
void ExtendedScan(Engine& engine, const std::string& code, const std::string& column)
{
    std::string key;
    const bool barcode =
        engine.FirstRow("Select M_STOCK_ID From Mas_Stock_Barcode Where M_BarCode=" + Quote(code), "M_STOCK_ID", &key);
    const std::string select =
        "Select M_DESC, M_STOCK_ID, M_SHELF, M_STOCK_CODE, M_Barcode, " + column + " M_Price1 From Mas_Stock ";
    engine.FirstRow(barcode ? select + "Where M_STOCK_ID=" + Quote(key)
                            : select + "Where M_STOCK_CODE=" + Quote(code) + "Or M_BARCODE=" + Quote(code),
                    nullptr, nullptr);
}

int Usage()
{
    std::fputs("usage: tarvel-floor --layout standard|extended [--level P1] [--column M_PRICE] [--passes N] "
               "DATABASE CODEFILE\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string layout, level = "P1", column = "M_PRICE";
    int passes = 2;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--layout" || arg == "--level" || arg == "--column" || arg == "--passes") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--layout")
                layout = value;
            else if (arg == "--level")
                level = value;
            else if (arg == "--column")
                column = value;
            else
                passes = std::max(2, std::stoi(value));
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || (layout != "standard" && layout != "extended"))
        return Usage();
    std::vector<std::string> codes;
    std::ifstream in(positional[1]);
    for (std::string line; std::getline(in, line);)
        codes.push_back(line);
    if (codes.empty())
        return Usage();

    try {
        Engine engine(positional[0]);
        std::vector<double> ms;
        double seconds = 0;
        for (int pass = 0; pass < passes; ++pass) {
            const auto passStart = std::chrono::steady_clock::now();
            for (const std::string& code : codes) {
                const auto start = std::chrono::steady_clock::now();
                if (layout == "standard")
                    StandardScan(engine, code, level);
                else
                    ExtendedScan(engine, code, column);
                if (pass > 0)
                    ms.push_back(
                        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            }
            if (pass > 0)
                seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - passStart).count();
        }
        std::sort(ms.begin(), ms.end());
        auto at = [&](double p) { return ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))]; };
        std::printf("scans %zu, %.2f s, %.0f scans/s\n", ms.size(), seconds, double(ms.size()) / seconds);
        std::printf("scan ms: median %.3f, p90 %.3f, p99 %.3f, max %.3f\n", at(0.5), at(0.9), at(0.99), ms.back());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvel-floor: %s\n", error.what());
        return 1;
    }
    return 0;
}
