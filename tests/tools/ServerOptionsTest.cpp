#include <gtest/gtest.h>

#include "ServerOptions.h"

using korv::server::CServerOptions;
using korv::server::ImageOrder;
using korv::server::ServerOptions;

namespace {

class ServerOptionsTest : public ::testing::Test {
protected:
    bool Parse(const std::vector<std::string>& args)
    {
        options = ServerOptions{};
        error.clear();
        return CServerOptions::Parse(args, options, error);
    }

    ServerOptions options;
    std::string error;
};

TEST_F(ServerOptionsTest, AllOptionsAreRead)
{
    ASSERT_TRUE(Parse({"--data", "d", "--bind", "0.0.0.0", "--port", "0", "--chunk-size", "1000",
                       "--image-order", "shuffle", "--delay-ms", "20"}))
        << error;
    EXPECT_EQ(options.dataDir, "d");
    EXPECT_EQ(options.bindAddress, "0.0.0.0");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.chunkSize, 1000u);
    EXPECT_EQ(options.imageOrder, ImageOrder::Shuffle);
    EXPECT_EQ(options.delayMs, 20);
}

TEST_F(ServerOptionsTest, DefaultsServeLoopbackWithLargestChunksInOrder)
{
    ASSERT_TRUE(Parse({"--data", "d"})) << error;
    EXPECT_EQ(options.bindAddress, "127.0.0.1");
    EXPECT_EQ(options.chunkSize, 0u);
    EXPECT_EQ(options.imageOrder, ImageOrder::Ascending);
    EXPECT_EQ(options.delayMs, 0);
    EXPECT_EQ(options.maxConnections, 256);
    EXPECT_EQ(options.maxQueuedJobs, 1024);
    EXPECT_EQ(options.idleTimeoutMs, 30000);
}

TEST_F(ServerOptionsTest, LimitsAreReadShownInTheUsageAndBounded)
{
    ASSERT_TRUE(Parse({"--data", "d", "--max-connections", "10", "--max-queued", "20",
                       "--idle-timeout-ms", "500"}))
        << error;
    EXPECT_EQ(options.maxConnections, 10);
    EXPECT_EQ(options.maxQueuedJobs, 20);
    EXPECT_EQ(options.idleTimeoutMs, 500);
    for (const std::string option : {"--max-connections", "--max-queued", "--idle-timeout-ms"}) {
        EXPECT_NE(std::string(CServerOptions::Usage()).find(option), std::string::npos) << option;
        EXPECT_FALSE(Parse({"--data", "d", option, "0"})) << option;
        EXPECT_NE(error.find(option), std::string::npos) << error;
    }
    EXPECT_FALSE(Parse({"--data", "d", "--idle-timeout-ms", "99"}));
}

TEST_F(ServerOptionsTest, BadValuesAreRefusedWithTheOptionNamed)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--port", "0"},
        {"--data", "d", "--port", "65536"},
        {"--data", "d", "--port", "-1"},
        {"--data", "d", "--port", "12ab"},
        {"--data", "d", "--chunk-size", "0"},
        {"--data", "d", "--image-order", "sideways"},
        {"--data", "d", "--delay-ms"},
        {"--data", "d", "--verbose"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(Parse(args)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty());
    }
    Parse({"--data", "d", "--image-order", "sideways"});
    EXPECT_NE(error.find("--image-order"), std::string::npos) << error;
}

TEST_F(ServerOptionsTest, HelpNeedsNoData)
{
    ASSERT_TRUE(Parse({"--help"}));
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(Parse({"--version"}));
    EXPECT_TRUE(options.version);
}

TEST_F(ServerOptionsTest, OptionsTakeTheirValueAfterAnEqualsSign)
{
    ASSERT_TRUE(Parse({"--data=d=1", "--port=0", "--image-order=reverse", "--chunk-size=100"}))
        << error;
    EXPECT_EQ(options.dataDir, "d=1");
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.imageOrder, ImageOrder::Reverse);
    EXPECT_EQ(options.chunkSize, 100u);
    EXPECT_FALSE(Parse({"--data=d", "--port=x"}));
    EXPECT_NE(error.find("--port"), std::string::npos) << error;
}

}  // namespace
