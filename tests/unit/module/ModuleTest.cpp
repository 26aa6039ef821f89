// The module object: lock count, termination list and start-up failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/native/SyncFaults.h"
#include "server/module/Module.h"
#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { SetModuleInitializationFailed(false); }
  void TearDown() override { SetModuleInitializationFailed(false); }
};

// Every increment must hand out a distinct new value, and the count must
// come back to 0: a racy counter loses updates or repeats values.
TEST_F(ModuleTest, LockCountIsExactUnderConcurrentThreads) {
  COrvoTrainerModule module;
  EXPECT_EQ(module.ModuleLockCount(), 0);
  EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
  constexpr int Threads = 8, PerThread = 20000;
  std::vector<std::vector<LONG>> seen(Threads);
  const auto onEveryThread = [&](auto step) {
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t)
      workers.emplace_back([&, t] {
        for (int i = 0; i < PerThread; ++i) step(t);
      });
    for (auto& worker : workers) worker.join();
  };
  onEveryThread([&](int t) { seen[t].push_back(module.AddModuleLock()); });
  EXPECT_EQ(module.ModuleLockCount(), Threads * PerThread);
  EXPECT_EQ(module.DllCanUnloadNow(), S_FALSE);
  std::vector<LONG> all;
  for (const auto& values : seen) all.insert(all.end(), values.begin(), values.end());
  std::sort(all.begin(), all.end());
  for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<LONG>(i + 1));

  onEveryThread([&](int) { module.ReleaseModuleLock(); });
  EXPECT_EQ(module.ModuleLockCount(), 0);
  EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
}

std::vector<std::uintptr_t> calls;
void Record(std::uintptr_t argument) { calls.push_back(argument); }

TEST_F(ModuleTest, TerminationRunsNewestFirstAndOnlyOnce) {
  calls.clear();
  {
    COrvoTrainerModule module;
    ASSERT_EQ(CAtlModule::Current(), &module);
    module.AddTerminationEntry(Record, 1);
    module.AddTerminationEntry(Record, 2);
    CAtlModule::AddTerminationEntryToCurrent(Record, 3);
    EXPECT_TRUE(calls.empty());
    module.Terminate();
    EXPECT_EQ(calls, (std::vector<std::uintptr_t>{3, 2, 1}));
    module.Terminate();
    module.AddTerminationEntry(Record, 4);  // after termination: dropped
  }
  EXPECT_EQ(calls, (std::vector<std::uintptr_t>{3, 2, 1}));
  EXPECT_EQ(CAtlModule::Current(), nullptr);
  CAtlModule::AddTerminationEntryToCurrent(Record, 5);  // no module: dropped
  {
    COrvoTrainerModule module;  // destruction alone terminates
    module.AddTerminationEntry(Record, 7);
  }
  EXPECT_EQ(calls, (std::vector<std::uintptr_t>{3, 2, 1, 7}));
}

// A static-data lock that cannot be initialised fails the load, whatever
// the system's last error says: an uninitialised lock is unusable either way.
TEST_F(ModuleTest, StaticDataLockFailureMarksTheModuleFailed) {
  for (DWORD lastError : {DWORD{ERROR_NOT_ENOUGH_MEMORY}, DWORD{0}}) {
    SCOPED_TRACE(lastError);
    calls.clear();
    SetModuleInitializationFailed(false);
    FailNextCriticalSectionInit(lastError);
    COrvoTrainerModule module;
    EXPECT_TRUE(ModuleInitializationFailed());
    EXPECT_EQ(module.SizeMarker, 0u);
    module.AddTerminationEntry(Record, 1);
    module.Terminate();
    EXPECT_TRUE(calls.empty());
  }
  SetModuleInitializationFailed(false);
  COrvoTrainerModule module;
  EXPECT_FALSE(ModuleInitializationFailed());
  EXPECT_NE(module.SizeMarker, 0u);
}

std::string Format(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

// The identifiers the module records are the ones its registry scripts
// write, and the registrar gets the application identifier as "APPID".
TEST_F(ModuleTest, IdentifiersMatchTheRegistryScripts) {
  COrvoTrainerModule module;
  EXPECT_NE(ScriptFileBytes("Echo.rgs").find("TypeLib = s '" + Format(module.LibraryId()) + "'"),
            std::string::npos);
  RegistryModel model;
  CRegObject registrar(model);
  ASSERT_EQ(module.AddCommonReplacements(registrar), S_OK);
  std::u16string expanded;
  ASSERT_EQ(registrar.ExpandScript(u"%appid%", expanded), S_OK);
  EXPECT_EQ(expanded, ApplicationId);
}

}  // namespace
}  // namespace orvo::test
