#include "app/RegistryMixerLevelStore.h"

#include "platform/registry/RegistryStore.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The process's registry file lives under XDG_CONFIG_HOME, fixed at its first use: point it
// at a scratch folder before any test touches it.
class ScratchConfig : public ::testing::Environment {
public:
    void SetUp() override { ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1); }
    TempDir dir;
};
ScratchConfig* const g_config =
    static_cast<ScratchConfig*>(::testing::AddGlobalTestEnvironment(new ScratchConfig));

ino_t storeFileIdentity() {
    struct stat st {};
    if (::stat(RegistryStore::ProcessDefault().FilePath().c_str(), &st) != 0) {
        return 0;
    }
    return st.st_ino; // every write renames a new file into place
}

const std::string kKey = "SOFTWARE\\Corvale\\QUILLON Mixer Test";

TEST(RegistryMixerLevelStoreTest, ABurstWaitsForTheIntervalAndWhatWaitsIsWrittenAtTheEnd) {
    {
        // An interval no test outlasts: whatever is written comes from the store's end.
        RegistryMixerLevelStore store(kKey, 24h);
        EXPECT_FALSE(store.LoadLevel("Wave Out Left")) << "first run: nothing stored";
        const ino_t before = storeFileIdentity();
        for (DWORD v = 0; v <= 1000; ++v) {
            store.SaveLevel("Wave Out Left", v); // as a dragged slider does
            store.SaveLevel("Wave Out Right", 2 * v);
        }
        EXPECT_EQ(store.LoadLevel("Wave Out Left"), 1000u) << "waiting levels read back at once";
        EXPECT_EQ(storeFileIdentity(), before) << "a burst waits for the interval";
    }
    RegistryMixerLevelStore again(kKey);
    EXPECT_EQ(again.LoadLevel("Wave Out Left"), 1000u);
    EXPECT_EQ(again.LoadLevel("Wave Out Right"), 2000u);
    EXPECT_FALSE(again.LoadLevel("Speakers Left"));
}

TEST(RegistryMixerLevelStoreTest, TheStoresThreadWritesOnceTheIntervalHasPassed) {
    RegistryMixerLevelStore store(kKey, 10ms);
    const ino_t before = storeFileIdentity();
    store.SaveLevel("Microphone Left", 7);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (storeFileIdentity() == before && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    // Read through another store, which sees the registry and not what waits here.
    EXPECT_EQ(RegistryMixerLevelStore(kKey).LoadLevel("Microphone Left"), 7u);
}

} // namespace
