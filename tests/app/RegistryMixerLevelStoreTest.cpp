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

TEST(RegistryMixerLevelStoreTest, LevelsSurviveTheStoreAndABurstIsOneWrite) {
    const std::string key = "SOFTWARE\\Corvale\\QUILLON Mixer Test";
    {
        RegistryMixerLevelStore store(key, 300ms);
        EXPECT_FALSE(store.LoadLevel("Wave Out Left")) << "first run: nothing stored";
        const ino_t before = storeFileIdentity();
        for (DWORD v = 0; v <= 1000; ++v) {
            store.SaveLevel("Wave Out Left", v); // as a dragged slider does
            store.SaveLevel("Wave Out Right", 2 * v);
        }
        EXPECT_EQ(store.LoadLevel("Wave Out Left"), 1000u) << "waiting levels read back at once";
        EXPECT_EQ(storeFileIdentity(), before) << "nothing written during the burst";
        std::this_thread::sleep_for(700ms);
        const ino_t afterOneWrite = storeFileIdentity();
        EXPECT_NE(afterOneWrite, before);
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(storeFileIdentity(), afterOneWrite) << "no further writes without changes";
        store.SaveLevel("Microphone Left", 7);
    } // the last change is written when the store goes
    RegistryMixerLevelStore again(key);
    EXPECT_EQ(again.LoadLevel("Wave Out Left"), 1000u);
    EXPECT_EQ(again.LoadLevel("Wave Out Right"), 2000u);
    EXPECT_EQ(again.LoadLevel("Microphone Left"), 7u);
    EXPECT_FALSE(again.LoadLevel("Speakers Left"));
}

} // namespace
