#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Core/UMessage.h"
#include "CoreServices/Implementations/UCoreServices.h"
#include "support/RecordingHandler.h"

using namespace brix;
using brix::test::RecordingHandler;

TEST(UMemoryPool, CountsAllocationsReleasesAndZeroSizeRequests) {
    UMemoryPool pool;
    void* a = pool.Allocate(10, "t");
    void* b = pool.Allocate(300, "t");
    void* c = pool.Allocate(7, "t");
    pool.Free(a, "t");
    pool.Free(c, "t");
    UMemoryStatistics s = pool.GetStatistics();
    EXPECT_EQ(s.currentAllocations, 1);
    EXPECT_EQ(s.maximumAllocations, 3u);
    EXPECT_EQ(s.cumulatedAllocations, 3u);
    EXPECT_EQ(s.bytesInUse, 300);  // requested sizes, not the heap's
    EXPECT_EQ(s.minimumAllocationSize, 7u);
    EXPECT_EQ(s.maximumAllocationSize, 300u);

    EXPECT_EQ(pool.Allocate(0, "t"), nullptr);
    s = pool.GetStatistics();
    EXPECT_EQ(s.currentZeroSizeAllocations, 1);
    EXPECT_EQ(s.maximumZeroSizeAllocations, 1u);
    EXPECT_EQ(s.cumulatedAllocations, 3u);
    pool.Free(nullptr, "t");
    s = pool.GetStatistics();
    EXPECT_EQ(s.currentZeroSizeAllocations, 0);
    EXPECT_EQ(s.maximumZeroSizeAllocations, 1u);
    pool.Free(b, "t");
    EXPECT_EQ(pool.GetStatistics().bytesInUse, 0);
}

TEST(UMemoryPool, StatisticsStayExactWhenThreadsShareThePool) {
    // The rig reader allocates on several threads; unguarded counters lost updates.
    UMemoryPool pool;
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&pool] {
            for (int i = 0; i < kRounds; ++i) pool.Free(pool.Allocate(uint32_t(1 + i % 64), "t"), "t");
        });
    for (std::thread& thread : threads) thread.join();
    const UMemoryStatistics s = pool.GetStatistics();
    EXPECT_EQ(s.cumulatedAllocations, uint64_t(kThreads) * kRounds);
    EXPECT_EQ(s.currentAllocations, 0);
    EXPECT_EQ(s.bytesInUse, 0);
    EXPECT_LE(s.maximumAllocations, uint64_t(kThreads));
}

TEST(UMemoryPool, PrintStatisticsOfAnEmptyPool) {
    UMemoryPool pool;
    UOutputChannel channel;
    RecordingHandler handler;
    channel.AddTarget(&handler);
    pool.PrintStatistics(channel);
    ASSERT_EQ(handler.writes.size(), 2u);  // the report, then the line end
    EXPECT_EQ(handler.writes[0],
              "memory allocator statistics:\r\n"
              "    memory currently used: 0 bytes (0.0000MB)\r\n"
              "    number of current allocations: 0\r\n"
              "    number of maximum allocations: 0\r\n"
              "    number of cumulated allocations: 0\r\n"
              "    cumulated allocation overhead: 0 bytes (0.0000MB)\r\n"
              "    average allocation size: 0 bytes (0.0000MB)\r\n"
              "    minimum allocation size: 4294967295 bytes (4096.0000MB)\r\n"
              "    maximum allocation size: 0 bytes (0.0000MB)\r\n"
              "    current number of zero-size allocations: 0\r\n"
              "    maximum number of zero-size allocations: 0\r\n");
}

TEST(GlobalAllocation, RoutesThroughTheCurrentPool) {
    UMemoryPool& pool = *GetCoreServices()->GetMemoryPool();
    const UMemoryStatistics before = pool.GetStatistics();
    // Kept in volatile storage so the compiler cannot elide the new-expressions.
    static int* volatile single;
    static char* volatile block;
    single = new int(5);
    block = new char[1000];
    const UMemoryStatistics during = pool.GetStatistics();
    EXPECT_EQ(during.cumulatedAllocations - before.cumulatedAllocations, 2u);
    EXPECT_EQ(during.bytesInUse - before.bytesInUse, int64_t(sizeof(int) + 1000));
    delete single;
    delete[] block;
    EXPECT_EQ(pool.GetStatistics().bytesInUse, before.bytesInUse);
    EXPECT_EQ(pool.GetStatistics().currentAllocations, before.currentAllocations);
    const int64_t zeroBefore = pool.GetStatistics().currentZeroSizeAllocations;
    operator delete(static_cast<void*>(nullptr));  // a release of nothing is passed on
    EXPECT_EQ(pool.GetStatistics().currentZeroSizeAllocations, zeroBefore - 1);
    pool.Allocate(0, "balance");
}

TEST(CoreServices, ChannelLookupFallsBackToChannelZero) {
    ICoreServices* services = GetCoreServices();
    EXPECT_EQ(services->GetChannel(8), services->GetChannel(0));
    EXPECT_EQ(services->GetChannel(-1), services->GetChannel(0));
    EXPECT_NE(services->GetChannel(7), services->GetChannel(0));
}

TEST(CoreServices, DefaultServicesAreCreatedInTheCurrentPoolAndInitialised) {
    UMemoryPool& bootstrapPool = *GetCoreServices()->GetMemoryPool();
    const int64_t before = bootstrapPool.GetStatistics().currentAllocations;
    ICoreServices* services = CreateCoreServices_Default(4096);
    ASSERT_NE(services, nullptr);
    EXPECT_EQ(bootstrapPool.GetStatistics().currentAllocations, before + 1);
    EXPECT_NE(services->GetMemoryPool(), &bootstrapPool);
    EXPECT_EQ(services->GetChannel(7)->GetNumTargets(), 3u);
    EXPECT_EQ(services->GetChannel(7)->GetTarget(1), services->GetChannelTarget(7));

    // The Windows allocator works over the platform calls.
    void* page = services->GetAllocator()->Allocate(100000, "test");
    ASSERT_NE(page, nullptr);
    static_cast<char*>(page)[99999] = 1;
    services->GetAllocator()->Free(page, "test");

    UMemoryPool* extra = services->CreateMemoryPool(0);
    ASSERT_NE(extra, nullptr);
    extra->~UMemoryPool();
    GetCoreServices()->GetMemoryPool()->Free(extra, "global operator delete");

    DestroyCoreServices(services);
    EXPECT_EQ(bootstrapPool.GetStatistics().currentAllocations, before);
}

TEST(CoreServices, WindowsAllocatorFailuresAreReportedOnChannel7) {
    UCoreServices_Windows services;
    RecordingHandler warnings;
    brix::test::ScopedHandler install(7, &warnings);
    // Messages go through the current core services' channel 7, which the bootstrap
    // object leaves unconnected; connect it for this check.
    UOutputChannel* channel7 = GetCoreServices()->GetChannel(7);
    channel7->AddTarget(GetCoreServices()->GetChannelTarget(7));
    EXPECT_EQ(services.GetAllocator()->Allocate(0, "global operator new"), nullptr);
    services.GetAllocator()->Free(nullptr, "global operator delete");
    channel7->RemoveTarget(GetCoreServices()->GetChannelTarget(7));
    EXPECT_EQ(warnings.Text(),
              "WARNING: memory allocation of 0 bytes from location \"global operator new\" failed\r\n"
              "WARNING: memory release from location \"global operator delete\" failed\r\n");
}
