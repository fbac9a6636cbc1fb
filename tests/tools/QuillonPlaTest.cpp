#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tests/support/audio/TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

namespace {

const Bytes kWorkedExample = HexBytes("64000000 0A 433A5C515C412E706C61 01000000 00000000"
                                      "05 412E706C61 01000000"
                                      "66000000 09 68656C6C6F2E776176 02000000 00000000"
                                      "09 68656C6C6F2E776176 01000000 32000000");

std::string pla(const std::string& args) {
    return std::string(QUILLON_PLA) + " " + args;
}

TEST(QuillonPlaTest, DumpsTheWorkedExampleAndMakesItBack) {
    TempDir dir;
    WriteFileBytes(dir.file("A.pla"), kWorkedExample);
    const CommandResult dump = RunCommand(pla("dump " + ShellQuote(dir.file("A.pla"))));
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    EXPECT_EQ(nlohmann::json::parse(dump.out), nlohmann::json::parse(R"({
        "kind": 100, "name": "C:\\Q\\A.pla", "title": "A.pla", "loopCount": 1, "reservedA": 0,
        "count": 1, "items": [{"kind": 102, "name": "hello.wav", "title": "hello.wav",
                               "loopCount": 2, "reservedA": 0, "reservedB": 1, "volume": 50}]})"));

    const CommandResult make = RunCommand(pla("make " + ShellQuote(dir.file("B.pla"))), dump.out);
    ASSERT_EQ(make.exitStatus, 0) << make.err;
    EXPECT_EQ(ReadFileBytes(dir.file("B.pla")), kWorkedExample);
}

TEST(QuillonPlaTest, MakeFillsInNameAndTitleAsTheEditorSaves) {
    TempDir dir;
    const std::string path = dir.file("Caf\xC3\xA9 list.pla");
    const CommandResult make = RunCommand(
        pla("make " + ShellQuote(path)),
        R"({"items": [{"kind": 101, "name": "Caf\u00e9.mid", "volume": 80}, {"kind": 103, "name": "Track 2"}]})");
    ASSERT_EQ(make.exitStatus, 0) << make.err;
    const CommandResult dump = RunCommand(pla("dump " + ShellQuote(path)));
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    const auto json = nlohmann::json::parse(dump.out);
    EXPECT_EQ(json["name"], path);
    EXPECT_EQ(json["title"], "Caf\xC3\xA9 list.pla");
    EXPECT_EQ(json["items"][0]["name"], "Caf\xC3\xA9.mid");
    EXPECT_EQ(json["items"][0]["title"], "Caf\xC3\xA9.mid");
    EXPECT_EQ(json["items"][0]["loopCount"], 1);
    EXPECT_EQ(json["items"][1]["kind"], 103);
    // Names that fit the ANSI code page are stored in it: é is the single byte E9.
    const Bytes bytes = ReadFileBytes(path);
    const Bytes name = HexBytes("08 436166E92E6D6964");
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), name.begin(), name.end()), bytes.end());
}

TEST(QuillonPlaTest, DamagedFilesAreReportedWithTheirReason) {
    TempDir dir;
    Bytes truncated = kWorkedExample;
    truncated.resize(60);
    WriteFileBytes(dir.file("cut.pla"), truncated);
    const CommandResult cut = RunCommand(pla("dump " + ShellQuote(dir.file("cut.pla"))));
    EXPECT_EQ(cut.exitStatus, 1);
    EXPECT_NE(cut.err.find("cut.pla"), std::string::npos) << cut.err;
    EXPECT_TRUE(cut.out.empty());

    const CommandResult missing = RunCommand(pla("dump " + ShellQuote(dir.file("none.pla"))));
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("was not found"), std::string::npos) << missing.err;

    EXPECT_EQ(RunCommand(pla("frobnicate x")).exitStatus, 2);
}

TEST(QuillonPlaTest, BadJsonLeavesTheExistingFileAlone) {
    TempDir dir;
    WriteFileBytes(dir.file("A.pla"), kWorkedExample);
    for (const char* input :
         {"not json", R"({"items": [{"kind": 99, "name": "x"}]})", R"({"items": [{"kind": 102}]})",
          R"({"items": [{"kind": 102, "name": "x", "volume": -1}]})", R"({"loopCount": "many"})"}) {
        const CommandResult make = RunCommand(pla("make " + ShellQuote(dir.file("A.pla"))), input);
        EXPECT_EQ(make.exitStatus, 1) << input;
        EXPECT_FALSE(make.err.empty()) << input;
        EXPECT_EQ(ReadFileBytes(dir.file("A.pla")), kWorkedExample) << input;
    }
}

// The processing itself is tested in CleanRecordingTest; here the command's contract: the file
// is replaced in place, bad input gets status 1, a message naming it, and is left alone.
TEST(QuillonPlaTest, CleanProcessesInPlaceAndRefusesBadInputUntouched) {
    TempDir dir;
    const std::string take = dir.file("Take 1.wav");
    testaudio::WriteToneWave(take, 440, 2.0, {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}, 0.1);
    const Bytes before = ReadFileBytes(take);
    const CommandResult clean = RunCommand(pla("clean --maximise " + ShellQuote(take)));
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    EXPECT_NE(clean.out.find("-16.0 LUFS"), std::string::npos) << clean.out;
    EXPECT_NE(ReadFileBytes(take), before);
    EXPECT_EQ(ReadFileBytes(take).size(), before.size()) << "still 8-bit, same length";

    const std::string silent = dir.file("silent.wav");
    testaudio::WriteToneWave(silent, 440, 1.0, {22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16}, 0.0);
    WriteFileBytes(dir.file("text.wav"), HexBytes("68656C6C6F"));
    for (const std::string name : {"silent.wav", "text.wav", "missing.wav"}) {
        const std::string path = dir.file(name);
        const Bytes kept = name == "missing.wav" ? Bytes{} : ReadFileBytes(path);
        const CommandResult bad = RunCommand(pla("clean --denoise " + ShellQuote(path)));
        EXPECT_EQ(bad.exitStatus, 1) << name;
        EXPECT_NE(bad.err.find(name), std::string::npos) << bad.err;
        if (name != "missing.wav") {
            EXPECT_EQ(ReadFileBytes(path), kept) << name;
        }
    }
    for (const char* usage :
         {"clean", "clean --denoise", "clean --louder x.wav", "clean a.wav b.wav"}) {
        EXPECT_EQ(RunCommand(pla(usage)).exitStatus, 2) << usage;
    }
}

} // namespace
