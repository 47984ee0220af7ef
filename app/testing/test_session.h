// A session over fakes for tests: sources are FakeRawIo files, the settings
// store lives in memory, image sets and saved files go to a FakeDestination
// (its folders, files and failures are the test's to set), and no drive or
// device-query tool is listed unless the test adds one.
#pragma once

#include <utility>

#include "app/session.h"
#include "core/source/testing/fake_device_registry.h"
#include "platform/testing/fake_destination.h"
#include "platform/testing/fake_raw_io.h"

namespace zt::testing {

class TestSession {
public:
    explicit TestSession(AppSettings settings = {})
        : session(SessionSeams{rawIo, store, destination, drives, launcher},
                  std::move(settings)) {}
    TestSession(const TestSession&) = delete;
    TestSession& operator=(const TestSession&) = delete;

    FakeRawIo rawIo;
    platform::MemorySettingsStore store;
    FakeDestination destination;
    FakeDriveProbe drives;
    FakeToolLauncher launcher;
    Session session;  // declared last: built over the fakes above
};

}  // namespace zt::testing
