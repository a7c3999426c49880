#pragma once

#include <gtest/gtest.h>

#include "harness/harness.h"

namespace harness {

// A test suite sharing one private Xvfb and one client connection: starting
// a server per test would cost more than most tests take.
class ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = new XServer();
        client_ = new XClient(server_->display_name());
    }
    static void TearDownTestSuite()
    {
        delete client_;
        delete server_;
        client_ = nullptr;
        server_ = nullptr;
    }

    static inline XServer* server_ = nullptr;
    static inline XClient* client_ = nullptr;
};

}  // namespace harness
