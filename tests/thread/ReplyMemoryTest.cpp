// A server that declares the largest image total and sends scattered one-byte chunks: the
// socket thread holds about what arrived, not what was declared.
#include "FakeServer.h"
#include "thread/RptSockThread.h"
#include "thread/ThreadMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

std::uint64_t ReceivedBytes(CRptSockThread& thread)
{
    std::lock_guard<std::mutex> lock(thread.DataLock());
    return thread.m_mapChunks.ReceivedBytes();
}

TEST(ReplyMemoryTest, SparseChunksOfAHugeDeclaredImageHoldAboutWhatArrived)
{
    CFakeServer server;
    ASSERT_TRUE(server.Start());
    auto thread = std::make_unique<CRptSockThread>("127.0.0.1", server.Port());
    ASSERT_TRUE(thread->CreateThread());
    ASSERT_TRUE(thread->m_evStarted.Wait(5000));
    thread->Post(WM_RPT_CONNECT, 0, 0);
    ASSERT_TRUE(thread->m_evConnect.Wait(5000) && thread->m_bConnected);
    thread->Post(WM_RPT_GETIMAGE, reinterpret_cast<std::uintptr_t>(NewMessageText("x")), 0);
    ASSERT_TRUE(server.WaitForRequests(1, 5000));

    // 40,000 one-byte chunks, each on its own page of a 1 GiB image.
    const auto total = static_cast<std::int32_t>(CReplyAssembly::kMaxImageTotal);
    constexpr int kChunks = 40000;
    std::mt19937 random(5);
    for (int batch = 0; batch < kChunks / 1000; ++batch) {
        std::vector<FakeFrame> frames;
        for (int i = 0; i < 1000; ++i)
            frames.push_back(FakeFrame::ImageData(
                "x", total, static_cast<std::int32_t>((random() % (total / 4096)) * 4096),
                {static_cast<unsigned char>(i)}));
        server.Send(std::move(frames));
    }
    ASSERT_TRUE(server.Flush(30000));
    const std::uint64_t expected = std::uint64_t{kChunks} * (1 + CReplyAssembly::kImageMessageCost);
    for (int i = 0; i < 3000 && ReceivedBytes(*thread) < expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    {
        std::lock_guard<std::mutex> lock(thread->DataLock());
        ASSERT_EQ(thread->m_mapChunks.ReceivedBytes(), expected);
        EXPECT_LE(thread->m_mapChunks.HeldBytes(), 2 * expected + CReplyAssembly::kSlack);
        EXPECT_FALSE(thread->m_bImageValid);
        // Nothing to copy from an image that has not all come, whatever its declared size.
        std::uint32_t size = 0;
        EXPECT_FALSE(thread->CopyImageData(nullptr, &size));
        EXPECT_EQ(size, 0u);
    }
    EXPECT_FALSE(thread->m_evImage.IsSet());

    thread->Post(WM_RPT_DISCONNECT, 0, 0);
    EXPECT_TRUE(thread->m_evDisconnect.Wait(5000));
    thread->StopThread();
}

}  // namespace
