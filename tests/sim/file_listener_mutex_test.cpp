// The host-wide mutex behind "Global\" names, which the log file's writers
// of all processes share: Windows mutex semantics across threads and
// processes, and a holder that dies leaves it abandoned, not locked.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/os/host_mutex.h"
#include "sim/os/sim_named_objects.h"

using namespace Arvek;
using Ports::WaitResult;

namespace {

std::wstring UniqueName() {
    static std::atomic<int> counter{0};
    return L"Global\\arvek-mutex-test-" + std::to_wstring(::getpid()) + L"-" + std::to_wstring(++counter);
}

WaitResult WaitOnOtherThread(Ports::INamedMutex& mutex, std::uint32_t timeoutMs, bool release = true) {
    WaitResult result{};
    std::thread([&] {
        result = mutex.Wait(timeoutMs);
        if (release && (result == WaitResult::Acquired || result == WaitResult::Abandoned)) mutex.Release();
    }).join();
    return result;
}

// Runs `child` in a forked process and waits for it to end; its exit code.
template <class F>
int InChild(F child) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        child();
        ::_exit(0);  // ends without closing or releasing anything
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HostObjectExists(const std::wstring& name) {
    return std::filesystem::exists("/dev/shm" + Sim::HostMutexObjectName(name));
}

TEST(HostMutex, OwnedByAThreadRecursivelyOthersWait) {
    auto mutex = Sim::OpenHostMutex(UniqueName());
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(WaitResult::Acquired, mutex->Wait(0));
    EXPECT_EQ(WaitResult::Acquired, mutex->Wait(Ports::kINFINITE));  // again, by its owner
    EXPECT_EQ(WaitResult::TimedOut, WaitOnOtherThread(*mutex, 0));
    EXPECT_EQ(WaitResult::TimedOut, WaitOnOtherThread(*mutex, 30));
    bool releasedByOther = true;
    std::thread([&] { releasedByOther = mutex->Release(); }).join();
    EXPECT_FALSE(releasedByOther);  // ERROR_NOT_OWNER
    EXPECT_TRUE(mutex->Release());
    EXPECT_EQ(WaitResult::TimedOut, WaitOnOtherThread(*mutex, 0));  // still held once
    EXPECT_TRUE(mutex->Release());
    EXPECT_FALSE(mutex->Release());
    EXPECT_EQ(WaitResult::Acquired, WaitOnOtherThread(*mutex, 0));
}

TEST(HostMutex, HandlesOfOneNameShareOneMutexOtherNamesDoNot) {
    const std::wstring name = UniqueName();
    auto first = Sim::OpenHostMutex(name);
    auto second = Sim::OpenHostMutex(name);
    auto other = Sim::OpenHostMutex(UniqueName());
    auto differentCase = Sim::OpenHostMutex(name + L"X");
    ASSERT_TRUE(first && second && other && differentCase);
    ASSERT_EQ(WaitResult::Acquired, first->Wait(0));
    EXPECT_EQ(WaitResult::Acquired, second->Wait(0));  // the same owner, through another handle
    EXPECT_TRUE(second->Release());
    EXPECT_EQ(WaitResult::TimedOut, WaitOnOtherThread(*second, 0));
    EXPECT_EQ(WaitResult::Acquired, WaitOnOtherThread(*other, 0));
    EXPECT_EQ(WaitResult::Acquired, WaitOnOtherThread(*differentCase, 0));
    EXPECT_TRUE(first->Release());
}

TEST(HostMutex, AnotherProcessWaitsForTheHolder) {
    auto mutex = Sim::OpenHostMutex(UniqueName());
    ASSERT_EQ(WaitResult::Acquired, mutex->Wait(0));
    EXPECT_EQ(0, InChild([&] { ::_exit(mutex->Wait(20) == WaitResult::TimedOut ? 0 : 1); }));
    EXPECT_TRUE(mutex->Release());
}

TEST(HostMutex, AHolderThatDiesAbandonsIt) {
    const std::wstring name = UniqueName();
    auto mutex = Sim::OpenHostMutex(name);
    ASSERT_EQ(0, InChild([&] { mutex->Wait(Ports::kINFINITE); }));  // a process that dies holding it
    EXPECT_EQ(WaitResult::Abandoned, mutex->Wait(1000));
    EXPECT_TRUE(mutex->Release());
    EXPECT_EQ(WaitResult::Acquired, WaitOnOtherThread(*mutex, 0));

    // A thread that ends holding it abandons it as well.
    std::thread([&] { ASSERT_EQ(WaitResult::Acquired, mutex->Wait(0)); }).join();
    EXPECT_EQ(WaitResult::Abandoned, mutex->Wait(1000));
    EXPECT_TRUE(mutex->Release());
    mutex.reset();
    EXPECT_FALSE(HostObjectExists(name));  // nothing left behind by the thread that died
}

TEST(HostMutex, ExistsWhileAHandleIsOpenAnywhere) {
    const std::wstring name = UniqueName();
    {
        auto first = Sim::OpenHostMutex(name);
        {
            auto second = Sim::OpenHostMutex(name);
            EXPECT_TRUE(HostObjectExists(name));
        }
        EXPECT_TRUE(HostObjectExists(name));
    }
    EXPECT_FALSE(HostObjectExists(name));

    // Left behind by a process that died holding it and nobody else had it
    // open: as on Windows, whose mutex went with that process's last handle,
    // the next one to open the name gets a new mutex.
    ASSERT_EQ(0, InChild([&] { Sim::OpenHostMutex(name)->Wait(Ports::kINFINITE); }));
    EXPECT_TRUE(HostObjectExists(name));
    auto again = Sim::OpenHostMutex(name);
    EXPECT_EQ(WaitResult::Acquired, again->Wait(0));
    EXPECT_TRUE(again->Release());
    again.reset();
    EXPECT_FALSE(HostObjectExists(name));
}

TEST(HostMutex, WaitersGetItInTheOrderTheyCameAndAReleaserQueuesBehindThem) {
    // As a Windows mutex hands itself to a waiter: a thread that releases it
    // and asks again at once does not take it back from those waiting.
    const std::wstring name = UniqueName();
    auto mutex = Sim::OpenHostMutex(name);
    ASSERT_EQ(WaitResult::Acquired, mutex->Wait(0));
    std::mutex orderLock;
    std::vector<char> order;
    auto waiter = [&](char who) {
        return std::thread([&, who] {
            auto own = Sim::OpenHostMutex(name);
            ASSERT_EQ(WaitResult::Acquired, own->Wait(10000));
            {
                std::lock_guard guard(orderLock);
                order.push_back(who);
            }
            own->Release();
        });
    };
    std::thread first = waiter('B');
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // B is waiting by now
    std::thread second = waiter('C');
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(mutex->Release());
    ASSERT_EQ(WaitResult::Acquired, mutex->Wait(10000));
    {
        std::lock_guard guard(orderLock);
        order.push_back('A');
    }
    EXPECT_TRUE(mutex->Release());
    first.join();
    second.join();
    EXPECT_EQ((std::vector<char>{'B', 'C', 'A'}), order);
}

TEST(HostMutex, AWaiterThatDiesInTheQueueHoldsNobodyUp) {
    const std::wstring name = UniqueName();
    auto mutex = Sim::OpenHostMutex(name);
    ASSERT_EQ(WaitResult::Acquired, mutex->Wait(0));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        mutex->Wait(Ports::kINFINITE);  // first in the queue, until killed
        ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WaitResult behind{};
    std::thread waiter([&] {
        behind = mutex->Wait(5000);
        if (behind == WaitResult::Acquired) mutex->Release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(mutex->Release());
    waiter.join();
    EXPECT_EQ(WaitResult::Acquired, behind);
}

TEST(HostMutex, SimulatedNotebooksShareGlobalNamesOnly) {
    Sim::SimNamedObjects one, two;
    const std::wstring global = UniqueName();
    auto a = one.CreateNamedMutex(global, true);
    auto b = two.CreateNamedMutex(global, false);
    ASSERT_TRUE(a.mutex && b.mutex);
    EXPECT_EQ(WaitResult::TimedOut, WaitOnOtherThread(*b.mutex, 0));
    EXPECT_TRUE(a.mutex->Release());
    EXPECT_EQ(WaitResult::Acquired, WaitOnOtherThread(*b.mutex, 0));
}

}  // namespace
