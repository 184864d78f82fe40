#pragma once

// The listener on a free loopback port, with the pipeline's registry and lookups faked: 127.0.0.1 is
// registered, 9555000000017 is Milo(), "FAIL" fails its lookup. Lines and boxes go to `front`.

#include "base/RunContext.h"
#include "mock/PipelineFakes.h"
#include "mock/RecordingFront.h"
#include "support/TerminalClient.h"
#include "terminal/ScanPipeline.h"
#include "terminal/ServerSocket.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarvel {

struct ListenerHarness {
    ListenerHarness()
    {
        registry.addresses.insert("127.0.0.1");
        lookups.items["9555000000017"] = Milo();
        listener.Open(0);
    }

    // A terminal from `from`, once it is connected and `arrived` (the listener's own sign of it) holds.
    std::unique_ptr<TerminalClient> connect(const std::function<bool()>& arrived, const char* from = "127.0.0.1")
    {
        auto terminal = std::make_unique<TerminalClient>(listener.Port(), from);
        EXPECT_TRUE(terminal->connected() && terminal->waitUntil(arrived)) << from;
        return terminal;
    }

    RecordingFront front;
    FakeRegistry registry;
    FakeLookups lookups;
    RunContext run;
    ScanPipeline pipeline{front, registry, lookups, run};
    ServerSocket listener{front, pipeline};
};

} // namespace tarvel
