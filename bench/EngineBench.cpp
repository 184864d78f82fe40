// Build with -DTARVEL_BENCH=ON; needs the Firebird server (scripts/start-firebird).
//   build/bin/tarvel_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "data/Database.h"
#include "data/FbQuery.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "lookup/PosItemLookups.h"
#include "support/FirebirdFixture.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace tarvel;

namespace {

FirebirdFixture* Fixture()
{
    static std::unique_ptr<FirebirdFixture> fixture = [] {
        auto made = std::make_unique<FirebirdFixture>();
        made->create("EMBEDDED.FDB", {"standard-schema.sql", "standard-data.sql"});
        made->create("SERVER.FDB", {"standard-schema.sql", "standard-data.sql"});
        return made;
    }();
    return fixture.get();
}

void SelectByKey(benchmark::State& state, const QByteArray& serverName)
{
    Database db;
    PosConnections::SetParams(db, serverName, {});
    db.Open();
    FbQuery query(db);
    for (auto _ : state) {
        query.Open("Select M_DESC, M_PLULINKID, M_SHELF, M_PluCode, M_ALu, M_Barcode From Mas_Stock Where "
                   "M_PluLinkId='100001'");
        benchmark::DoNotOptimize(query.FieldAsText("M_DESC"));
    }
}

void BM_SelectByKeyEmbedded(benchmark::State& state) { SelectByKey(state, Fixture()->path("EMBEDDED.FDB")); }
void BM_SelectByKeyServer(benchmark::State& state) { SelectByKey(state, Fixture()->serverPath("SERVER.FDB")); }

// The benchmark's standard-layout catalogue (bench/catalogue-standard.sql): 200,000 items, half of them
// with a blank M_ALu, each with a price row at level P1.
FirebirdFixture* Catalogue()
{
    static std::unique_ptr<FirebirdFixture> fixture = [] {
        auto made = std::make_unique<FirebirdFixture>();
        const QString catalogue = QStringLiteral(TARVEL_SOURCE_DIR "/bench/catalogue-standard.sql");
        for (const char* file : {"EMBEDDED.FDB", "SERVER.FDB"})
            if (const QByteArray problem = made->create(file, {"standard-schema.sql", catalogue}); !problem.isEmpty())
                std::fprintf(stderr, "error: %s\n", problem.constData());
        return made;
    }();
    return fixture.get();
}

// One standard-layout scan on the catalogue: an empty code (it matches every blank M_ALu) against
// an item code.
void ScanCatalogue(benchmark::State& state, const QByteArray& serverName, const QByteArray& code)
{
    Database db;
    PosConnections::SetParams(db, serverName, {});
    db.Open();
    FbQuery qryTmp(db), qryStockPrice(db), qryStoreSHELF(db);
    SystemClock clock;
    PosItemLookups lookups(qryTmp, qryStockPrice, qryStoreSHELF, clock);
    const RunContext run{{}, false, "P1", "S01"};
    for (auto _ : state)
        benchmark::DoNotOptimize(lookups.LookupStandard(code, run));
}

void BM_EmptyScanEmbedded(benchmark::State& state) { ScanCatalogue(state, Catalogue()->path("EMBEDDED.FDB"), ""); }
void BM_CodeScanEmbedded(benchmark::State& state)
{
    ScanCatalogue(state, Catalogue()->path("EMBEDDED.FDB"), "C0123457");
}
void BM_EmptyScanServer(benchmark::State& state) { ScanCatalogue(state, Catalogue()->serverPath("SERVER.FDB"), ""); }
void BM_CodeScanServer(benchmark::State& state)
{
    ScanCatalogue(state, Catalogue()->serverPath("SERVER.FDB"), "C0123457");
}

// The registry search of every scan, in a table of 1000 terminals.
void BM_RegistryLocate(benchmark::State& state)
{
    QTemporaryDir dir;
    TerminalRegistry registry;
    registry.CreateTerminalRegistry(dir.path() + QDir::separator());
    registry.OpenTerminalRegistry(dir.path() + QDir::separator());
    for (int i = 0; i < 1000; ++i)
        registry.Register("10.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(registry.Locate("10.0.3.200"));
    registry.Close();
}

BENCHMARK(BM_SelectByKeyEmbedded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SelectByKeyServer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegistryLocate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmptyScanEmbedded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CodeScanEmbedded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmptyScanServer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CodeScanServer)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
