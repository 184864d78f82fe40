#include "terminal/ScanPipeline.h"

#include "base/ByteText.h"
#include "base/Front.h"
#include "base/OperatorLog.h"
#include "base/RunContext.h"
#include "data/RegistrySearch.h"
#include "lookup/ItemLookups.h"
#include "terminal/Frames.h"
#include "terminal/ScanCode.h"

namespace tarvel {

ScanPipeline::ScanPipeline(Front& front, RegistrySearch& registry, ItemLookups& lookups, const RunContext& run)
    : front_(front), registry_(registry), lookups_(lookups), run_(run)
{
}

ScanPipeline::Reply ScanPipeline::Handle(const QByteArray& message, const QByteArray& terminalAddress,
                                         const QByteArray& serverAddress)
{
    QByteArray code = CutCode(message);
    front_.appendLog(LogLineWithValue("> [RECV] " + code, terminalAddress));

    const bool registered = registry_.Locate(TrimBytes(terminalAddress));
    code = registered ? TrimBytes(code) : QByteArray(kUnregisteredCode);

    code = TrimCheckDigits(code, run_.Settings);

    const bool extended = run_.ExtendedLayout;
    const LookupResult result = extended ? lookups_.LookupExtended(code, run_) : lookups_.LookupStandard(code, run_);
    if (!result.Found)
        return {NotFoundFrame(), LogLineWithValue("< [Not Found] ", code),
                registered ? ScanOutcome::NotFound : ScanOutcome::Unregistered, code};
    const QByteArray label = extended ? "< [SENT.XE] " : "< [SENT] ";
    return {ComposeItemFrame(result, code, run_.Settings.SendSkuBarcode), LogLineWithValue(label + code, serverAddress),
            ScanOutcome::Found, code};
}

} // namespace tarvel
