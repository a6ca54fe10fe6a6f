// A test case on an event loop of its own, with the socket service started. RunUntil waits on
// the loop with a limit, so a case that never gets there fails instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "net/DefaultEventLoop.h"
#include "net/SocketService.h"

namespace omblor::testing {

class LoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(net::StartSocketService());
        net::EventLoop::SetCurrent(&loop_);
    }
    void TearDown() override {
        net::EventLoop::SetCurrent(nullptr);
        net::StopSocketService();
    }
    // Runs the loop until `done` holds; false after `limit` without.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        bool late = false;
        const net::ScopedTimer timer(loop_, limit, net::Repeat::No, [&] { late = true; });
        loop_.RunUntil([&] { return late || done(); });
        return !late;
    }

    net::DefaultEventLoop loop_;
};

}  // namespace omblor::testing
