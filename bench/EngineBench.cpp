// Build with -DTARVEL_BENCH=ON; needs the Firebird server (scripts/start-firebird).
//   build/bin/tarvel_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "control/Front.h"
#include "data/Database.h"
#include "data/FbQuery.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "support/FirebirdFixture.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace tarvel;

namespace {

class SilentFront : public Front {
public:
    void showLogLine(const QByteArray&) override {}
    void showGeneralError(const QByteArray& text) override { std::fprintf(stderr, "error: %s\n", text.constData()); }
    void showErrorBox(const QByteArray& text) override { std::fprintf(stderr, "error: %s\n", text.constData()); }
    void showInformation(const QByteArray&) override {}
    void showNotice(const QByteArray&) override {}
};

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

// The registry search of every scan, in a table of 1000 terminals.
void BM_RegistryLocate(benchmark::State& state)
{
    QTemporaryDir dir;
    SilentFront front;
    TerminalRegistry registry;
    registry.OpenTerminalRegistry(dir.path() + QDir::separator(), front);
    for (int i = 0; i < 1000; ++i)
        registry.Register("10.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(registry.Locate("10.0.3.200"));
    registry.Close();
}

BENCHMARK(BM_SelectByKeyEmbedded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SelectByKeyServer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RegistryLocate)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
