#pragma once

// Fakes for the pipeline's collaborators: a registry of addresses, and lookups that serve scripted
// items and fail for the code "FAIL".

#include "data/EDatabaseError.h"
#include "data/RegistrySearch.h"
#include "lookup/ItemLookups.h"

#include <functional>
#include <map>
#include <set>
#include <vector>

namespace tarvel {

class FakeRegistry : public RegistrySearch {
public:
    bool Locate(const QByteArray& address) override
    {
        searched.push_back(address);
        if (failing)
            throw EDatabaseError("Table is not open");
        return addresses.count(address) > 0;
    }
    std::set<QByteArray> addresses;
    std::vector<QByteArray> searched;
    bool failing = false;
};

struct LookupCall {
    QByteArray code;
    bool extended;
};

class FakeLookups : public ItemLookups {
public:
    LookupResult LookupExtended(const QByteArray& code, const RunContext&) override { return find(code, true); }
    LookupResult LookupStandard(const QByteArray& code, const RunContext&) override { return find(code, false); }
    LookupResult find(const QByteArray& code, bool extended)
    {
        calls.push_back({code, extended});
        if (during)
            during(code);
        if (code == "FAIL")
            throw EDatabaseError("Dynamic SQL Error\nColumn unknown\nM_PRICEX");
        auto it = items.find(code);
        return it == items.end() ? LookupResult{} : it->second;
    }
    std::map<QByteArray, LookupResult> items;
    std::vector<LookupCall> calls;
    // Runs inside each lookup, before its result: what happens meanwhile.
    std::function<void(const QByteArray& code)> during;
};

inline LookupResult Milo()
{
    LookupResult r;
    r.Found = true;
    r.Description = "Milo 1kg Tin";
    r.ItemCode = "M001";
    r.Barcode = "9555000000017";
    r.ItemKey = "17";
    r.PriceText = "RM 21.90";
    return r;
}

} // namespace tarvel
